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

cv::Mat SampleGrabberCBImpl::DecodeSample(const BYTE* buffer, long length) {
    const long jpegLength = JpegSampleLength(buffer, length);
    cv::Mat image;
    if (jpegLength <= 0 || !m_codec.Decode(buffer, static_cast<std::size_t>(jpegLength), image))
        return {};
    return image;
}

HRESULT SampleGrabberCBImpl::BufferCB(double, BYTE* buffer, long bufferLength) {
    CLogFile& log = AfxGetApp().m_log;
    log.WriteLog("BufferCB..call \n");

    // A sample that does not decode is dropped: nothing is shown or recorded.
    cv::Mat image = DecodeSample(buffer, bufferLength);
    if (image.empty()) return S_OK;

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
