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

    // The stamped BGR frame. Its pixels are shared with the sender, which reads them while the
    // receiver may: nobody writes them. A receiver keeps them only by swapping this with a
    // frame of its own that nobody else refers to (or an empty one); the sender decodes its
    // next frame into what it gets back.
    cv::Mat frame;
    std::int32_t targetId = 0;  // the control to draw into, as the window names it

    // Records alive in the process, so tests can see that none was lost.
    static int LiveCount();
};
