#include "capture/sample_grabber_cb_impl.h"

#include <cstdio>
#include <opencv2/imgproc.hpp>

#include "capture/jpeg_sample.h"
#include "platform/message_delivery.h"
#include "platform/win_app.h"

HRESULT SampleGrabberCBImpl::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
        if (!out) return E_POINTER;
        *out = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT SampleGrabberCBImpl::SampleCB(double, IMediaSample*) {
    return S_OK;
}

std::string SampleGrabberCBImpl::FormatTimeStamp(const platform::SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof(text), "%04d%02d%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
}

void SampleGrabberCBImpl::DrawTimeStamp(cv::Mat& image, const platform::SYSTEMTIME& t) {
    cv::putText(image, FormatTimeStamp(t), cv::Point(10, 30), cv::FONT_HERSHEY_SIMPLEX, 0.6,
                cv::Scalar(0, 0, 0, 0), 1, cv::LINE_8, false);
}

cv::Rect SampleGrabberCBImpl::StampBox() {
    static const cv::Rect box = [] {
        int baseline = 0;
        const cv::Size text =
            cv::getTextSize("00000000 00:00:00", cv::FONT_HERSHEY_SIMPLEX, 0.6, 1, &baseline);
        constexpr int kMargin = 2;
        return cv::Rect(10 - kMargin, 30 - text.height - kMargin, text.width + 2 * kMargin,
                        text.height + baseline + 2 * kMargin);
    }();
    return box;
}

cv::Mat SampleGrabberCBImpl::DecodeSample(const BYTE* buffer, long length, std::string* why) {
    cv::Mat image;
    const BYTE* jpeg = nullptr;
    long jpegLength = 0;
    if (!DecodeInto(buffer, length, image, why, &jpeg, &jpegLength)) return {};
    return image;
}

bool SampleGrabberCBImpl::DecodeInto(const BYTE* buffer, long length, cv::Mat& image,
                                     std::string* why, const BYTE** jpeg, long* jpegLength,
                                     CClipRecorder* recorder) {
    const long start = JpegSampleStart(buffer, length);
    const long size = start < 0 ? 0 : JpegSampleLength(buffer + start, length - start);
    if (size <= 0) {
        if (why) *why = start < 0 ? "no JPEG start marker" : "no JPEG end marker";
        return false;
    }
    const cv::Size clip(kClipWidth, kClipHeight);
    *jpeg = buffer + start;
    *jpegLength = size;
    if (recorder && recorder->DecodeForClip(*jpeg, static_cast<std::size_t>(size), image))
        return true;
    if (!m_codec.Decode(buffer + start, static_cast<std::size_t>(size), m_raw, clip)) {
        if (why) *why = m_codec.LastError();
        return false;
    }
    // The camera's own size passes untouched (the buffers trade places); any other is
    // stretched as the live picture would show it.
    if (m_raw.size() == clip) {
        cv::swap(m_raw, image);
        return true;
    }
    const bool shrink = m_raw.cols >= clip.width && m_raw.rows >= clip.height;
    cv::resize(m_raw, image, clip, 0, 0, shrink ? cv::INTER_AREA : cv::INTER_LINEAR);
    return true;
}

HRESULT SampleGrabberCBImpl::BufferCB(double, BYTE* buffer, long bufferLength) {
    CLogFile& log = AfxGetApp().m_log;
    log.WriteLog("BufferCB..call \n");

    // A sample that does not decode is dropped: nothing is shown or recorded, and the log
    // hears of it.
    std::string why;
    const BYTE* jpeg = nullptr;
    long jpegLength = 0;
    cv::Mat& image = m_image;
    CClipRecorder* recording =
        m_owner && m_owner->Recorder().IsRecording() ? &m_owner->Recorder() : nullptr;
    if (!DecodeInto(buffer, bufferLength, image, &why, &jpeg, &jpegLength, recording)) {
        m_undecoded.Failed(why, bufferLength);
        return S_OK;
    }
    m_undecoded.Decoded();

    const HWND hwnd = m_owner ? m_owner->GetCaptureHwnd() : 0;
    if (!hwnd) return S_OK;

    DrawTimeStamp(image, platform::GetLocalTime());
    log.WriteLog("PostMessage..call \n");

    // The window shares the frame's pixels and gives back a buffer it no longer shows; from here
    // on this thread only reads the frame, as the window does.
    FrameMessage record;
    record.frame = image;
    record.targetId = m_owner->FrameTargetId();
    platform::SendMessageW(hwnd, WM_CAPTURE_FRAME, reinterpret_cast<WPARAM>(&record), 0);

    CClipRecorder& recorder = m_owner->Recorder();
    if (recorder.WriteOrClose(image, jpeg, static_cast<std::size_t>(jpegLength), StampBox()) ==
        CClipRecorder::WriteResult::Failed) {
        // The recorder has closed the clip and stopped; the window tells the user.
        log.WriteLog("clip recording failed: %s\n", recorder.LastError().c_str());
        platform::PostMessageW(m_owner->GetCaptureHwnd(), WM_RECORD_FAIL, 0, 0);
    }
    // The next frame goes into the buffer given back (this one's own when none was).
    image = std::move(record.frame);
    return S_OK;
}
