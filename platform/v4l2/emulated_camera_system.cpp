#include "platform/v4l2/emulated_camera_system.h"

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

#include "platform/v4l2/emulated_frame_source.h"

namespace platform::v4l2 {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text << '\n';
}

}  // namespace

CEmulatedCameraSystem::CEmulatedCameraSystem(std::vector<EmulatedCameraConfig> cameras) {
    CEmulatedFrameSource::Warm();  // not later, under the lock, on a streaming thread
    for (size_t i = 0; i < cameras.size(); ++i)
        m_devices.push_back(
            std::make_unique<CEmulatedCameraDevice>(std::move(cameras[i]), static_cast<int>(i)));
    std::string tmpl = (fs::temp_directory_path() / "quorvel-sysfs-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) m_root = tmpl;
    WriteSysfs();
    SetSysfsRoot(m_root);
    InstallSyscalls(this);
}

CEmulatedCameraSystem::~CEmulatedCameraSystem() {
    InstallSyscalls(nullptr);
    SetSysfsRoot(std::string());
    std::lock_guard lock(m_mutex);
    for (auto& [fd, file] : m_files) ::close(fd);
    m_files.clear();
    std::error_code ec;
    if (!m_root.empty()) fs::remove_all(m_root, ec);
}

std::unique_ptr<CEmulatedCameraSystem> CEmulatedCameraSystem::InstallDefault() {
    return std::make_unique<CEmulatedCameraSystem>(
        std::vector<EmulatedCameraConfig>{EmulatedCameraConfig::Microscope()});
}

// A UVC camera as the kernel shows it: the USB device with its ids, its streaming interface,
// the interface's video nodes, and the class links to them.
void CEmulatedCameraSystem::WriteSysfs() {
    if (m_root.empty()) return;
    const fs::path root(m_root);
    const fs::path bus = root / "devices/pci0000:00/0000:00:14.0/usb1";
    fs::create_directories(root / "class/video4linux");
    int node = 0;
    for (const auto& dev : m_devices) {
        const std::string port = "1-" + std::to_string(dev->Index() + 1);
        const fs::path usb = bus / port;
        const fs::path iface = usb / (port + ":1.0");
        fs::create_directories(iface);
        WriteFile(usb / "idVendor", dev->Config().vendorId);
        WriteFile(usb / "idProduct", dev->Config().productId);
        WriteFile(usb / "product", dev->Config().card);
        const int nodes = dev->Config().metadataNode ? 2 : 1;
        for (int k = 0; k < nodes; ++k, ++node) {
            const std::string name = "video" + std::to_string(node);
            const fs::path dir = iface / "video4linux" / name;
            fs::create_directories(dir);
            WriteFile(dir / "name", dev->Config().card);
            WriteFile(dir / "dev", "81:" + std::to_string(node));
            fs::create_symlink(fs::relative(iface, dir), dir / "device");
            fs::create_directory_symlink(fs::relative(dir, root / "class/video4linux"),
                                         root / "class/video4linux" / name);
            m_nodes["/dev/" + name] = Node{dev->Index(), k == 1};
        }
    }
}

std::string CEmulatedCameraSystem::NodeOf(int camera) const {
    for (const auto& [path, n] : m_nodes)
        if (n.camera == camera && !n.metadata) return path;
    return {};
}

#define QV_DEVICE_STAT(name)                                      \
    int CEmulatedCameraSystem::name(int camera) const {           \
        std::lock_guard lock(m_mutex);                            \
        return m_devices.at(static_cast<size_t>(camera))->name(); \
    }
QV_DEVICE_STAT(FramesDelivered)
QV_DEVICE_STAT(Maps)
QV_DEVICE_STAT(Unmaps)
QV_DEVICE_STAT(BadUnmaps)
QV_DEVICE_STAT(MappedNow)
#undef QV_DEVICE_STAT

bool CEmulatedCameraSystem::Streaming(int camera) const {
    std::lock_guard lock(m_mutex);
    return m_devices.at(static_cast<size_t>(camera))->Streaming();
}

double CEmulatedCameraSystem::IntervalSeconds(int camera) const {
    std::lock_guard lock(m_mutex);
    return m_devices.at(static_cast<size_t>(camera))->IntervalSeconds();
}

void CEmulatedCameraSystem::Unplug(int camera) {
    std::lock_guard lock(m_mutex);
    m_devices.at(static_cast<size_t>(camera))->Unplug();
}

int CEmulatedCameraSystem::OpenFiles() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_files.size());
}

std::vector<unsigned char> CEmulatedCameraSystem::SampleBytes(int camera, int sequence) const {
    std::lock_guard lock(m_mutex);
    return m_devices.at(static_cast<size_t>(camera))->SampleBytes(sequence);
}

int CEmulatedCameraSystem::Open(const char* path, int /*flags*/) {
    std::lock_guard lock(m_mutex);
    auto it = m_nodes.find(path ? path : "");
    if (it == m_nodes.end()) {
        errno = ENOENT;
        return -1;
    }
    if (m_devices[static_cast<size_t>(it->second.camera)]->Unplugged()) {
        errno = ENODEV;
        return -1;
    }
    // A real descriptor keeps the number unique in the process.
    const int fd = ::eventfd(0, EFD_CLOEXEC);
    if (fd < 0) return -1;
    m_files[fd] = OpenFile{it->second.camera, it->second.metadata};
    return fd;
}

int CEmulatedCameraSystem::Close(int fd) {
    {
        std::lock_guard lock(m_mutex);
        auto it = m_files.find(fd);
        if (it != m_files.end()) {
            m_devices[static_cast<size_t>(it->second.camera)]->Closed(fd);
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
    const int err = m_devices[static_cast<size_t>(it->second.camera)]->Ioctl(
        fd, it->second.metadata, request, arg);
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
        p = m_devices[static_cast<size_t>(it->second.camera)]->Mmap(fd, length, offset);
    if (!p) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    return p;
}

int CEmulatedCameraSystem::Munmap(void* addr, std::size_t length) {
    std::lock_guard lock(m_mutex);
    for (const auto& dev : m_devices) {
        if (dev->Munmap(addr, length)) return 0;
    }
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
                const short ev = m_devices[static_cast<size_t>(it->second.camera)]->PollEvents(
                    fds[i].fd, now, &fileDue);
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
