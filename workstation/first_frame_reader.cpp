#include "workstation/first_frame_reader.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <opencv2/imgproc.hpp>

#include "playback/clip_frame_reader.h"

CFirstFrameReader::CFirstFrameReader(cv::Size maxSize, Done done)
    : m_maxSize(maxSize),
      m_done(std::move(done)),
      m_results([this](Result&& r) { m_done(r.path, r.frame); }) {
    m_thread = std::thread([this] { Run(); });
}

CFirstFrameReader::~CFirstFrameReader() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    m_thread.join();
    // m_results goes after the worker: whatever it queued is discarded with it.
}

void CFirstFrameReader::Request(const QString& path) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(path);
    }
    m_wake.notify_one();
}

void CFirstFrameReader::CancelPending() {
    std::lock_guard lock(m_mutex);
    m_queue.clear();
}

void CFirstFrameReader::Run() {
    // Below the camera and the window: on a busy machine the thumbnails wait, not the frames.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
    for (;;) {
        QString path;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop) return;
            path = std::move(m_queue.front());
            m_queue.pop_front();
        }
        const cv::Mat frame = FitWithin(ReadFirstFrame(path), m_maxSize);
        m_results.Post({path, frame});
    }
}

cv::Mat CFirstFrameReader::ReadFirstFrame(const QString& path) {
    CClipFrameReader reader;
    return reader.Open(path) ? reader.Read(0) : cv::Mat();
}

cv::Mat CFirstFrameReader::FitWithin(const cv::Mat& frame, cv::Size maxSize) {
    if (frame.empty() || (frame.cols <= maxSize.width && frame.rows <= maxSize.height))
        return frame;
    const double scale = std::min(static_cast<double>(maxSize.width) / frame.cols,
                                  static_cast<double>(maxSize.height) / frame.rows);
    const cv::Size size(std::max(1, static_cast<int>(frame.cols * scale)),
                        std::max(1, static_cast<int>(frame.rows * scale)));
    cv::Mat shrunk;
    cv::resize(frame, shrunk, size, 0, 0, cv::INTER_AREA);
    return shrunk;
}
