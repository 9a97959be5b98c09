// One mmap'ed V4L2 buffer, unmapped exactly once through the seam.
#pragma once

#include <cstddef>

namespace platform::v4l2 {

class CMappedBuffer {
  public:
    CMappedBuffer() = default;
    CMappedBuffer(void* data, std::size_t length) : m_data(data), m_length(length) {}
    ~CMappedBuffer() { Reset(); }
    CMappedBuffer(CMappedBuffer&& other) noexcept;
    CMappedBuffer& operator=(CMappedBuffer&& other) noexcept;
    CMappedBuffer(const CMappedBuffer&) = delete;
    CMappedBuffer& operator=(const CMappedBuffer&) = delete;

    const unsigned char* Data() const { return static_cast<const unsigned char*>(m_data); }
    std::size_t Length() const { return m_length; }
    void Reset();

  private:
    void* m_data = nullptr;
    std::size_t m_length = 0;
};

}  // namespace platform::v4l2
