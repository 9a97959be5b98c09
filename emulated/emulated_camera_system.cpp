#include "emulated/emulated_camera_system.h"

#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <utility>

#include "emulated/emulated_frame_source.h"

namespace platform::v4l2 {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text << '\n';
}

}  // namespace

CEmulatedCameraSystem::CEmulatedCameraSystem(std::vector<EmulatedCameraConfig> cameras) {
    CEmulatedFrameSource::Warm();  // not later, under the lock, on a streaming thread
    int node = 0;
    for (size_t i = 0; i < cameras.size(); ++i) {
        std::vector<std::string> names;
        for (int k = 0; k < (cameras[i].metadataNode ? 2 : 1); ++k)
            names.push_back("video" + std::to_string(node++));
        m_nodeNames.push_back(std::move(names));
        m_devices.push_back(
            std::make_unique<CEmulatedCameraDevice>(std::move(cameras[i]), static_cast<int>(i)));
    }
    std::string tmpl = (fs::temp_directory_path() / "quorvel-sysfs-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) m_root = tmpl;
    {
        std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < m_devices.size(); ++i) WriteSysfs(static_cast<int>(i));
    }
    SetSysfsRoot(m_root);
    InstallSyscalls(this);
}

CEmulatedCameraSystem::~CEmulatedCameraSystem() {
    InstallSyscalls(nullptr);
    SetSysfsRoot(std::string());
    std::lock_guard lock(m_mutex);
    m_files.clear();
    std::error_code ec;
    if (!m_root.empty()) fs::remove_all(m_root, ec);
}

std::unique_ptr<CEmulatedCameraSystem> CEmulatedCameraSystem::InstallDefault() {
    return std::make_unique<CEmulatedCameraSystem>(
        std::vector<EmulatedCameraConfig>{EmulatedCameraConfig::Microscope()});
}

CEmulatedCameraDevice& CEmulatedCameraSystem::Device(int camera) const {
    return *m_devices.at(static_cast<size_t>(camera));
}

// A UVC camera as the kernel shows it: the USB device with its ids, its streaming interface,
// the interface's video nodes (index 0 captures, 1 is metadata), and the class links to them.
void CEmulatedCameraSystem::WriteSysfs(int camera) {
    if (m_root.empty()) return;
    const CEmulatedCameraDevice& dev = Device(camera);
    const fs::path root(m_root);
    const fs::path classDir = root / "class/video4linux";
    const std::string port = "1-" + std::to_string(camera + 1);
    const fs::path usb = root / "devices/pci0000:00/0000:00:14.0/usb1" / port;
    const fs::path iface = usb / (port + ":1.0");
    std::error_code ec;
    fs::create_directories(classDir, ec);
    fs::create_directories(iface, ec);
    WriteFile(usb / "idVendor", dev.Config().vendorId);
    WriteFile(usb / "idProduct", dev.Config().productId);
    WriteFile(usb / "product", dev.Config().card);
    const auto& names = m_nodeNames[static_cast<size_t>(camera)];
    for (size_t k = 0; k < names.size(); ++k) {
        const std::string& name = names[k];
        const fs::path dir = iface / "video4linux" / name;
        fs::create_directories(dir, ec);
        WriteFile(dir / "name", dev.Config().card);
        WriteFile(dir / "index", std::to_string(k));
        WriteFile(dir / "dev", "81:" + name.substr(5));
        fs::create_symlink(fs::relative(iface, dir), dir / "device", ec);
        fs::create_directory_symlink(fs::relative(dir, classDir), classDir / name, ec);
        m_nodes["/dev/" + name] = Node{camera, k == 1};
    }
}

void CEmulatedCameraSystem::RemoveSysfs(int camera) {
    if (m_root.empty()) return;
    const fs::path root(m_root);
    std::error_code ec;
    for (const std::string& name : m_nodeNames[static_cast<size_t>(camera)]) {
        fs::remove(root / "class/video4linux" / name, ec);
        m_nodes.erase("/dev/" + name);
    }
    const std::string port = "1-" + std::to_string(camera + 1);
    fs::remove_all(root / "devices/pci0000:00/0000:00:14.0/usb1" / port, ec);
}

std::string CEmulatedCameraSystem::NodeOf(int camera) const {
    std::lock_guard lock(m_mutex);
    for (const auto& [path, n] : m_nodes)
        if (n.camera == camera && !n.metadata) return path;
    return {};
}

#define QV_DEVICE_STAT(name)                            \
    int CEmulatedCameraSystem::name(int camera) const { \
        std::lock_guard lock(m_mutex);                  \
        return Device(camera).name();                   \
    }
QV_DEVICE_STAT(FramesDelivered)
QV_DEVICE_STAT(Maps)
QV_DEVICE_STAT(Unmaps)
QV_DEVICE_STAT(BadUnmaps)
QV_DEVICE_STAT(MappedNow)
QV_DEVICE_STAT(QueuedNow)
#undef QV_DEVICE_STAT

bool CEmulatedCameraSystem::Streaming(int camera) const {
    std::lock_guard lock(m_mutex);
    return Device(camera).Streaming();
}

double CEmulatedCameraSystem::IntervalSeconds(int camera) const {
    std::lock_guard lock(m_mutex);
    return Device(camera).IntervalSeconds();
}

void CEmulatedCameraSystem::Unplug(int camera) {
    std::lock_guard lock(m_mutex);
    Device(camera).Unplug();
    RemoveSysfs(camera);
}

void CEmulatedCameraSystem::Replug(int camera) {
    Replug(camera, std::nullopt);
}

void CEmulatedCameraSystem::Replug(int camera, std::optional<EmulatedCameraConfig> config) {
    std::lock_guard lock(m_mutex);
    auto& slot = m_devices.at(static_cast<size_t>(camera));
    if (!slot->Unplugged()) return;
    RemoveSysfs(camera);  // a camera that died by itself still had its entries
    auto fresh = std::make_unique<CEmulatedCameraDevice>(config ? *config : slot->Config(), camera);
    m_unplugged.push_back(std::exchange(slot, std::move(fresh)));
    WriteSysfs(camera);
}

bool CEmulatedCameraSystem::Plugged(int camera) const {
    std::lock_guard lock(m_mutex);
    return !Device(camera).Unplugged();
}

int CEmulatedCameraSystem::OpenAttempts(int camera) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_openAttempts.find(camera);
    return it == m_openAttempts.end() ? 0 : it->second;
}

int CEmulatedCameraSystem::OpenFiles() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_files.size());
}

std::vector<unsigned char> CEmulatedCameraSystem::SampleBytes(int camera, int sequence) const {
    std::lock_guard lock(m_mutex);
    return Device(camera).SampleBytes(sequence);
}

int32_t CEmulatedCameraSystem::ControlValue(int camera, uint32_t id) const {
    std::lock_guard lock(m_mutex);
    return Device(camera).Controls().Value(id);
}

std::vector<uint32_t> CEmulatedCameraSystem::ControlSetOrder(int camera) const {
    std::lock_guard lock(m_mutex);
    return Device(camera).Controls().SetOrder();
}

int CEmulatedCameraSystem::Open(const char* path, int /*flags*/) {
    std::lock_guard lock(m_mutex);
    auto it = m_nodes.find(path ? path : "");
    if (it == m_nodes.end()) {
        errno = ENOENT;
        return -1;
    }
    ++m_openAttempts[it->second.camera];
    CEmulatedCameraDevice& device = Device(it->second.camera);
    if (device.Unplugged()) {
        errno = ENODEV;
        return -1;
    }
    if (device.Config().accessDenied) {
        errno = EACCES;
        return -1;
    }
    CUniqueFd descriptor(::eventfd(0, EFD_CLOEXEC), CUniqueFd::Owner::Kernel);
    if (!descriptor.Valid()) return -1;
    const int fd = descriptor.Get();
    m_files.emplace(fd, OpenFile{&device, it->second.metadata, std::move(descriptor)});
    return fd;
}

int CEmulatedCameraSystem::Close(int fd) {
    {
        std::lock_guard lock(m_mutex);
        auto it = m_files.find(fd);
        if (it != m_files.end()) {
            it->second.device->Closed(fd);
            it->second.descriptor.Release();  // closed below, which tells the caller how it went
            m_files.erase(it);
        }
    }
    return ::close(fd);
}

int CEmulatedCameraSystem::Ioctl(int fd, unsigned long request, void* arg) {
    std::lock_guard lock(m_mutex);
    auto it = m_files.find(fd);
    if (it == m_files.end()) {
        errno = EBADF;
        return -1;
    }
    const int err = it->second.device->Ioctl(fd, it->second.metadata, request, arg);
    if (err) {
        errno = err;
        return -1;
    }
    return 0;
}

void* CEmulatedCameraSystem::Mmap(std::size_t length, int /*prot*/, int /*flags*/, int fd,
                                  off_t offset) {
    std::lock_guard lock(m_mutex);
    auto it = m_files.find(fd);
    void* p = nullptr;
    if (it != m_files.end() && !it->second.metadata)
        p = it->second.device->Mmap(fd, length, offset);
    if (!p) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    return p;
}

int CEmulatedCameraSystem::Munmap(void* addr, std::size_t length) {
    std::lock_guard lock(m_mutex);
    for (const auto* list : {&m_devices, &m_unplugged})
        for (const auto& dev : *list)
            if (dev->Munmap(addr, length)) return 0;
    errno = EINVAL;
    return -1;
}

// Emulated descriptors are ready by the clock; the others (the stream's eventfd) go to the
// kernel, which also does the waiting until the next frame is due.
int CEmulatedCameraSystem::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
    using Clock = CEmulatedCameraDevice::Clock;
    const Clock::time_point deadline = timeoutMs < 0
                                           ? Clock::time_point::max()
                                           : Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<pollfd> real;
    std::vector<nfds_t> realIndex;
    for (;;) {
        int ready = 0;
        Clock::time_point due = Clock::time_point::max();
        real.clear();
        realIndex.clear();
        {
            std::lock_guard lock(m_mutex);
            const Clock::time_point now = Clock::now();
            for (nfds_t i = 0; i < count; ++i) {
                fds[i].revents = 0;
                auto it = m_files.find(fds[i].fd);
                if (it == m_files.end()) {
                    real.push_back(fds[i]);
                    realIndex.push_back(i);
                    continue;
                }
                Clock::time_point fileDue = Clock::time_point::max();
                const short ev = it->second.device->PollEvents(fds[i].fd, now, &fileDue);
                fds[i].revents = static_cast<short>(ev & (fds[i].events | POLLERR | POLLHUP));
                if (fds[i].revents) ++ready;
                due = std::min(due, fileDue);
            }
        }
        int waitMs = 0;
        if (!ready) {
            const Clock::time_point until = std::min(due, deadline);
            if (until == Clock::time_point::max()) {
                waitMs = -1;
            } else {
                const auto left = until - Clock::now();
                waitMs = left <= Clock::duration::zero()
                             ? 0
                             : static_cast<int>(
                                   std::chrono::ceil<std::chrono::milliseconds>(left).count());
            }
        }
        const int r = ::poll(real.data(), real.size(), waitMs);
        if (r < 0) return -1;
        for (size_t k = 0; k < real.size(); ++k) {
            fds[realIndex[k]].revents = real[k].revents;
            if (real[k].revents) ++ready;
        }
        if (ready) return ready;
        if (Clock::now() >= deadline) return 0;
    }
}

}  // namespace platform::v4l2
