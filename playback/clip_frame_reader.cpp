#include "playback/clip_frame_reader.h"

#include <QFileInfo>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "platform/system.h"

CClipFrameReader::CClipFrameReader() = default;
CClipFrameReader::~CClipFrameReader() = default;

void CClipFrameReader::Close() {
    m_capture.reset();
    m_path.clear();
    m_fps = 0;
    m_frameCount = 0;
    m_next = -1;
}

bool CClipFrameReader::Open(const QString& path) {
    Close();
    m_path = path;
    // The reader is given the narrow form of the path; a folder is no clip.
    const std::string narrow = platform::ToNarrowPath(path);
    if (narrow.empty() || !QFileInfo(path).isFile()) return false;
    try {
        // FFmpeg's reader only: GStreamer's starts threads of its own and still tries files
        // FFmpeg has already refused.
        auto capture = std::make_unique<cv::VideoCapture>();
        if (!capture->open(narrow, cv::CAP_FFMPEG)) return false;
        const double fps = capture->get(cv::CAP_PROP_FPS);
        const double count = capture->get(cv::CAP_PROP_FRAME_COUNT);
        m_fps = std::isfinite(fps) && fps > 0 ? fps : 0;
        m_frameCount =
            std::isfinite(count) && count > 0 && count < 1e9 ? static_cast<int>(count) : 0;
        m_capture = std::move(capture);
        m_next = 0;
    } catch (const cv::Exception&) {
        return false;
    }
    return true;
}

cv::Mat CClipFrameReader::Read(int index) {
    if (!m_capture || index < 0 || (m_frameCount > 0 && index >= m_frameCount)) return {};
    cv::Mat frame;
    try {
        if (index != m_next) m_capture->set(cv::CAP_PROP_POS_FRAMES, index);
        m_next = -1;  // unknown until the read succeeds
        if (!m_capture->read(frame)) return {};
        m_next = index + 1;
    } catch (const cv::Exception&) {
        return {};
    }
    return ToBgr(frame);
}

cv::Mat CClipFrameReader::ToBgr(const cv::Mat& frame) {
    if (frame.empty() || frame.depth() != CV_8U) return {};
    cv::Mat bgr;
    switch (frame.channels()) {
        case 3:
            return frame;
        case 1:
            cv::cvtColor(frame, bgr, cv::COLOR_GRAY2BGR);
            return bgr;
        case 4:
            cv::cvtColor(frame, bgr, cv::COLOR_BGRA2BGR);
            return bgr;
        default:
            return {};
    }
}
