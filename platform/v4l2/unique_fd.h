// A file descriptor closed exactly once, through the V4L2 seam or straight to the kernel.
#pragma once

namespace platform::v4l2 {

class CUniqueFd {
  public:
    enum class Owner { Seam, Kernel };

    CUniqueFd() = default;
    explicit CUniqueFd(int fd, Owner owner = Owner::Seam) : m_fd(fd), m_owner(owner) {}
    ~CUniqueFd() { Reset(); }
    CUniqueFd(CUniqueFd&& other) noexcept;
    CUniqueFd& operator=(CUniqueFd&& other) noexcept;
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    void Reset();
    // Gives the descriptor up unclosed, for a caller that must see close's result itself.
    int Release();

  private:
    int m_fd = -1;
    Owner m_owner = Owner::Seam;
};

}  // namespace platform::v4l2
