// Writing a whole buffer to a file descriptor, across short writes and interruptions.
#pragma once

#include <cstddef>

namespace platform {

// 0 once all size bytes are written; otherwise the errno of the write that failed (EIO for one
// that wrote nothing without an error).
int WriteAll(int fd, const void* data, size_t size);

}  // namespace platform
