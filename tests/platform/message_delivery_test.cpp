#include "platform/message_delivery.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "tests/support/test_support.h"

using platform::CMessageTarget;
using platform::SendMessageW;
using testing_support::WaitUntil;

namespace {
constexpr UINT kMsg = WM_USER + 10;
}

TEST(MessageDelivery, SameThreadRunsHandlerAtOnce) {
    int seen = 0;
    CMessageTarget target([&](UINT msg, WPARAM w, LPARAM) {
        seen = static_cast<int>(w);
        return static_cast<LRESULT>(msg + 1);
    });
    const HWND hwnd = target.Create();
    LRESULT r = 0;
    EXPECT_TRUE(SendMessageW(hwnd, kMsg, 7, 0, &r));
    EXPECT_EQ(seen, 7);
    EXPECT_EQ(r, static_cast<LRESULT>(kMsg + 1));
}

TEST(MessageDelivery, NoWindowOrDestroyedWindowFailsAtOnce) {
    EXPECT_FALSE(SendMessageW(0, kMsg, 0, 0));
    int calls = 0;
    CMessageTarget target([&](UINT, WPARAM, LPARAM) { return ++calls; });
    EXPECT_EQ(target.GetSafeHwnd(), 0u);
    const HWND hwnd = target.Create();
    EXPECT_NE(hwnd, 0u);
    EXPECT_EQ(target.Create(), hwnd);  // a second Create keeps the handle
    EXPECT_TRUE(platform::IsWindow(hwnd));
    target.Destroy();
    EXPECT_FALSE(platform::IsWindow(hwnd));
    EXPECT_EQ(target.GetSafeHwnd(), 0u);

    // From another thread too: no wait, no handler.
    auto f = std::async(std::launch::async, [&] { return SendMessageW(hwnd, kMsg, 0, 0); });
    // Nothing pumps here: a send that waited for a handler would never be ready.
    ASSERT_EQ(f.wait_for(std::chrono::milliseconds(testing_support::kPatienceMs)),
              std::future_status::ready);
    EXPECT_FALSE(f.get());
    EXPECT_EQ(calls, 0);

    // A new handle never reuses the old one.
    EXPECT_NE(target.Create(), hwnd);
}

TEST(MessageDelivery, OtherThreadWaitsUntilHandledOnTargetThread) {
    const std::thread::id uiThread = std::this_thread::get_id();
    std::atomic<bool> ranOnUi{false};
    std::atomic<int> handled{0};
    CMessageTarget target([&](UINT, WPARAM w, LPARAM l) {
        ranOnUi = std::this_thread::get_id() == uiThread;
        ++handled;
        return static_cast<LRESULT>(w + l);
    });
    const HWND hwnd = target.Create();

    std::atomic<bool> returned{false};
    LRESULT result = 0;
    bool ok = false;
    std::thread sender([&] {
        ok = SendMessageW(hwnd, kMsg, 40, 2, &result);
        returned = true;
    });
    // The sender stays blocked while the UI thread does not pump.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(handled.load(), 0);
    ASSERT_TRUE(WaitUntil([&] { return returned.load(); }));
    sender.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(result, 42);
    EXPECT_TRUE(ranOnUi.load());
    EXPECT_EQ(handled.load(), 1);
}

TEST(MessageDelivery, DestroyWakesWaitingSenderAndDropsQueuedMessage) {
    std::atomic<int> handled{0};
    auto target = std::make_unique<CMessageTarget>([&](UINT, WPARAM, LPARAM) { return ++handled; });
    const HWND hwnd = target->Create();

    std::promise<bool> outcome;
    auto future = outcome.get_future();
    std::thread sender([&] { outcome.set_value(SendMessageW(hwnd, kMsg, 0, 0)); });
    // Let the message get queued, without pumping the UI thread.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    target->Destroy();
    ASSERT_EQ(future.wait_for(std::chrono::milliseconds(testing_support::kPatienceMs)),
              std::future_status::ready);
    EXPECT_FALSE(future.get());
    sender.join();
    // The queued message is never handled later, even when events are pumped.
    testing_support::Pump(100);
    EXPECT_EQ(handled.load(), 0);
    target.reset();
    testing_support::Pump(20);
}

TEST(MessageDelivery, DestroyWhileManySendersWaitNeverDeadlocks) {
    // Serve twenty, then destroy while the rest wait: every sender must come back. The twentieth
    // handler takes the window away itself, so that however fast the machine, no pumping can
    // serve all the others first.
    std::atomic<int> handled{0};
    std::unique_ptr<CMessageTarget> target;
    target = std::make_unique<CMessageTarget>([&](UINT, WPARAM, LPARAM) {
        if (++handled == 20) target->Destroy();
        return 0;
    });
    const HWND hwnd = target->Create();
    std::atomic<int> failures{0};
    std::atomic<int> successes{0};
    std::vector<std::thread> senders;
    for (int i = 0; i < 4; ++i) {
        senders.emplace_back([&] {
            for (int k = 0; k < 50; ++k) {
                if (SendMessageW(hwnd, kMsg, 0, 0))
                    ++successes;
                else
                    ++failures;
            }
        });
    }
    ASSERT_TRUE(WaitUntil([&] { return handled.load() >= 20; }));
    for (auto& t : senders) t.join();
    testing_support::Pump(20);
    EXPECT_EQ(handled.load(), 20);  // nothing queued was handled after the window went
    EXPECT_EQ(successes.load(), 20);
    EXPECT_EQ(failures.load(), 180);
}

TEST(MessageDelivery, HandlerMayDestroyItsOwnTarget) {
    std::unique_ptr<CMessageTarget> target;
    int handled = 0;
    target = std::make_unique<CMessageTarget>([&](UINT, WPARAM, LPARAM) {
        ++handled;
        target->Destroy();
        return 0;
    });
    const HWND hwnd = target->Create();
    bool ok = false;
    std::thread sender([&] { ok = SendMessageW(hwnd, kMsg, 0, 0); });
    ASSERT_TRUE(WaitUntil([&] { return handled == 1; }));
    sender.join();
    EXPECT_TRUE(ok);  // it was handled before the window went
    EXPECT_FALSE(SendMessageW(hwnd, kMsg, 0, 0));
    testing_support::Pump(20);
}
