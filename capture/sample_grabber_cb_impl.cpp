#include "capture/sample_grabber_cb_impl.h"

#include <cstdio>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/quorvel_app.h"
#include "platform/message_delivery.h"

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

bool SampleGrabberCBImpl::IsWholeJpeg(const BYTE* buffer, long length) {
    if (!buffer || length < 4) return false;
    if (buffer[0] != 0xFF || buffer[1] != 0xD8) return false;
    long end = length;
    while (end > 4 && buffer[end - 1] == 0x00) --end;
    return buffer[end - 2] == 0xFF && buffer[end - 1] == 0xD9;
}

cv::Mat SampleGrabberCBImpl::DecodeSample(BYTE* buffer, long length) {
    if (!IsWholeJpeg(buffer, length)) return {};
    cv::Mat image;
    try {
        image = cv::imdecode(cv::Mat(1, static_cast<int>(length), CV_8UC1, buffer),
                             cv::IMREAD_ANYCOLOR);
    } catch (const cv::Exception&) {
        return {};
    }
    if (image.empty() || image.depth() != CV_8U) return {};
    // The window draws three bytes per pixel: grey and four-channel pictures become BGR.
    if (image.channels() == 1) {
        cv::cvtColor(image, image, cv::COLOR_GRAY2BGR);
    } else if (image.channels() == 4) {
        cv::cvtColor(image, image, cv::COLOR_BGRA2BGR);
    } else if (image.channels() != 3) {
        return {};
    }
    return image;
}

HRESULT SampleGrabberCBImpl::BufferCB(double, BYTE* buffer, long bufferLength) {
    CLogFile& log = AfxGetApp().m_log;
    log.WriteLog("BufferCB..call \n");

    // A sample that is not a whole picture is dropped: nothing is shown or recorded.
    cv::Mat image = DecodeSample(buffer, bufferLength);
    if (image.empty()) return S_OK;

    const HWND hwnd = m_owner ? m_owner->GetCaptureHwnd() : 0;
    if (!hwnd) return S_OK;

    DrawTimeStamp(image, platform::GetLocalTime());
    log.WriteLog("PostMessage..call \n");

    auto record = std::make_unique<FrameMessage>();
    record->frame = new cv::Mat(image.clone());
    record->targetId = kLivePaneId;
    FrameMessage* sent = record.release();
    if (!platform::SendMessageW(hwnd, WM_CAPTURE_FRAME, reinterpret_cast<WPARAM>(sent), 0)) {
        // Nobody received it: the window went away between the handle test and the send.
        delete sent->frame;
        delete sent;
    }

    std::lock_guard lock(m_owner->WriterMutex());
    cv::VideoWriter& writer = m_owner->Writer();
    const std::atomic<int>& recording = m_owner->RecordingFlag();
    // The clip is 640x480 BGR; the writer would drop any other frame without a word.
    if (recording.load() && writer.isOpened() && image.cols == kClipWidth &&
        image.rows == kClipHeight && image.type() == CV_8UC3)
        writer.write(image);
    if (!recording.load() && writer.isOpened()) writer.release();
    return S_OK;
}
