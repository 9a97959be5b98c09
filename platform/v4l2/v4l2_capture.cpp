#include "platform/v4l2/v4l2_capture.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "platform/v4l2/v4l2_syscalls.h"

namespace platform::v4l2 {

CV4l2Capture::~CV4l2Capture() {
    Stop();
}

int CV4l2Capture::Xioctl(unsigned long request, void* arg) const {
    int r;
    do {
        r = Syscalls().Ioctl(m_fd.Get(), request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

int CV4l2Capture::Open(const std::string& node) {
    Stop();
    m_fd.Reset();
    CUniqueFd fd(Syscalls().Open(node.c_str(), O_RDWR | O_NONBLOCK));
    if (!fd.Valid()) return errno ? errno : ENODEV;
    m_fd = std::move(fd);
    return 0;
}

bool CV4l2Capture::GetFormat(V4l2Format& format) const {
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Xioctl(VIDIOC_G_FMT, &f) < 0) return false;
    format = {f.fmt.pix.pixelformat, f.fmt.pix.width, f.fmt.pix.height, f.fmt.pix.sizeimage};
    return true;
}

bool CV4l2Capture::SetFormat(const V4l2Format& wanted, V4l2Format* chosen) {
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.pixelformat = wanted.fourcc;
    f.fmt.pix.width = wanted.width;
    f.fmt.pix.height = wanted.height;
    f.fmt.pix.field = V4L2_FIELD_ANY;
    const bool ok = Xioctl(VIDIOC_S_FMT, &f) == 0;
    // What the device keeps is what counts, whether it took the request or not.
    V4l2Format now;
    if (chosen && GetFormat(now)) *chosen = now;
    return ok;
}

std::vector<V4l2Format> CV4l2Capture::EnumerateFormats() const {
    std::vector<V4l2Format> formats;
    for (uint32_t i = 0; i < 64; ++i) {
        v4l2_fmtdesc desc{};
        desc.index = i;
        desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (Xioctl(VIDIOC_ENUM_FMT, &desc) < 0) break;
        bool sized = false;
        for (uint32_t j = 0; j < 64; ++j) {
            v4l2_frmsizeenum size{};
            size.index = j;
            size.pixel_format = desc.pixelformat;
            if (Xioctl(VIDIOC_ENUM_FRAMESIZES, &size) < 0) break;
            if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) {
                formats.push_back(
                    {desc.pixelformat, size.stepwise.max_width, size.stepwise.max_height, 0});
                sized = true;
                break;
            }
            formats.push_back({desc.pixelformat, size.discrete.width, size.discrete.height, 0});
            sized = true;
        }
        if (!sized) {
            V4l2Format current;
            if (GetFormat(current))
                formats.push_back({desc.pixelformat, current.width, current.height, 0});
        }
    }
    return formats;
}

bool CV4l2Capture::SupportsFrameInterval() const {
    v4l2_streamparm p{};
    p.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Xioctl(VIDIOC_G_PARM, &p) < 0) return false;
    return (p.parm.capture.capability & V4L2_CAP_TIMEPERFRAME) != 0;
}

bool CV4l2Capture::GetFrameInterval(V4l2Interval& interval) const {
    v4l2_streamparm p{};
    p.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Xioctl(VIDIOC_G_PARM, &p) < 0) return false;
    interval = {p.parm.capture.timeperframe.numerator, p.parm.capture.timeperframe.denominator};
    return interval.denominator != 0;
}

bool CV4l2Capture::SetFrameInterval(const V4l2Interval& wanted, V4l2Interval* chosen) {
    if (!SupportsFrameInterval()) return false;
    v4l2_streamparm p{};
    p.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    p.parm.capture.timeperframe.numerator = wanted.numerator;
    p.parm.capture.timeperframe.denominator = wanted.denominator;
    if (Xioctl(VIDIOC_S_PARM, &p) < 0) return false;
    if (chosen)
        *chosen = {p.parm.capture.timeperframe.numerator, p.parm.capture.timeperframe.denominator};
    return true;
}

bool CV4l2Capture::QueryControl(uint32_t id, int32_t* maximum) const {
    v4l2_queryctrl q{};
    q.id = id;
    if (Xioctl(VIDIOC_QUERYCTRL, &q) < 0 || (q.flags & V4L2_CTRL_FLAG_DISABLED)) return false;
    if (maximum) *maximum = q.maximum;
    return true;
}

void CV4l2Capture::ReleaseBuffers() {
    m_buffers.clear();  // unmaps each one once
    v4l2_requestbuffers req{};
    req.count = 0;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    Xioctl(VIDIOC_REQBUFS, &req);  // a device that is gone has nothing left to free
}

int CV4l2Capture::Start(FrameHandler handler, EndHandler ended) {
    if (!m_fd.Valid()) return EBADF;
    if (m_thread.joinable()) return EBUSY;
    m_ended.store(false, std::memory_order_release);

    v4l2_requestbuffers req{};
    req.count = kBufferCount;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (Xioctl(VIDIOC_REQBUFS, &req) < 0) return errno;
    if (req.count < 2) {
        ReleaseBuffers();
        return ENOMEM;
    }
    for (uint32_t i = 0; i < req.count; ++i) {
        v4l2_buffer buf{};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        buf.index = i;
        if (Xioctl(VIDIOC_QUERYBUF, &buf) < 0) {
            const int err = errno;
            ReleaseBuffers();
            return err;
        }
        void* p = Syscalls().Mmap(buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd.Get(),
                                  buf.m.offset);
        if (p == MAP_FAILED) {
            const int err = errno;
            ReleaseBuffers();
            return err;
        }
        m_buffers.emplace_back(p, buf.length);
        if (Xioctl(VIDIOC_QBUF, &buf) < 0) {
            const int err = errno;
            ReleaseBuffers();
            return err;
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Xioctl(VIDIOC_STREAMON, &type) < 0) {
        const int err = errno;
        ReleaseBuffers();
        return err;
    }
    m_wake = CUniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK), CUniqueFd::Owner::Kernel);
    if (!m_wake.Valid()) {
        const int err = errno;
        Xioctl(VIDIOC_STREAMOFF, &type);
        ReleaseBuffers();
        return err;
    }
    m_handler = std::move(handler);
    m_endHandler = std::move(ended);
    m_thread = std::thread([this] { StreamLoop(); });
    return 0;
}

void CV4l2Capture::Stop() {
    if (!m_thread.joinable()) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake.Get(), &one, sizeof(one));
    m_thread.join();
    m_wake.Reset();
    m_handler = nullptr;
    m_endHandler = nullptr;
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    Xioctl(VIDIOC_STREAMOFF, &type);
    ReleaseBuffers();
}

void CV4l2Capture::StreamLoop() {
    int err = 0;
    for (;;) {
        pollfd fds[2] = {{m_fd.Get(), POLLIN, 0}, {m_wake.Get(), POLLIN, 0}};
        const int r = Syscalls().Poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            err = errno;
            break;
        }
        if (fds[1].revents) return;  // Stop
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            // What went wrong shows in the next dequeue; a device that vanished says ENODEV.
            v4l2_buffer probe{};
            probe.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            probe.memory = V4L2_MEMORY_MMAP;
            err = Syscalls().Ioctl(m_fd.Get(), VIDIOC_DQBUF, &probe) < 0 ? errno : ENODEV;
            break;
        }
        if (!(fds[0].revents & POLLIN)) continue;

        v4l2_buffer buf{};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        if (Syscalls().Ioctl(m_fd.Get(), VIDIOC_DQBUF, &buf) < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            err = errno;
            break;  // ENODEV, EIO: the camera is gone
        }
        if (buf.index >= m_buffers.size()) {
            err = EIO;
            break;
        }
        const CMappedBuffer& mapped = m_buffers[buf.index];
        // A buffer flagged as damaged goes on too: whether its picture decodes is for the
        // decoder to say, and many cameras flag frames that decode perfectly well.
        if (buf.bytesused > 0 && buf.bytesused <= mapped.Length()) {
            m_handler(mapped.Data(), buf.bytesused);
        }
        if (Syscalls().Ioctl(m_fd.Get(), VIDIOC_QBUF, &buf) < 0 && errno != EINTR &&
            errno != EAGAIN) {
            err = errno;
            break;
        }
    }
    m_ended.store(true, std::memory_order_release);
    if (m_endHandler) m_endHandler(err ? err : EIO);
}

}  // namespace platform::v4l2
