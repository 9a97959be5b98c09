// One opened V4L2 capture device: format, frame interval and mmap streaming on a thread of its
// own. The thread polls the device and an eventfd, so Stop wakes it at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/v4l2/mapped_buffer.h"
#include "platform/v4l2/unique_fd.h"

namespace platform::v4l2 {

// The control by which a camera says it can take still pictures: its maximum is the number of
// still formats it offers. Cameras without it have no still path.
constexpr uint32_t kStillCaptureControl = 0x009a0900 + 0x7f0;  // camera class, private range

struct V4l2Format {
    uint32_t fourcc = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t sizeImage = 0;
};

struct V4l2Interval {
    uint32_t numerator = 0;  // seconds per frame = numerator / denominator
    uint32_t denominator = 0;
};

class CV4l2Capture {
  public:
    // Runs on the streaming thread with each filled buffer's bytesused bytes.
    using FrameHandler = std::function<void(const unsigned char* data, std::size_t size)>;
    // Runs on the streaming thread, last and once, when the stream ends by itself (the device
    // went away or failed) rather than by Stop; with the errno of the failing call.
    using EndHandler = std::function<void(int err)>;

    CV4l2Capture() = default;
    ~CV4l2Capture();
    CV4l2Capture(const CV4l2Capture&) = delete;
    CV4l2Capture& operator=(const CV4l2Capture&) = delete;

    // errno of the failure, 0 on success.
    int Open(const std::string& node);
    bool IsOpen() const { return m_fd.Valid(); }

    bool GetFormat(V4l2Format& format) const;
    // Asks for the format and reads back what the driver chose into *chosen.
    bool SetFormat(const V4l2Format& wanted, V4l2Format* chosen);
    std::vector<V4l2Format> EnumerateFormats() const;
    // Whether the driver takes a frame interval at all.
    bool SupportsFrameInterval() const;
    bool GetFrameInterval(V4l2Interval& interval) const;
    bool SetFrameInterval(const V4l2Interval& wanted, V4l2Interval* chosen);
    // A user control's range; false when the device has no such control.
    bool QueryControl(uint32_t id, int32_t* maximum) const;

    // Maps the buffers, starts the stream and the thread. errno of the failure, 0 on success;
    // a failed start leaves nothing mapped.
    int Start(FrameHandler handler, EndHandler ended = {});
    // Wakes and joins the thread, stops the stream, unmaps and frees the buffers. Safe to call
    // when not started and after the device went away.
    void Stop();
    bool IsStreaming() const { return m_thread.joinable(); }
    // True once the stream ended by itself (the device was unplugged or failed).
    bool StreamEnded() const { return m_ended.load(std::memory_order_acquire); }

    static constexpr unsigned kBufferCount = 4;

  private:
    void StreamLoop();
    int Xioctl(unsigned long request, void* arg) const;
    void ReleaseBuffers();

    CUniqueFd m_fd;
    CUniqueFd m_wake;
    std::vector<CMappedBuffer> m_buffers;
    FrameHandler m_handler;
    EndHandler m_endHandler;
    std::thread m_thread;
    std::atomic<bool> m_ended{false};
};

}  // namespace platform::v4l2
