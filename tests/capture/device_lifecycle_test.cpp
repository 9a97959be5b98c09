// A camera that goes away, comes back, or may not be opened: what the engine and discovery do.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "capture/device_discovery.h"
#include "capture/dscapture.h"
#include "platform/v4l2/emulated_camera_system.h"
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
                  auto* record = reinterpret_cast<FrameMessage*>(w);
                  delete record->frame;
                  delete record;
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
    CClipRecorder& Recorder() override { return m_recorder; }

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

TEST_F(DeviceLifecycle, UnplugPostsOneLossWithEnodevAndStopDoesNot) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CLossWindow window;
    Engine capture = Open(&window);
    ASSERT_TRUE(capture && capture->m_running);
    ASSERT_TRUE(WaitUntil([&] { return window.m_frames.load() >= 3; }));
    cameras->Unplug(0);
    ASSERT_TRUE(WaitUntil([&] { return window.m_lost > 0; }));
    testing_support::Pump(100);
    EXPECT_EQ(window.m_lost, 1);
    EXPECT_EQ(window.m_lostErrno, ENODEV);
    capture.reset();  // the thread has ended: closing does not wait on anything
    EXPECT_EQ(cameras->OpenFiles(), 0);

    // A stop by the engine is no loss.
    cameras->Replug(0);
    CLossWindow other;
    Engine again = Open(&other);
    ASSERT_TRUE(again && again->m_running);
    ASSERT_TRUE(WaitUntil([&] { return other.m_frames.load() >= 2; }));
    ASSERT_TRUE(again->Stop());
    testing_support::Pump(100);
    EXPECT_EQ(other.m_lost, 0);
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
    EXPECT_FALSE(capture->m_source);
    // A camera that opens but will not stream is not "denied".
    EXPECT_FALSE(dscap_access_denied(E_FAIL));
    EXPECT_FALSE(dscap_access_denied(HResultFromErrno(EBUSY)));
    EXPECT_EQ(dscap_errno(E_FAIL), 0);
}
