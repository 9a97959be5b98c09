#include "platform/write_all.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace platform {

int WriteAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

int WriteNewFile(const std::string& path, const void* data, size_t size, bool sync) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    int error = WriteAll(fd, data, size);
    if (error == 0 && sync && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) ::unlink(path.c_str());
    return error;
}

int ReplaceFile(const std::string& path, const void* data, size_t size) {
    const std::string temp = path + ".new";
    int error = WriteNewFile(temp, data, size, true);
    if (error == 0 && std::rename(temp.c_str(), path.c_str()) != 0) {
        error = errno;
        ::unlink(temp.c_str());
    }
    return error;
}

}  // namespace platform
