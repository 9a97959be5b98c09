// A small window for the capture tests: takes WM_CAPTURE_FRAME like the capture window does
// (keeps the frame, hands back the one before) and keeps what it saw.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <string>

#include "capture/capture_window.h"
#include "platform/message_delivery.h"
#include "platform/win_app.h"

class CTestCaptureWindow : public ICaptureWindow {
  public:
    CTestCaptureWindow()
        : m_target([this](UINT msg, WPARAM w, LPARAM l) { return Dispatch(msg, w, l); }) {}

    HWND Create() { return m_target.Create(); }
    void Destroy() { m_target.Destroy(); }

    HWND GetCaptureHwnd() const override { return m_target.GetSafeHwnd(); }
    CClipRecorder& Recorder() override { return m_recorder; }
    int FrameTargetId() const override { return IDC_LIVE_PANE; }

    bool StartRecording(const std::string& path) { return m_recorder.Open(path, 25, 640, 480); }
    bool WriterOpen() const { return m_recorder.IsOpen(); }

    std::atomic<int> m_frames{0};
    cv::Mat m_lastFrame;              // UI thread only
    std::function<void()> m_onFrame;  // runs on the UI thread as each frame is handled
    int m_lastTarget = 0;

    std::atomic<int> m_recordFailures{0};
    CClipRecorder m_recorder;

  private:
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM) {
        if (msg == WM_RECORD_FAIL) ++m_recordFailures;
        if (msg != WM_CAPTURE_FRAME) return 0;
        auto* record = reinterpret_cast<FrameMessage*>(wParam);
        // As the live pane does: the previous frame's buffer goes back for the next decode.
        cv::swap(m_lastFrame, record->frame);
        m_lastTarget = record->targetId;
        ++m_frames;
        if (m_onFrame) m_onFrame();
        return 0;
    }

    platform::CMessageTarget m_target;
};

// The run's log goes to a file of the test's own, so the frame lines can be counted.
inline std::string TestLogPath() {
    static QTemporaryDir dir;
    static const std::string path = (dir.path() + QStringLiteral("/capture.log")).toStdString();
    AfxGetApp().m_log.Open(path);
    return path;
}

int CountLogLines(const std::string& path, const std::string& text);
// Frames in a clip file, read back; -1 when it does not open.
int CountClipFrames(const std::string& path);
