// What the frame callback needs of the window that shows and records the frames.
//
// The callback runs on the camera's streaming thread. It reads the window's handle, sends
// WM_CAPTURE_FRAME to it and waits, then hands the stamped frame to the window's recorder, which
// keeps its own locking rules. Anything else the camera thread has to tell the window goes as a
// posted message, handled later on the window's thread.
#pragma once

#include "capture/clip_recorder.h"
#include "capture/frame_message.h"
#include "platform/win_types.h"
#include "res/resource.h"

// The messages it sends and posts (WM_CAPTURE_FRAME, WM_RECORD_FAIL, WM_DEVICE_LOST) are
// described in the resource header.

class ICaptureWindow {
  public:
    // The window's handle; 0 before it exists and after it was destroyed. Any thread.
    virtual HWND GetCaptureHwnd() const = 0;
    virtual CClipRecorder& Recorder() = 0;
    // The control that shows the frames (FrameMessage::targetId). Any thread.
    virtual int FrameTargetId() const = 0;

  protected:
    ~ICaptureWindow() = default;
};
