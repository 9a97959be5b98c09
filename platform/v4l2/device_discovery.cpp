#include "platform/v4l2/device_discovery.h"

#include <fcntl.h>
#include <linux/videodev2.h>

#include <QStringList>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "platform/v4l2/unique_fd.h"
#include "platform/v4l2/v4l2_syscalls.h"

namespace platform::v4l2 {
namespace {

namespace fs = std::filesystem;

const QString kPrefix = QStringLiteral("@device:pnp:\\\\?\\");

std::string ReadFirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

// videoN sorts by N, not by text: video10 after video9.
int NodeNumber(const std::string& name) {
    size_t i = name.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1]))) --i;
    if (i == name.size()) return -1;
    return std::atoi(name.c_str() + i);
}

bool IsHex4(const std::string& s) {
    return s.size() == 4 && std::all_of(s.begin(), s.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) != 0;
           });
}

// Fills the ids and identity from the node's device link; the USB device is the first parent
// of the interface that has idVendor.
void ReadParentIds(const fs::path& classEntry, V4l2DeviceInfo& info) {
    std::error_code ec;
    const fs::path iface = fs::canonical(classEntry / "device", ec);
    if (ec) return;
    info.identity = iface.filename().string();
    for (fs::path dir = iface; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec)) {
            const std::string vid = ReadFirstLine(dir / "idVendor");
            const std::string pid = ReadFirstLine(dir / "idProduct");
            if (IsHex4(vid) && IsHex4(pid)) {
                info.vendorId = vid;
                info.productId = pid;
                if (fs::exists(dir / "serial", ec)) info.serial = ReadFirstLine(dir / "serial");
            }
            return;
        }
    }
}

}  // namespace

QString MakeDisplayName(const V4l2DeviceInfo& info) {
    const QString identity = QString::fromStdString(info.identity);
    if (!info.vendorId.empty()) {
        return kPrefix + QStringLiteral("usb#vid_%1&pid_%2#%3#video4linux")
                             .arg(QString::fromStdString(info.vendorId),
                                  QString::fromStdString(info.productId), identity);
    }
    return kPrefix + QStringLiteral("v4l2#dev#%1#video4linux").arg(identity);
}

std::string IdentityFromDisplayName(const QString& displayName) {
    if (!displayName.startsWith(kPrefix)) return {};
    const QStringList fields = displayName.mid(kPrefix.size()).split(QLatin1Char('#'));
    if (fields.size() != 4 || fields[3] != QLatin1String("video4linux") || fields[2].isEmpty())
        return {};
    return fields[2].toStdString();
}

namespace {

// The videoN nodes of the class folder with what sysfs alone tells (node, identity, ids and the
// class entry), in videoN order; nothing is opened.
std::vector<std::pair<V4l2DeviceInfo, fs::path>> SysfsNodes() {
    std::vector<std::tuple<int, V4l2DeviceInfo, fs::path>> found;
    const fs::path classDir = fs::path(SysfsRoot()) / "class" / "video4linux";
    std::error_code ec;
    for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("video", 0) != 0 || NodeNumber(name) < 0) continue;
        V4l2DeviceInfo info;
        info.node = "/dev/" + name;
        ReadParentIds(it->path(), info);
        if (info.identity.empty()) continue;
        info.displayName = MakeDisplayName(info);
        found.emplace_back(NodeNumber(name), std::move(info), it->path());
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    std::vector<std::pair<V4l2DeviceInfo, fs::path>> nodes;
    for (auto& [n, info, entry] : found) nodes.emplace_back(std::move(info), std::move(entry));
    return nodes;
}

}  // namespace

std::vector<V4l2DeviceInfo> EnumerateCaptureDevices(const NodeFilter& wanted) {
    std::vector<V4l2DeviceInfo> devices;
    for (auto& [info, entry] : SysfsNodes()) {
        // Another program's camera is not ours to open, not even for a moment.
        if (wanted && !wanted(info)) continue;
        CUniqueFd fd(Syscalls().Open(info.node.c_str(), O_RDWR | O_NONBLOCK));
        if (!fd.Valid()) {
            // Present but forbidden is not absent: the user has to be told how to get access.
            const int err = errno;
            if (err != EACCES && err != EPERM) continue;
            const std::string index = ReadFirstLine(entry / "index");
            if (!index.empty() && index != "0") continue;
            info.card = QString::fromStdString(ReadFirstLine(entry / "name"));
            info.openError = err;
            devices.push_back(std::move(info));
            continue;
        }
        v4l2_capability cap{};
        if (Syscalls().Ioctl(fd.Get(), VIDIOC_QUERYCAP, &cap) < 0) continue;
        const uint32_t caps =
            (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) continue;
        const char* card = reinterpret_cast<const char*>(cap.card);
        info.card = QString::fromUtf8(card, static_cast<int>(strnlen(card, sizeof(cap.card))));
        devices.push_back(std::move(info));
    }
    return devices;
}

std::vector<V4l2DeviceInfo> ListVideoDevices() {
    std::vector<V4l2DeviceInfo> devices;
    for (auto& [info, entry] : SysfsNodes()) {
        const bool listed = std::any_of(devices.begin(), devices.end(),
                                        [&](const auto& d) { return d.identity == info.identity; });
        if (!listed) devices.push_back(std::move(info));
    }
    return devices;
}

std::optional<V4l2DeviceInfo> FindCaptureDevice(const QString& displayName) {
    const std::string identity = IdentityFromDisplayName(displayName);
    if (identity.empty()) return std::nullopt;
    std::vector<V4l2DeviceInfo> devices = EnumerateCaptureDevices(
        [&](const V4l2DeviceInfo& info) { return info.identity == identity; });
    if (devices.empty()) return std::nullopt;
    return std::move(devices.front());
}

}  // namespace platform::v4l2
