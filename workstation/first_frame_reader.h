// Reads the first frame of clips on a thread of its own, so the window's thread never waits for
// a file. Requests are served in order. Each result goes back as a queued call to the thread
// that made the reader, which must run an event loop; the worker touches no widget.
#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <opencv2/core.hpp>
#include <thread>

#include "platform/posted_queue.h"

class CFirstFrameReader {
  public:
    // Runs on the thread that made the reader: the clip's first frame as 8-bit BGR, or empty
    // when it cannot be read.
    using Done = std::function<void(const QString& path, const cv::Mat& frame)>;

    // Frames larger than maxSize are shrunk to fit it (area averaging), which keeps the cache
    // small and every later rescale cheap.
    CFirstFrameReader(cv::Size maxSize, Done done);
    // Waits for a read in progress; results not yet delivered are dropped.
    ~CFirstFrameReader();
    CFirstFrameReader(const CFirstFrameReader&) = delete;
    CFirstFrameReader& operator=(const CFirstFrameReader&) = delete;

    void Request(const QString& path);
    // Drops the requests not started yet.
    void CancelPending();

    // The first frame of the clip at path as 8-bit BGR; empty when the path names no file, has
    // no narrow form, or the clip cannot be opened or has no frame. Any thread.
    static cv::Mat ReadFirstFrame(const QString& path);
    // frame shrunk to fit maxSize, keeping its shape; as it is when it fits.
    static cv::Mat FitWithin(const cv::Mat& frame, cv::Size maxSize);

  private:
    void Run();

    struct Result {
        QString path;
        cv::Mat frame;
    };

    const cv::Size m_maxSize;
    Done m_done;
    platform::CPostedQueue<Result> m_results;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<QString> m_queue;  // guarded by m_mutex
    bool m_stop = false;          // guarded by m_mutex
    std::thread m_thread;
};
