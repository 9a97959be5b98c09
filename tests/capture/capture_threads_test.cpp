#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <thread>

#include "capture/device_discovery.h"
#include "capture/dscapture.h"
#include "emulated/emulated_camera_system.h"
#include "emulated/emulated_frame_source.h"
#include "platform/graph/v4l2_source_filter.h"
#include "tests/capture/capture_test_window.h"
#include "tests/support/test_support.h"

using platform::v4l2::CEmulatedCameraSystem;
using platform::v4l2::EmulatedCameraConfig;
using testing_support::WaitUntil;

namespace {

class CaptureThreads : public ::testing::Test {
  protected:
    void SetUp() override {
        TestLogPath();
        DsCapture::SetSettleDelayForTesting(0);
    }
    void TearDown() override {
        DsCapture::SetSettleDelayForTesting(500);
        EXPECT_EQ(FrameMessage::LiveCount(), 0);
    }
    std::unique_ptr<DsCapture, DsCaptureCloser> Started(ICaptureWindow* window) {
        const auto list = dscap_enum_device();
        if (list.empty()) return nullptr;
        std::unique_ptr<DsCapture, DsCaptureCloser> c(dscap_open_device(window, list[0]));
        if (!c || FAILED(c->OpenSource()) || FAILED(c->BuildGraph()) || !c->Run()) return nullptr;
        return c;
    }
};

}  // namespace

TEST_F(CaptureThreads, WindowDestroyedWhileTheSenderWaitsFreesTheRecord) {
    CTestCaptureWindow window;
    window.Create();
    SampleGrabberCBImpl callback(&window);
    std::vector<BYTE> bytes = platform::v4l2::CEmulatedFrameSource::Sample(
        platform::v4l2::EmulatedSample::Good, 0, 640, 480);
    std::atomic<bool> done{false};
    std::thread camera([&] {
        callback.BufferCB(0.0, bytes.data(), static_cast<long>(bytes.size()));
        done = true;
    });
    // Not pumping: the record is made and the sender waits.
    QElapsedTimer timer;
    timer.start();
    while (FrameMessage::LiveCount() == 0 && timer.elapsed() < testing_support::kPatienceMs)
        std::this_thread::yield();
    ASSERT_EQ(FrameMessage::LiveCount(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(done.load());
    window.Destroy();
    camera.join();
    EXPECT_EQ(window.m_frames.load(), 0);
    EXPECT_EQ(FrameMessage::LiveCount(), 0);
}

TEST_F(CaptureThreads, CloseAfterTheWindowWentAwayDoesNotDeadlock) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CTestCaptureWindow window;
    window.Create();
    auto capture = Started(&window);
    ASSERT_TRUE(capture);
    ASSERT_TRUE(WaitUntil([&] { return window.m_frames.load() >= 2; }));
    // Stop pumping until the streaming thread waits in its send with a record.
    QElapsedTimer timer;
    timer.start();
    while (FrameMessage::LiveCount() == 0 && timer.elapsed() < testing_support::kPatienceMs)
        std::this_thread::yield();
    ASSERT_EQ(FrameMessage::LiveCount(), 1);
    window.Destroy();
    capture.reset();  // Close: joins the streaming thread
    EXPECT_EQ(FrameMessage::LiveCount(), 0);
    EXPECT_FALSE(cameras->Streaming(0));
    EXPECT_EQ(cameras->MappedNow(0), 0);
    EXPECT_EQ(cameras->OpenFiles(), 0);
}

TEST_F(CaptureThreads, StopWhileFramesFlowTwoHundredTimes) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CTestCaptureWindow window;
    window.Create();
    auto capture = Started(&window);
    ASSERT_TRUE(capture);
    // Not pumping: a frame may already wait in its send, so the handle goes first here too.
    window.Destroy();
    ASSERT_TRUE(capture->Stop());
    for (int i = 0; i < 200; ++i) {
        window.Create();
        const int before = window.m_frames.load();
        ASSERT_TRUE(capture->Run()) << "round " << i;
        ASSERT_TRUE(WaitUntil([&] { return window.m_frames.load() > before; })) << "round " << i;
        window.Destroy();  // the handle goes first, then the stop
        ASSERT_TRUE(capture->Stop()) << "round " << i;
        ASSERT_EQ(FrameMessage::LiveCount(), 0) << "round " << i;
    }
    EXPECT_EQ(cameras->MappedNow(0), 0);
    EXPECT_EQ(cameras->BadUnmaps(0), 0);
    capture.reset();
}

TEST_F(CaptureThreads, UnplugMidStreamEndsQuietly) {
    EmulatedCameraConfig c = EmulatedCameraConfig::Microscope();
    c.unplugAfterFrames = 8;
    CEmulatedCameraSystem cameras({c});
    CTestCaptureWindow window;
    window.Create();
    auto capture = Started(&window);
    ASSERT_TRUE(capture);
    auto* source = dynamic_cast<CV4l2SourceFilter*>(capture->Source());
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return source->StreamEnded(); }));
    testing_support::Pump(30);
    EXPECT_EQ(window.m_frames.load(), 8);
    window.Destroy();
    EXPECT_TRUE(capture->Stop());
    capture.reset();
    EXPECT_EQ(cameras.Maps(0), 4);
    EXPECT_EQ(cameras.Unmaps(0), 4);
    EXPECT_EQ(cameras.BadUnmaps(0), 0);
    EXPECT_EQ(cameras.OpenFiles(), 0);
}
