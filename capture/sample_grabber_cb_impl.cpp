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
    cv::Mat raw, image;
    const BYTE* jpeg = nullptr;
    long jpegLength = 0;
    if (!DecodeInto(buffer, length, raw, image, why, &jpeg, &jpegLength)) return {};
    return image;
}

bool SampleGrabberCBImpl::DecodeInto(const BYTE* buffer, long length, cv::Mat& raw, cv::Mat& image,
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
    if (recorder && recorder->DecodeForClip(*jpeg, static_cast<std::size_t>(size), raw)) {
        image = raw;
        return true;
    }
    if (!m_codec.Decode(buffer + start, static_cast<std::size_t>(size), raw, clip)) {
        if (why) *why = m_codec.LastError();
        return false;
    }
    // The camera's own size passes untouched; any other is stretched as the live picture
    // would show it.
    if (raw.size() == clip) {
        image = raw;
        return true;
    }
    const bool shrink = raw.cols >= clip.width && raw.rows >= clip.height;
    if (image.data == raw.data) image.release();  // not into the decode's own buffer
    cv::resize(raw, image, clip, 0, 0, shrink ? cv::INTER_AREA : cv::INTER_LINEAR);
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
    // Decoded into the same buffers frame after frame; the window gets a copy of its own.
    cv::Mat& image = m_image;
    CClipRecorder* recording =
        m_owner && m_owner->Recorder().IsRecording() ? &m_owner->Recorder() : nullptr;
    if (!DecodeInto(buffer, bufferLength, m_raw, image, &why, &jpeg, &jpegLength, recording)) {
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
    if (recorder.WriteOrClose(image, jpeg, static_cast<std::size_t>(jpegLength), StampBox()) ==
        CClipRecorder::WriteResult::Failed) {
        // The recorder has closed the clip and stopped; the window tells the user.
        log.WriteLog("clip recording failed: %s\n", recorder.LastError().c_str());
        platform::PostMessageW(m_owner->GetCaptureHwnd(), WM_RECORD_FAIL, 0, 0);
    }
    return S_OK;
}
