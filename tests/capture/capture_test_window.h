// A small window for the capture tests: takes WM_CAPTURE_FRAME like the capture window does
// (frees the record and its frame) and keeps what it saw.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <atomic>
#include <memory>
#include <mutex>
#include <opencv2/core.hpp>
#include <string>

#include "app/quorvel_app.h"
#include "capture/capture_window.h"
#include "platform/message_delivery.h"

class CTestCaptureWindow : public ICaptureWindow {
  public:
    CTestCaptureWindow()
        : m_target([this](UINT msg, WPARAM w, LPARAM l) { return Dispatch(msg, w, l); }) {}

    HWND Create() { return m_target.Create(); }
    void Destroy() { m_target.Destroy(); }

    HWND GetCaptureHwnd() const override { return m_target.GetSafeHwnd(); }
    std::atomic<int>& RecordingFlag() override { return m_bRecording; }
    cv::VideoWriter& Writer() override { return m_writer; }
    std::mutex& WriterMutex() override { return m_writerMutex; }

    // Opens the clip and sets the flag under the writer lock, as the capture window does.
    bool StartRecording(const std::string& path) {
        std::lock_guard lock(m_writerMutex);
        const bool ok = m_writer.open(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0,
                                      cv::Size(640, 480), true);
        if (ok) m_bRecording.store(1);
        return ok;
    }
    bool WriterOpen() {
        std::lock_guard lock(m_writerMutex);
        return m_writer.isOpened();
    }

    std::atomic<int> m_frames{0};
    cv::Mat m_lastFrame;  // UI thread only
    int m_lastTarget = 0;

    std::atomic<int> m_bRecording{0};
    cv::VideoWriter m_writer;
    std::mutex m_writerMutex;

  private:
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM) {
        if (msg != WM_CAPTURE_FRAME) return 0;
        std::unique_ptr<FrameMessage> record(reinterpret_cast<FrameMessage*>(wParam));
        std::unique_ptr<cv::Mat> frame(record->frame);
        m_lastFrame = *frame;
        m_lastTarget = record->targetId;
        ++m_frames;
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
