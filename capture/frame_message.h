// One camera frame on its way to the capture window with WM_CAPTURE_FRAME.
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>

#include "res/resource.h"

struct FrameMessage {
    FrameMessage();
    ~FrameMessage();
    FrameMessage(const FrameMessage&) = delete;
    FrameMessage& operator=(const FrameMessage&) = delete;

    cv::Mat* frame = nullptr;   // a stamped BGR copy, heap-allocated
    std::int32_t targetId = 0;  // the control to draw into, as the window names it

    // Records alive in the process, so tests can see that none was lost.
    static int LiveCount();
};
