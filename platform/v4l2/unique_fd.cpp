#include "platform/v4l2/unique_fd.h"

#include <unistd.h>

#include <utility>

#include "platform/v4l2/v4l2_syscalls.h"

namespace platform::v4l2 {

CUniqueFd::CUniqueFd(CUniqueFd&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_owner(other.m_owner) {}

CUniqueFd& CUniqueFd::operator=(CUniqueFd&& other) noexcept {
    if (this != &other) {
        Reset();
        m_fd = std::exchange(other.m_fd, -1);
        m_owner = other.m_owner;
    }
    return *this;
}

void CUniqueFd::Reset() {
    if (m_fd < 0) return;
    if (m_owner == Owner::Seam)
        Syscalls().Close(m_fd);
    else
        ::close(m_fd);
    m_fd = -1;
}

int CUniqueFd::Release() {
    return std::exchange(m_fd, -1);
}

}  // namespace platform::v4l2
