// The camera coming back: the window keeps running while it settles, other cameras are left
// alone, and a camera that comes back forbidden is told once per loss.
#include <gtest/gtest.h>

#include <algorithm>

#include "capture/dscapture.h"
#include "res/resource.h"
#include "tests/workstation/capture_window_fixture.h"

using platform::v4l2::EmulatedCameraConfig;
using workstation_testing::CaptureWindowTest;

namespace {

constexpr DWORD kSettleForever = 24u * 3600u * 1000u;

class ReplugTest : public CaptureWindowTest {
  protected:
    void TearDown() override {
        CaptureWindowTest::TearDown();
        DsCapture::SetSettleDelayForTesting(0);
    }
    bool WaitLost(bool lost) {
        return testing_support::WaitUntil([&] { return (m_dlg->m_bDeviceLost != 0) == lost; },
                                          10000);
    }
    int BoxesSaying(const char* key) const {
        const QString text = Lang(key);
        return static_cast<int>(std::count_if(m_boxes.begin(), m_boxes.end(),
                                              [&](const auto& b) { return b.text == text; }));
    }
    int LogLinesStarting(const char* text) const {
        const QStringList lines = LogLines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const QString& l) {
            return l.startsWith(QLatin1String(text));
        }));
    }
    // The window's camera goes and comes back, and a tick of the watch finds it: the camera
    // then settles, for as long as the test likes (a sleep would hang the test here).
    void UnplugAndReplugIntoTheSettle() {
        Install({EmulatedCameraConfig::Microscope()});
        ASSERT_TRUE(Open());
        ASSERT_TRUE(WaitFrames(2));
        m_cameras->Unplug(0);
        ASSERT_TRUE(WaitLost(true));
        DsCapture::SetSettleDelayForTesting(kSettleForever);
        m_cameras->Replug(0);
        m_dlg->OnDeviceWatch();
        ASSERT_TRUE(m_dlg->m_settleTimer.isActive());
    }
    // Runs watch ticks until a restart has been tried (and has failed) `count` more times.
    bool FailRestarts(int count) {
        const int before = LogLinesStarting("device restart failed");
        for (int tick = 0; tick < 200; ++tick) {
            if (LogLinesStarting("device restart failed") - before >= count) return true;
            m_dlg->OnDeviceWatch();
        }
        return false;
    }
};

}  // namespace

// The settle pause is a timer: the window's thread comes back to its event loop while the
// camera settles, the engine holds its source and grabber meanwhile, and the graph is finished
// and run when the timer fires.
TEST_F(ReplugTest, TheCameraSettlesWhileTheWindowRuns) {
    ASSERT_NO_FATAL_FAILURE(UnplugAndReplugIntoTheSettle());
    ASSERT_TRUE(m_dlg->m_pCapture);
    EXPECT_FALSE(m_dlg->m_pCapture->IsGraphBuilt());
    EXPECT_FALSE(m_dlg->m_pCapture->IsRunning());
    EXPECT_TRUE(m_dlg->m_pCapture->Source());
    EXPECT_EQ(m_dlg->m_bDeviceLost, 1);
    // The window answers meanwhile, and further ticks of the watch leave the settling engine be.
    Click(&m_dlg->m_btnView);
    EXPECT_EQ(m_dlg->m_bDualView, 1);
    Click(&m_dlg->m_btnView);
    const DsCapture* settling = m_dlg->m_pCapture.get();
    m_dlg->OnDeviceWatch();
    EXPECT_EQ(m_dlg->m_pCapture.get(), settling);

    m_dlg->m_settleTimer.start(0);  // the pause is over
    ASSERT_TRUE(WaitLost(false));
    ASSERT_TRUE(WaitFrames(3));
    EXPECT_TRUE(m_dlg->m_pCapture->IsRunning());
    EXPECT_TRUE(LogLines().contains(QStringLiteral("device reconnected: USB Camera")));
    EXPECT_EQ(BoxesSaying("IDS_DEVICE_LOST"), 1);
}

// Closing the window while the camera settles closes the half-built engine and the camera.
TEST_F(ReplugTest, ClosingWhileTheCameraSettlesLeavesNothingOpen) {
    ASSERT_NO_FATAL_FAILURE(UnplugAndReplugIntoTheSettle());
    EXPECT_GT(m_cameras->OpenFiles(), 0);
    Close();
    EXPECT_EQ(m_cameras->OpenFiles(), 0);
}

// Another program's camera is never opened: not at the set-up, not by the watch while the
// microscope is gone, not when it comes back.
TEST_F(ReplugTest, TheWatchNeverOpensAnotherCamera) {
    Install({EmulatedCameraConfig::OtherWebcam(), EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFrames(2));
    EXPECT_GT(m_cameras->OpenAttempts(1), 0);
    m_cameras->Unplug(1);
    ASSERT_TRUE(WaitLost(true));
    for (int tick = 0; tick < 5; ++tick) m_dlg->OnDeviceWatch();  // nothing to find
    EXPECT_TRUE(m_dlg->m_bDeviceLost);
    m_cameras->Replug(1);
    ASSERT_TRUE(WaitLost(false));
    ASSERT_TRUE(WaitFrames(2));
    EXPECT_EQ(m_cameras->OpenAttempts(0), 0);
}

// Access denied when it comes back: the log has every retry, the user hears of it once per
// loss, and the camera is taken once it may be opened.
TEST_F(ReplugTest, ACameraBackWithoutAccessIsToldOncePerLoss) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFrames(2));
    EmulatedCameraConfig denied = EmulatedCameraConfig::Microscope();
    denied.accessDenied = true;

    for (int loss = 1; loss <= 2; ++loss) {
        m_cameras->Unplug(0);
        ASSERT_TRUE(WaitLost(true));
        m_cameras->Replug(0, denied);
        ASSERT_TRUE(FailRestarts(3));
        EXPECT_EQ(BoxesSaying("IDS_DEVICE_DENIED"), loss);
        EXPECT_TRUE(m_dlg->m_bDeviceLost);
        EXPECT_GE(LogLinesStarting("device restart failed: 0x8007000d Permission denied"),
                  3 * loss);

        // The user mends it (the camera plugged in again with access): the watch takes it, its
        // ticks driven here past the wait that follows failed restarts.
        m_cameras->Unplug(0);
        m_cameras->Replug(0, EmulatedCameraConfig::Microscope());
        ASSERT_TRUE(testing_support::WaitUntil(
            [&] {
                if (m_dlg->m_bDeviceLost) m_dlg->OnDeviceWatch();
                return m_dlg->m_bDeviceLost == 0;
            },
            10000));
        ASSERT_TRUE(WaitFrames(2));
    }
    EXPECT_EQ(BoxesSaying("IDS_DEVICE_LOST"), 2);
    EXPECT_EQ(BoxesSaying("IDS_DEVICE_DENIED"), 2);
}

// The set-up with a camera it may not open: the usual line, then why.
TEST_F(ReplugTest, DeniedAtTheSetUpLogsInitFailThenTheReason) {
    EmulatedCameraConfig denied = EmulatedCameraConfig::Microscope();
    denied.accessDenied = true;
    Install({denied});
    ASSERT_TRUE(Open());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_DEVICE_DENIED"));
    const QStringList lines = LogLines();
    const qsizetype fail = lines.indexOf(QStringLiteral("device init fail!"));
    ASSERT_GE(fail, 0) << lines.join('\n').toStdString();
    ASSERT_LT(fail + 1, lines.size());
    EXPECT_EQ(lines[fail + 1], QStringLiteral("device access denied: Permission denied"));
}

// The group advice is true for a build tree only; an installed copy has the package's rule.
TEST_F(ReplugTest, DeniedTextFitsWhereTheProgramRunsFrom) {
    EXPECT_EQ(CVideoCaptureDlgUnderTest::AccessDeniedText(m_folder->Path()),
              Lang("IDS_DEVICE_DENIED"));
    EXPECT_EQ(CVideoCaptureDlgUnderTest::AccessDeniedText(QStringLiteral("/opt/quorvel")),
              Lang("IDS_DEVICE_DENIED_INSTALLED"));
    EXPECT_NE(Lang("IDS_DEVICE_DENIED_INSTALLED"), Lang("IDS_DEVICE_DENIED"));
}
