#include "capture/frame_message.h"

#include <atomic>

namespace {
std::atomic<int> g_live{0};
}

FrameMessage::FrameMessage() {
    ++g_live;
}

FrameMessage::~FrameMessage() {
    --g_live;
}

int FrameMessage::LiveCount() {
    return g_live.load();
}
