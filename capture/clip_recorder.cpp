#include "capture/clip_recorder.h"

#include "capture/avi_mjpeg_writer.h"
#include "capture/jpeg_codec.h"
#include "capture/jpeg_stamper.h"
#include "platform/win_app.h"

CClipRecorder::CClipRecorder()
    : m_codec(std::make_unique<CJpegCodec>()), m_stamper(std::make_unique<CJpegStamper>()) {}

CClipRecorder::~CClipRecorder() {
    std::lock_guard lock(m_mutex);
    m_recording.store(false, std::memory_order_release);
    CloseLocked();
}

bool CClipRecorder::Open(const std::string& path, int fps, int width, int height) {
    std::lock_guard lock(m_mutex);
    m_recording.store(false, std::memory_order_release);
    CloseLocked();
    auto writer = std::make_unique<CAviMjpegWriter>();
    if (!writer->Open(path, fps, width, height)) {
        m_lastError = writer->LastError();
        return false;
    }
    m_writer = std::move(writer);
    m_frames = 0;
    m_firstFrame = m_lastFrame = {};
    m_fallbackTold = false;
    m_width = width;
    m_height = height;
    m_recording.store(true, std::memory_order_release);
    return true;
}

long long CClipRecorder::Stop() {
    std::lock_guard lock(m_mutex);
    m_recording.store(false, std::memory_order_release);
    return m_frames;
}

CClipRecorder::WriteResult CClipRecorder::WriteOrClose(const cv::Mat& frame) {
    return WriteOrClose(frame, nullptr, 0, cv::Rect());
}

CClipRecorder::WriteResult CClipRecorder::WriteOrClose(const cv::Mat& frame,
                                                       const std::uint8_t* camera,
                                                       std::size_t cameraSize, cv::Rect stamp) {
    std::lock_guard lock(m_mutex);
    if (m_recording.load(std::memory_order_acquire) && m_writer) {
        if (frame.cols != m_width || frame.rows != m_height || frame.type() != CV_8UC3)
            return WriteResult::Skipped;
        const std::uint8_t* jpeg = nullptr;
        std::size_t size = 0;
        bool coded = false;
        if (camera) {
            coded = m_stamper->Stamp(camera, cameraSize, frame, stamp, &jpeg, &size);
            if (!coded && !m_fallbackTold) {
                m_fallbackTold = true;
                AfxGetApp().m_log.WriteLog(
                    "clip: a camera frame is not kept as coded (%s); such frames are encoded "
                    "again\n",
                    m_stamper->LastError().c_str());
            }
        }
        if (!coded && !m_codec->Encode(frame, kQuality, &jpeg, &size)) return WriteResult::Skipped;
        if (!m_writer->WritePacket(jpeg, size)) {
            // What was written stays decodable: close at once and stop recording.
            m_recording.store(false, std::memory_order_release);
            m_lastError = m_writer->LastError();
            m_writer->Close();
            m_writer.reset();
            return WriteResult::Failed;
        }
        const auto now = std::chrono::steady_clock::now();
        if (m_frames == 0) m_firstFrame = now;
        m_lastFrame = now;
        ++m_frames;
        return WriteResult::Written;
    }
    if (!m_recording.load(std::memory_order_acquire) && m_writer)
        return CloseLocked() ? WriteResult::Closed : WriteResult::Failed;
    return WriteResult::Idle;
}

bool CClipRecorder::DecodeForClip(const std::uint8_t* jpeg, std::size_t size, cv::Mat& bgr) {
    std::lock_guard lock(m_mutex);
    if (!m_recording.load(std::memory_order_acquire) || !m_writer) return false;
    return m_stamper->DecodeKeeping(jpeg, size, cv::Size(m_width, m_height), bgr);
}

bool CClipRecorder::Finish() {
    std::lock_guard lock(m_mutex);
    if (m_recording.load(std::memory_order_acquire)) return true;
    return CloseLocked();
}

bool CClipRecorder::CloseLocked() {
    if (!m_writer) return true;
    const bool ok = m_writer->Close();
    if (!ok) m_lastError = m_writer->LastError();
    m_writer.reset();
    return ok;
}

bool CClipRecorder::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_writer != nullptr;
}

long long CClipRecorder::FramesWritten() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

std::optional<double> CClipRecorder::RealFrameRate() const {
    std::lock_guard lock(m_mutex);
    const double seconds = std::chrono::duration<double>(m_lastFrame - m_firstFrame).count();
    if (m_frames < 2 || seconds <= 0) return std::nullopt;
    return static_cast<double>(m_frames - 1) / seconds;
}

std::string CClipRecorder::LastError() const {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}
