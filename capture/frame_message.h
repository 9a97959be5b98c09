// One camera frame on its way to the capture window with WM_CAPTURE_FRAME.
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>

#include "platform/win_types.h"

// wParam: a FrameMessage*, lParam: 0. The receiver owns the record and its frame and frees
// both (delete record->frame; delete record), also when it does not draw.
constexpr UINT WM_CAPTURE_FRAME = WM_USER + 10;

struct FrameMessage {
    FrameMessage();
    ~FrameMessage();
    FrameMessage(const FrameMessage&) = delete;
    FrameMessage& operator=(const FrameMessage&) = delete;

    cv::Mat* frame = nullptr;   // a stamped BGR copy, heap-allocated
    std::int32_t targetId = 0;  // the control to draw into: 1006, the live pane

    // Records alive in the process, so tests can see that none was lost.
    static int LiveCount();
};
