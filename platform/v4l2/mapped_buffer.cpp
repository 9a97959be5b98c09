#include "platform/v4l2/mapped_buffer.h"

#include <utility>

#include "platform/v4l2/v4l2_syscalls.h"

namespace platform::v4l2 {

CMappedBuffer::CMappedBuffer(CMappedBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_length(std::exchange(other.m_length, 0)) {}

CMappedBuffer& CMappedBuffer::operator=(CMappedBuffer&& other) noexcept {
    if (this != &other) {
        Reset();
        m_data = std::exchange(other.m_data, nullptr);
        m_length = std::exchange(other.m_length, 0);
    }
    return *this;
}

void CMappedBuffer::Reset() {
    if (!m_data) return;
    Syscalls().Munmap(m_data, m_length);
    m_data = nullptr;
    m_length = 0;
}

}  // namespace platform::v4l2
