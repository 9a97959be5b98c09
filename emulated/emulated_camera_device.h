// The V4L2 state of one emulated camera: format, interval, buffers, pacing, failures.
// CEmulatedCameraSystem calls it with its lock held.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <vector>

#include "emulated/emulated_camera_config.h"
#include "emulated/emulated_camera_controls.h"

namespace platform::v4l2 {

class CEmulatedCameraDevice {
  public:
    using Clock = std::chrono::steady_clock;

    CEmulatedCameraDevice(EmulatedCameraConfig config, int index);

    const EmulatedCameraConfig& Config() const { return m_config; }
    int Index() const { return m_index; }

    // 0 or an errno value. metadata: the call came through the metadata node.
    int Ioctl(int fd, bool metadata, unsigned long request, void* arg);
    void* Mmap(int fd, std::size_t length, off_t offset);
    bool Munmap(void* addr, std::size_t length);
    // POLLIN when a buffer can be dequeued now, POLLERR once unplugged; else 0 and the time the
    // next frame is due in *due.
    short PollEvents(int fd, Clock::time_point now, Clock::time_point* due) const;
    void Closed(int fd);
    void Unplug();
    bool Unplugged() const { return m_unplugged; }

    // The bytes the frame with this sequence number carries.
    std::vector<unsigned char> SampleBytes(int sequence) const;

    int FramesDelivered() const { return m_delivered; }
    int Maps() const { return m_maps; }
    int Unmaps() const { return m_unmaps; }
    int BadUnmaps() const { return m_badUnmaps; }
    int MappedNow() const;
    int QueuedNow() const;
    bool Streaming() const { return m_streaming; }
    double IntervalSeconds() const;
    const CEmulatedCameraControls& Controls() const { return m_controls; }

  private:
    struct Buffer {
        std::vector<unsigned char> storage;
        int mapped = 0;
        bool queued = false;
        uint32_t bytesUsed = 0;
        uint32_t flags = 0;
        uint32_t sequence = 0;
    };

    int CaptureIoctl(int fd, unsigned long request, void* arg);
    EmulatedSample KindOf(int sequence) const;
    Clock::duration Interval() const;
    bool Stalled() const;
    // Room for the largest sample: twice the pixels, or the largest frame played.
    std::size_t BufferBytes() const;

    EmulatedCameraConfig m_config;
    int m_index;
    CEmulatedCameraControls m_controls;
    uint32_t m_width = 640;
    uint32_t m_height = 480;
    uint32_t m_intervalNum = 1;
    uint32_t m_intervalDen = 30;
    std::vector<Buffer> m_buffers;
    std::deque<uint32_t> m_queue;
    int m_owner = -1;  // the open file that holds the buffers
    bool m_streaming = false;
    bool m_unplugged = false;
    Clock::time_point m_nextDue{};
    int m_delivered = 0;
    int m_maps = 0;
    int m_unmaps = 0;
    int m_badUnmaps = 0;
};

}  // namespace platform::v4l2
