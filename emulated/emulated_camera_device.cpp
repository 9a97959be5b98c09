#include "emulated/emulated_camera_device.h"

#include <linux/videodev2.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "emulated/emulated_frame_source.h"
#include "platform/v4l2/v4l2_capture.h"

namespace platform::v4l2 {
namespace {

constexpr uint32_t kMapStride = 0x100000;  // offsets of the buffers, page aligned
constexpr uint32_t kMinIntervalUs = 1000;

void CopyName(unsigned char* dst, size_t size, const std::string& text) {
    std::memset(dst, 0, size);
    std::memcpy(dst, text.data(), std::min(size - 1, text.size()));
}

}  // namespace

CEmulatedCameraDevice::CEmulatedCameraDevice(EmulatedCameraConfig config, int index)
    : m_config(std::move(config)),
      m_index(index),
      m_controls(m_config.refusesControl, m_config.halvesControl) {
    if (m_config.refusesFormat) {
        m_width = 320;
        m_height = 240;
    }
}

CEmulatedCameraDevice::Clock::duration CEmulatedCameraDevice::Interval() const {
    const uint64_t us = std::max<uint64_t>(
        kMinIntervalUs, uint64_t{m_intervalNum} * 1000000u / std::max<uint32_t>(1, m_intervalDen));
    return std::chrono::microseconds(us);
}

double CEmulatedCameraDevice::IntervalSeconds() const {
    return std::chrono::duration<double>(Interval()).count();
}

EmulatedSample CEmulatedCameraDevice::KindOf(int sequence) const {
    if (m_config.samples.empty()) return EmulatedSample::Good;
    return m_config.samples[static_cast<size_t>(sequence) % m_config.samples.size()];
}

bool CEmulatedCameraDevice::Stalled() const {
    return m_config.stallAfterFrames >= 0 && m_delivered >= m_config.stallAfterFrames;
}

size_t CEmulatedCameraDevice::BufferBytes() const {
    size_t bytes = size_t{m_width} * m_height * 2;
    if (m_config.frames)
        for (const auto& frame : *m_config.frames) bytes = std::max(bytes, frame.size());
    return bytes;
}

std::vector<unsigned char> CEmulatedCameraDevice::SampleBytes(int sequence) const {
    const EmulatedSample kind = KindOf(sequence);
    if (m_config.frames && !m_config.frames->empty() &&
        (kind == EmulatedSample::Good || kind == EmulatedSample::Oversized))
        return (*m_config.frames)[static_cast<size_t>(sequence) % m_config.frames->size()];
    std::vector<unsigned char> bytes = CEmulatedFrameSource::Sample(
        kind, sequence + 5 * m_index, static_cast<int>(m_width), static_cast<int>(m_height));
    // At the defaults the bytes stay the cached ones; otherwise the picture follows the
    // brightness and contrast, as a sensor's would.
    if (kind == EmulatedSample::Good &&
        !(m_controls.AtDefaults(V4L2_CID_BRIGHTNESS) && m_controls.AtDefaults(V4L2_CID_CONTRAST)))
        bytes = CEmulatedFrameSource::Adjusted(bytes, m_controls.Value(V4L2_CID_BRIGHTNESS),
                                               m_controls.Value(V4L2_CID_CONTRAST) / 32.0);
    return bytes;
}

int CEmulatedCameraDevice::MappedNow() const {
    int n = 0;
    for (const Buffer& b : m_buffers) n += b.mapped;
    return n;
}

int CEmulatedCameraDevice::QueuedNow() const {
    int n = 0;
    for (const Buffer& b : m_buffers) n += b.queued;
    return n;
}

int CEmulatedCameraDevice::Ioctl(int fd, bool metadata, unsigned long request, void* arg) {
    if (m_unplugged) return ENODEV;
    if (request == VIDIOC_QUERYCAP) {
        auto* cap = static_cast<v4l2_capability*>(arg);
        std::memset(cap, 0, sizeof(*cap));
        CopyName(cap->driver, sizeof(cap->driver), "uvcvideo");
        CopyName(cap->card, sizeof(cap->card), m_config.card);
        CopyName(cap->bus_info, sizeof(cap->bus_info),
                 "usb-0000:00:14.0-" + std::to_string(m_index + 1));
        cap->version = 0x060100;
        cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING |
                            V4L2_CAP_DEVICE_CAPS;
        cap->device_caps = metadata ? (V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING)
                                    : (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING);
        return 0;
    }
    if (metadata) return ENOTTY;
    if (m_controls.Handles(request)) return m_controls.Ioctl(request, arg);
    return CaptureIoctl(fd, request, arg);
}

int CEmulatedCameraDevice::CaptureIoctl(int fd, unsigned long request, void* arg) {
    switch (request) {
        case VIDIOC_ENUM_FMT: {
            auto* d = static_cast<v4l2_fmtdesc*>(arg);
            if (!m_config.listsFormats || d->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || d->index != 0)
                return EINVAL;
            d->flags = V4L2_FMT_FLAG_COMPRESSED;
            d->pixelformat = V4L2_PIX_FMT_MJPEG;
            CopyName(d->description, sizeof(d->description), "Motion-JPEG");
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto* s = static_cast<v4l2_frmsizeenum*>(arg);
            if (!m_config.listsFormats || s->pixel_format != V4L2_PIX_FMT_MJPEG || s->index != 0)
                return EINVAL;
            s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            s->discrete.width = m_config.refusesFormat ? 320 : 640;
            s->discrete.height = m_config.refusesFormat ? 240 : 480;
            return 0;
        }
        case VIDIOC_G_FMT:
        case VIDIOC_S_FMT:
        case VIDIOC_TRY_FMT: {
            auto* f = static_cast<v4l2_format*>(arg);
            if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return EINVAL;
            if (request == VIDIOC_S_FMT && (m_streaming || !m_buffers.empty())) return EBUSY;
            // One format only: a request for anything else gets what the camera has.
            if (request == VIDIOC_S_FMT && !m_config.refusesFormat &&
                f->fmt.pix.pixelformat == V4L2_PIX_FMT_MJPEG) {
                m_width = 640;
                m_height = 480;
            }
            std::memset(&f->fmt, 0, sizeof(f->fmt));
            f->fmt.pix.width = m_width;
            f->fmt.pix.height = m_height;
            f->fmt.pix.pixelformat = V4L2_PIX_FMT_MJPEG;
            f->fmt.pix.field = V4L2_FIELD_NONE;
            f->fmt.pix.sizeimage = m_width * m_height * 2;
            f->fmt.pix.colorspace = V4L2_COLORSPACE_SRGB;
            return 0;
        }
        case VIDIOC_G_PARM:
        case VIDIOC_S_PARM: {
            auto* p = static_cast<v4l2_streamparm*>(arg);
            if (p->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return EINVAL;
            if (request == VIDIOC_S_PARM) {
                const v4l2_fract t = p->parm.capture.timeperframe;
                if (t.numerator != 0 && t.denominator != 0) {
                    m_intervalNum = t.numerator;
                    m_intervalDen = t.denominator;
                    // Like a UVC driver, grant the nearest rate the camera has.
                    const uint64_t fps = static_cast<uint64_t>(m_config.maxFramesPerSecond);
                    if (fps > 0 && uint64_t{m_intervalNum} * fps < m_intervalDen) {
                        m_intervalNum = 1;
                        m_intervalDen = static_cast<uint32_t>(fps);
                    }
                }
                if (m_config.fixedFramesPerSecond > 0) {
                    m_intervalNum = 1;
                    m_intervalDen = static_cast<uint32_t>(m_config.fixedFramesPerSecond);
                }
            }
            std::memset(&p->parm, 0, sizeof(p->parm));
            p->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
            p->parm.capture.timeperframe = {m_intervalNum, m_intervalDen};
            p->parm.capture.readbuffers = 0;
            return 0;
        }
        case VIDIOC_QUERYCTRL: {
            auto* q = static_cast<v4l2_queryctrl*>(arg);
            if (q->id != kStillCaptureControl || !m_config.stillPin) return EINVAL;
            q->type = V4L2_CTRL_TYPE_INTEGER;
            CopyName(q->name, sizeof(q->name), "Still Capture");
            q->minimum = 0;
            q->maximum = m_config.stillCapabilities;
            q->step = 1;
            q->flags = 0;
            return 0;
        }
        case VIDIOC_REQBUFS: {
            auto* r = static_cast<v4l2_requestbuffers*>(arg);
            if (r->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || r->memory != V4L2_MEMORY_MMAP)
                return EINVAL;
            if (m_owner >= 0 && m_owner != fd) return EBUSY;
            if (m_streaming || MappedNow() > 0) return EBUSY;
            m_buffers.clear();
            m_queue.clear();
            if (r->count == 0) {
                m_owner = -1;
                return 0;
            }
            r->count = std::min(r->count, m_config.maxBuffers);
            m_buffers.resize(r->count);
            for (Buffer& b : m_buffers) b.storage.assign(BufferBytes(), 0);
            m_owner = fd;
            return 0;
        }
        case VIDIOC_QUERYBUF:
        case VIDIOC_QBUF: {
            auto* b = static_cast<v4l2_buffer*>(arg);
            if (fd != m_owner || b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
                b->memory != V4L2_MEMORY_MMAP || b->index >= m_buffers.size())
                return EINVAL;
            Buffer& buf = m_buffers[b->index];
            if (request == VIDIOC_QBUF) {
                if (buf.queued) return EINVAL;
                buf.queued = true;
                m_queue.push_back(b->index);
            }
            b->length = static_cast<uint32_t>(buf.storage.size());
            b->m.offset = b->index * kMapStride;
            b->flags =
                (buf.queued ? V4L2_BUF_FLAG_QUEUED : 0) | (buf.mapped ? V4L2_BUF_FLAG_MAPPED : 0);
            return 0;
        }
        case VIDIOC_DQBUF: {
            auto* b = static_cast<v4l2_buffer*>(arg);
            if (fd != m_owner || !m_streaming) return EINVAL;
            const Clock::time_point now = Clock::now();
            if (m_queue.empty() || now < m_nextDue || Stalled()) return EAGAIN;
            const uint32_t index = m_queue.front();
            m_queue.pop_front();
            Buffer& buf = m_buffers[index];
            buf.queued = false;
            const int sequence = m_delivered;
            const EmulatedSample kind = KindOf(sequence);
            const std::vector<unsigned char> bytes = SampleBytes(sequence);
            size_t n = std::min(bytes.size(), buf.storage.size());
            if (n > 0) std::memcpy(buf.storage.data(), bytes.data(), n);
            // The rest of the buffer keeps whatever an earlier frame left there.
            if (kind == EmulatedSample::Oversized) n = buf.storage.size();
            std::memset(b, 0, sizeof(*b));
            b->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            b->memory = V4L2_MEMORY_MMAP;
            b->index = index;
            b->bytesused = static_cast<uint32_t>(n);
            b->length = static_cast<uint32_t>(buf.storage.size());
            b->m.offset = index * kMapStride;
            b->flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_DONE |
                       (kind == EmulatedSample::ErrorFlag ? V4L2_BUF_FLAG_ERROR : 0);
            b->sequence = static_cast<uint32_t>(sequence);
            b->field = V4L2_FIELD_NONE;
            ++m_delivered;
            // Keep pace with the clock without bursting after a slow consumer.
            m_nextDue += Interval();
            if (m_nextDue < now) m_nextDue = now;
            if (m_config.unplugAfterFrames >= 0 && m_delivered >= m_config.unplugAfterFrames)
                m_unplugged = true;
            return 0;
        }
        case VIDIOC_STREAMON: {
            if (fd != m_owner || m_buffers.empty()) return EINVAL;
            if (m_config.refusesStream) return EIO;
            if (!m_streaming) {
                m_streaming = true;
                m_nextDue = Clock::now() + Interval();
            }
            return 0;
        }
        case VIDIOC_STREAMOFF: {
            if (fd != m_owner) return EINVAL;
            m_streaming = false;
            m_queue.clear();
            for (Buffer& b : m_buffers) b.queued = false;
            return 0;
        }
        default:
            return ENOTTY;
    }
}

void* CEmulatedCameraDevice::Mmap(int fd, std::size_t length, off_t offset) {
    if (m_unplugged || fd != m_owner || offset % kMapStride != 0) return nullptr;
    const size_t index = static_cast<size_t>(offset / kMapStride);
    if (index >= m_buffers.size() || length != m_buffers[index].storage.size()) return nullptr;
    ++m_buffers[index].mapped;
    ++m_maps;
    return m_buffers[index].storage.data();
}

bool CEmulatedCameraDevice::Munmap(void* addr, std::size_t length) {
    for (Buffer& b : m_buffers) {
        if (b.storage.data() == addr && b.mapped > 0 && length == b.storage.size()) {
            --b.mapped;
            ++m_unmaps;
            return true;
        }
    }
    ++m_badUnmaps;
    return false;
}

short CEmulatedCameraDevice::PollEvents(int fd, Clock::time_point now,
                                        Clock::time_point* due) const {
    if (m_unplugged) return POLLERR | POLLHUP;
    if (fd != m_owner || !m_streaming || m_queue.empty() || Stalled()) return 0;
    if (now >= m_nextDue) return POLLIN | POLLRDNORM;
    *due = m_nextDue;
    return 0;
}

void CEmulatedCameraDevice::Closed(int fd) {
    if (fd != m_owner) return;
    // Closing the owning file stops the stream; mapped storage stays until unmapped.
    m_streaming = false;
    m_queue.clear();
    m_owner = -1;
    if (MappedNow() == 0) m_buffers.clear();
}

void CEmulatedCameraDevice::Unplug() {
    m_unplugged = true;
}

}  // namespace platform::v4l2
