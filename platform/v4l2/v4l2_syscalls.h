// The system calls the V4L2 code makes, behind one replaceable object, and the sysfs root it
// reads. The kernel serves them unless something else was installed (the emulated camera).
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace platform::v4l2 {

// Same contracts as the libc calls: -1 (or MAP_FAILED) with errno set on failure.
class CV4l2Syscalls {
  public:
    virtual ~CV4l2Syscalls() = default;
    virtual int Open(const char* path, int flags) = 0;
    virtual int Close(int fd) = 0;
    virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual void* Mmap(std::size_t length, int prot, int flags, int fd, off_t offset) = 0;
    virtual int Munmap(void* addr, std::size_t length) = 0;
    virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
};

// The installed calls, or the kernel's.
CV4l2Syscalls& Syscalls();
// Installs calls (not owned; null restores the kernel's). Install before any device is open.
void InstallSyscalls(CV4l2Syscalls* calls);

// The folder sysfs is read from: "/sys" unless set (empty restores it).
std::string SysfsRoot();
void SetSysfsRoot(const std::string& root);

}  // namespace platform::v4l2
