// A camera that goes away, comes back, or may not be opened: what the engine and discovery do.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "capture/device_discovery.h"
#include "capture/dscapture.h"
#include "emulated/emulated_camera_system.h"
#include "platform/v4l2/v4l2_capture.h"
#include "tests/capture/capture_test_window.h"
#include "tests/support/test_support.h"

using platform::v4l2::CEmulatedCameraSystem;
using platform::v4l2::EmulatedCameraConfig;
using testing_support::WaitUntil;

namespace {

// Takes frames like the capture window and counts WM_DEVICE_LOST with its errno.
class CLossWindow : public ICaptureWindow {
  public:
    CLossWindow()
        : m_target([this](UINT msg, WPARAM w, LPARAM) {
              if (msg == WM_CAPTURE_FRAME) {
                  ++m_frames;
              } else if (msg == WM_DEVICE_LOST) {
                  ++m_lost;
                  m_lostErrno = static_cast<int>(w);
              }
              return LRESULT{0};
          }) {
        m_target.Create();
    }
    HWND GetCaptureHwnd() const override { return m_target.GetSafeHwnd(); }
    void Destroy() { m_target.Destroy(); }
    CClipRecorder& Recorder() override { return m_recorder; }
    int FrameTargetId() const override { return IDC_LIVE_PANE; }

    std::atomic<int> m_frames{0};
    int m_lost = 0;  // UI thread
    int m_lostErrno = 0;

  private:
    CClipRecorder m_recorder;
    platform::CMessageTarget m_target;
};

class DeviceLifecycle : public ::testing::Test {
  protected:
    void SetUp() override {
        TestLogPath();
        DsCapture::SetSettleDelayForTesting(0);
    }
    void TearDown() override {
        DsCapture::SetSettleDelayForTesting(500);
        EXPECT_EQ(FrameMessage::LiveCount(), 0);
    }
    using Engine = std::unique_ptr<DsCapture, DsCaptureCloser>;
    static Engine Open(ICaptureWindow* window, HRESULT* hr = nullptr) {
        const auto list = dscap_enum_device();
        if (list.empty()) return nullptr;
        Engine c(dscap_open_device(window, list[0]));
        HRESULT result = c ? c->OpenSource() : E_FAIL;
        if (SUCCEEDED(result)) result = c->BuildGraph();
        if (SUCCEEDED(result) && !c->Run()) result = E_FAIL;
        if (hr) *hr = result;
        return c;
    }
};

}  // namespace

TEST_F(DeviceLifecycle, UnplugPostsOneLossWithEnodevToTheWindow) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CLossWindow window;
    Engine capture = Open(&window);
    ASSERT_TRUE(capture && capture->IsRunning());
    ASSERT_TRUE(WaitUntil([&] { return window.m_frames.load() >= 3; }));
    cameras->Unplug(0);
    ASSERT_TRUE(WaitUntil([&] { return window.m_lost > 0; }));
    testing_support::Pump(100);
    EXPECT_EQ(window.m_lost, 1);
    EXPECT_EQ(window.m_lostErrno, ENODEV);
    capture.reset();  // the thread has ended: closing does not wait on anything
    EXPECT_EQ(cameras->OpenFiles(), 0);
}

TEST_F(DeviceLifecycle, TheEndHandlerRunsOnceWhenTheDeviceGoesNotOnStop) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    platform::v4l2::CV4l2Capture capture;
    ASSERT_EQ(capture.Open(cameras->NodeOf(0)), 0);
    std::atomic<int> frames{0}, ends{0}, lastErr{0};
    auto onFrame = [&](const unsigned char*, std::size_t) { ++frames; };
    auto onEnd = [&](int err) {
        lastErr = err;
        ++ends;
    };
    ASSERT_EQ(capture.Start(onFrame, onEnd), 0);
    ASSERT_TRUE(WaitUntil([&] { return frames.load() >= 2; }));
    capture.Stop();
    EXPECT_EQ(ends.load(), 0);

    ASSERT_EQ(capture.Start(onFrame, onEnd), 0);
    ASSERT_TRUE(WaitUntil([&] { return frames.load() >= 4; }));
    cameras->Unplug(0);
    ASSERT_TRUE(WaitUntil([&] { return capture.StreamEnded(); }));
    capture.Stop();
    EXPECT_EQ(ends.load(), 1);
    EXPECT_EQ(lastErr.load(), ENODEV);
}

TEST_F(DeviceLifecycle, UnplugTakesTheNodeAwayAndReplugBringsItBackOnTheSamePort) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    const auto before = dscap_enum_device();
    ASSERT_EQ(before.size(), 1u);
    const std::string node = cameras->NodeOf(0);
    platform::v4l2::CV4l2Capture held;
    ASSERT_EQ(held.Open(node), 0);

    cameras->Unplug(0);
    EXPECT_FALSE(cameras->Plugged(0));
    EXPECT_TRUE(dscap_enum_device().empty());
    EXPECT_TRUE(cameras->NodeOf(0).empty());
    EXPECT_FALSE(std::filesystem::exists(cameras->Root() + "/class/video4linux/video0"));
    platform::v4l2::CV4l2Capture late;
    EXPECT_EQ(late.Open(node), ENOENT);

    cameras->Replug(0);
    EXPECT_TRUE(cameras->Plugged(0));
    const auto after = dscap_enum_device();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].displayName, before[0].displayName);
    EXPECT_EQ(cameras->NodeOf(0), node);
    // The file opened before the unplug stays dead; a new one works.
    platform::v4l2::V4l2Format format;
    EXPECT_FALSE(held.GetFormat(format));
    platform::v4l2::CV4l2Capture fresh;
    ASSERT_EQ(fresh.Open(node), 0);
    EXPECT_TRUE(fresh.GetFormat(format));
}

TEST_F(DeviceLifecycle, ACameraTheUserMayNotOpenIsListedAndFailsWithAccessDenied) {
    EmulatedCameraConfig c = EmulatedCameraConfig::Microscope();
    c.accessDenied = true;  // its metadata node too: it must not become a second entry
    CEmulatedCameraSystem cameras({c, EmulatedCameraConfig::OtherWebcam()});
    const auto list = dscap_enum_device();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].friendlyName, QStringLiteral("USB Camera"));
    CLossWindow window;
    HRESULT hr = S_OK;
    Engine capture = Open(&window, &hr);
    ASSERT_TRUE(capture);
    EXPECT_TRUE(dscap_access_denied(hr));
    EXPECT_EQ(dscap_errno(hr), EACCES);
    EXPECT_FALSE(capture->Source());
    // A camera that opens but will not stream is not "denied".
    EXPECT_FALSE(dscap_access_denied(E_FAIL));
    EXPECT_FALSE(dscap_access_denied(HResultFromErrno(EBUSY)));
    EXPECT_EQ(dscap_errno(E_FAIL), 0);
}

// Samples without Huffman tables, with junk after the picture, or with bytesused the whole
// buffer all come through the camera's own path and every one of them is shown.
TEST_F(DeviceLifecycle, EverySampleOfACameraWithQuirksIsShown) {
    using platform::v4l2::EmulatedSample;
    EmulatedCameraConfig c = EmulatedCameraConfig::Microscope();
    c.samples = {EmulatedSample::Good, EmulatedSample::NoHuffman, EmulatedSample::Oversized,
                 EmulatedSample::TrailingJunk, EmulatedSample::Truncated};
    c.stallAfterFrames = 15;
    CEmulatedCameraSystem cameras({c});
    CLossWindow window;
    Engine capture = Open(&window);
    ASSERT_TRUE(capture && capture->IsRunning());
    // Only the truncated samples (3 of the 15) do not decode.
    EXPECT_TRUE(WaitUntil([&] { return window.m_frames.load() >= 12; }));
    // Every sample taken and dealt with: the streaming thread gave each buffer back.
    EXPECT_TRUE(WaitUntil([&] {
        return cameras.FramesDelivered(0) == 15 && cameras.QueuedNow(0) == cameras.MappedNow(0);
    }));
    EXPECT_EQ(cameras.FramesDelivered(0), 15);
    EXPECT_EQ(window.m_frames.load(), 12);
    window.Destroy();
    EXPECT_TRUE(capture->Stop());
}
