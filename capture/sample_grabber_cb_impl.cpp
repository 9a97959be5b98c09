#include "capture/sample_grabber_cb_impl.h"

#include <cstdio>
#include <memory>
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

cv::Mat SampleGrabberCBImpl::DecodeSample(const BYTE* buffer, long length, std::string* why) {
    const long start = JpegSampleStart(buffer, length);
    const long jpegLength = start < 0 ? 0 : JpegSampleLength(buffer + start, length - start);
    if (jpegLength <= 0) {
        if (why) *why = start < 0 ? "no JPEG start marker" : "no JPEG end marker";
        return {};
    }
    const cv::Size clip(kClipWidth, kClipHeight);
    cv::Mat image;
    if (!m_codec.Decode(buffer + start, static_cast<std::size_t>(jpegLength), image, clip)) {
        if (why) *why = m_codec.LastError();
        return {};
    }
    // The camera's own size passes untouched; any other is stretched as the live picture
    // would show it.
    if (image.size() == clip) return image;
    cv::Mat fitted;
    const bool shrink = image.cols >= clip.width && image.rows >= clip.height;
    cv::resize(image, fitted, clip, 0, 0, shrink ? cv::INTER_AREA : cv::INTER_LINEAR);
    return fitted;
}

HRESULT SampleGrabberCBImpl::BufferCB(double, BYTE* buffer, long bufferLength) {
    CLogFile& log = AfxGetApp().m_log;
    log.WriteLog("BufferCB..call \n");

    // A sample that does not decode is dropped: nothing is shown or recorded, and the log
    // hears of it.
    std::string why;
    cv::Mat image = DecodeSample(buffer, bufferLength, &why);
    if (image.empty()) {
        m_undecoded.Failed(why, bufferLength);
        return S_OK;
    }
    m_undecoded.Decoded();

    const HWND hwnd = m_owner ? m_owner->GetCaptureHwnd() : 0;
    if (!hwnd) return S_OK;

    DrawTimeStamp(image, platform::GetLocalTime());
    log.WriteLog("PostMessage..call \n");

    auto record = std::make_unique<FrameMessage>();
    record->frame = new cv::Mat(image.clone());
    record->targetId = m_owner->FrameTargetId();
    FrameMessage* sent = record.release();
    if (!platform::SendMessageW(hwnd, WM_CAPTURE_FRAME, reinterpret_cast<WPARAM>(sent), 0)) {
        // Nobody received it: the window went away between the handle test and the send.
        delete sent->frame;
        delete sent;
    }

    CClipRecorder& recorder = m_owner->Recorder();
    if (recorder.WriteOrClose(image) == CClipRecorder::WriteResult::Failed) {
        // The recorder has closed the clip and stopped; the window tells the user.
        log.WriteLog("clip recording failed: %s\n", recorder.LastError().c_str());
        platform::PostMessageW(m_owner->GetCaptureHwnd(), WM_RECORD_FAIL, 0, 0);
    }
    return S_OK;
}
