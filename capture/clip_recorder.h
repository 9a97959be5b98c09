// Records one clip at a time: each stamped frame goes into a motion-JPEG AVI as the camera's own
// JPEG with only the stamp's blocks coded again, or, when there is no such JPEG or it cannot be
// taken that way, as the stamped BGR picture encoded anew. The AVI is OpenDML past 1 GB, so clips
// beyond 2 GB stay whole. Every write error is seen:
// the file is then closed, so what was written stays decodable, and the recording stops.
//
// Threads: the window's thread opens and stops; the camera thread writes and, at its first frame
// after a stop, closes. Everything goes through one lock, so a frame between an open and the
// setting of the flag can never close the new file, and the two threads never use the muxer at
// the same moment. Nothing here waits for the other thread beyond that lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <opencv2/core.hpp>
#include <optional>
#include <string>

class CAviMjpegWriter;
class CJpegCodec;
class CJpegStamper;

class CClipRecorder {
  public:
    enum class WriteResult {
        Idle,     // not recording and nothing to close
        Written,  // the frame went into the clip
        Skipped,  // recording, but the frame is not of the clip's size or not BGR: not written
        Closed,   // first frame after a stop: the clip was closed whole
        Failed,   // a write or the close failed: the file is closed, the recording stopped
    };

    CClipRecorder();
    ~CClipRecorder();
    CClipRecorder(const CClipRecorder&) = delete;
    CClipRecorder& operator=(const CClipRecorder&) = delete;

    // Window's thread: closes a clip still open, creates the file and sets the recording flag.
    // False, with nothing changed but the earlier clip closed, when the file cannot be made.
    // Frames of any other size than width x height are not written.
    bool Open(const std::string& path, int fps, int width, int height);
    // Window's thread: clears the flag. The camera thread closes the clip at its next frame.
    // The frames the clip holds: a frame being written meanwhile is waited for, and no frame
    // goes in after the call, so the count is final.
    long long Stop();
    // Camera thread: one stamped frame.
    WriteResult WriteOrClose(const cv::Mat& frame);
    // Camera thread: one stamped frame with the camera's JPEG it was decoded from and the box
    // the stamp was drawn in. A JPEG that cannot be taken as it is (the log hears of the first
    // in each clip) falls back to encoding frame.
    WriteResult WriteOrClose(const cv::Mat& frame, const std::uint8_t* jpeg, std::size_t size,
                             cv::Rect stamp);
    // Camera thread, while recording: decodes the camera's JPEG into bgr (of the clip's size)
    // and keeps its coefficients for the WriteOrClose of the same bytes, so that the frame is
    // entropy-decoded once. False when not recording or the frame cannot be taken that way: the
    // caller decodes it as usual.
    bool DecodeForClip(const std::uint8_t* jpeg, std::size_t size, cv::Mat& bgr);
    // Any thread: closes a clip that is still open after a stop (save, teardown, camera lost).
    // True when nothing was open or the close succeeded.
    bool Finish();

    bool IsRecording() const { return m_recording.load(std::memory_order_acquire); }
    bool IsOpen() const;
    // Frames in the current clip, or in the last one once it is closed.
    long long FramesWritten() const;
    // The rate the camera really delivered the clip's frames at (the file always says its
    // nominal rate): frame intervals over the time from the first frame to the last; none
    // below two frames.
    std::optional<double> RealFrameRate() const;
    // What the last failure was, with errno's text: for the log.
    std::string LastError() const;

    // JPEG quality of the encoder (1..100).
    static constexpr int kQuality = 90;

  private:
    // Closes the clip; false (and m_lastError set) when that failed.
    bool CloseLocked();

    mutable std::mutex m_mutex;
    std::atomic<bool> m_recording{false};
    std::unique_ptr<CAviMjpegWriter> m_writer;  // guarded by m_mutex
    std::unique_ptr<CJpegCodec> m_codec;        // guarded by m_mutex
    std::unique_ptr<CJpegStamper> m_stamper;    // guarded by m_mutex
    bool m_fallbackTold = false;                // guarded by m_mutex
    long long m_frames = 0;                     // guarded by m_mutex
    std::string m_lastError;                    // guarded by m_mutex
    // When the clip's first and last frames were written; guarded by m_mutex.
    std::chrono::steady_clock::time_point m_firstFrame, m_lastFrame;
    int m_width = 0;
    int m_height = 0;
};
