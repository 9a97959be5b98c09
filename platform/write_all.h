// Writing a whole buffer to a file descriptor, across short writes and interruptions.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// 0 once all size bytes are written; otherwise the errno of the write that failed (EIO for one
// that wrote nothing without an error).
int WriteAll(int fd, const void* data, size_t size);

// Creates or truncates the file at path and writes size bytes into it, through to the disk
// first when sync is set. A file left partly written is removed. 0, or the errno of the step
// that failed.
int WriteNewFile(const std::string& path, const void* data, size_t size, bool sync = false);

// Replaces the file at path with size bytes through a file beside it that then takes its name,
// so that the old content stays whole until the new one is on the disk. 0, or the errno.
int ReplaceFile(const std::string& path, const void* data, size_t size);

}  // namespace platform
