#include "platform/v4l2/v4l2_syscalls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace platform::v4l2 {
namespace {

class CKernelSyscalls : public CV4l2Syscalls {
  public:
    int Open(const char* path, int flags) override { return ::open(path, flags | O_CLOEXEC); }
    int Close(int fd) override { return ::close(fd); }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        int r;
        do {
            r = ::ioctl(fd, request, arg);
        } while (r < 0 && errno == EINTR);
        return r;
    }
    void* Mmap(std::size_t length, int prot, int flags, int fd, off_t offset) override {
        return ::mmap(nullptr, length, prot, flags, fd, offset);
    }
    int Munmap(void* addr, std::size_t length) override { return ::munmap(addr, length); }
    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override {
        return ::poll(fds, count, timeoutMs);
    }
};

CKernelSyscalls g_kernel;
std::atomic<CV4l2Syscalls*> g_installed{nullptr};
std::mutex g_rootMutex;
std::string g_sysfsRoot;  // guarded by g_rootMutex

}  // namespace

CV4l2Syscalls& Syscalls() {
    CV4l2Syscalls* calls = g_installed.load(std::memory_order_acquire);
    return calls ? *calls : g_kernel;
}

void InstallSyscalls(CV4l2Syscalls* calls) {
    g_installed.store(calls, std::memory_order_release);
}

std::string SysfsRoot() {
    std::lock_guard lock(g_rootMutex);
    return g_sysfsRoot.empty() ? std::string("/sys") : g_sysfsRoot;
}

void SetSysfsRoot(const std::string& root) {
    std::lock_guard lock(g_rootMutex);
    g_sysfsRoot = root;
}

}  // namespace platform::v4l2
