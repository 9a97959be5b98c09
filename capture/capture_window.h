// What the frame callback needs of the window that shows and records the frames.
//
// The callback runs on the camera's streaming thread. It reads the window's handle, sends
// WM_CAPTURE_FRAME to it and waits, then, holding WriterMutex() (never across the send):
// writes the frame while the flag is set and the writer open, and closes the writer at the
// first frame after the flag was cleared. The window opens the writer and sets the flag under
// the same lock, so a callback can never close a writer the window has just opened.
#pragma once

#include <atomic>
#include <mutex>
#include <opencv2/videoio.hpp>

#include "capture/frame_message.h"
#include "platform/win_types.h"

class ICaptureWindow {
  public:
    // The window's handle; 0 before it exists and after it was destroyed. Any thread.
    virtual HWND GetCaptureHwnd() const = 0;
    virtual std::atomic<int>& RecordingFlag() = 0;
    virtual cv::VideoWriter& Writer() = 0;
    virtual std::mutex& WriterMutex() = 0;

  protected:
    ~ICaptureWindow() = default;
};
