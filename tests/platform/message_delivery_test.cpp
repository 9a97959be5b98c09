#include "platform/message_delivery.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/support/test_support.h"

using platform::CMessageTarget;
using platform::SendMessageW;

TEST(MessageDelivery, SameThreadRunsHandlerAtOnce) {
    int seen = 0;
    CMessageTarget target([&](UINT msg, WPARAM w, LPARAM) {
        seen = static_cast<int>(w);
        return static_cast<LRESULT>(msg + 1);
    });
    const HWND hwnd = target.Create();
    LRESULT r = 0;
    EXPECT_TRUE(SendMessageW(hwnd, WM_USER + 10, 7, 0, &r));
    EXPECT_EQ(seen, 7);
    EXPECT_EQ(r, static_cast<LRESULT>(WM_USER + 11));
}
