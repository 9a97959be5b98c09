// The capture window when its camera goes away, comes back, or may not be opened.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <opencv2/videoio.hpp>

#include "platform/v4l2/v4l2_capture.h"
#include "platform/win_app.h"
#include "res/resource.h"
#include "tests/workstation/capture_window_fixture.h"

using platform::v4l2::EmulatedCameraConfig;
using workstation_testing::CaptureWindowTest;

namespace {

// Frames a clip declares in its header, which is written when it is closed, and frames read.
std::pair<int, int> ClipFrames(const QString& path) {
    cv::VideoCapture reader(path.toStdString());
    if (!reader.isOpened()) return {-1, -1};
    const int declared = static_cast<int>(reader.get(cv::CAP_PROP_FRAME_COUNT));
    int read = 0;
    for (cv::Mat frame; reader.read(frame);) ++read;
    return {declared, read};
}

// The names of the filters in the engine's graph, in the graph's order.
QStringList FilterNames(DsCapture* capture) {
    QStringList names;
    CComPtr<IEnumFilters> filters;
    if (!capture || !capture->Graph() || FAILED(capture->Graph()->EnumFilters(&filters)))
        return names;
    IBaseFilter* raw = nullptr;
    while (filters->Next(1, &raw, nullptr) == S_OK) {
        CComPtr<IBaseFilter> filter = CComPtr<IBaseFilter>::Attach(raw);
        FILTER_INFO info;
        if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
            names << info.achName;
            if (info.pGraph) info.pGraph->Release();
        }
    }
    return names;
}

int Boxes(const std::vector<workstation_testing::RecordedBox>& boxes, const QString& text) {
    return static_cast<int>(
        std::count_if(boxes.begin(), boxes.end(), [&](const auto& b) { return b.text == text; }));
}

}  // namespace

class UnplugTest : public CaptureWindowTest {
  protected:
    bool WaitLost(bool lost, int timeoutMs = testing_support::kPatienceMs) {
        return testing_support::WaitUntil([&] { return (m_dlg->m_bDeviceLost != 0) == lost; },
                                          timeoutMs);
    }
};

TEST_F(UnplugTest, UnplugWhileRecordingKeepsTheClipWholeAndReplugComesBackLive) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFrames(3));
    const QStringList graph = FilterNames(m_dlg->m_pCapture.get());
    ASSERT_TRUE(graph.contains(QStringLiteral("Source")));
    const int filesOpen = m_cameras->OpenFiles();
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(10));

    m_cameras->Unplug(0);
    ASSERT_TRUE(WaitLost(true));
    const cv::Mat last = m_dlg->m_livePane.LastFrame().clone();
    testing_support::Pump(300);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_DEVICE_LOST"));
    EXPECT_TRUE(m_boxes[0].logAtThatMoment.contains(QStringLiteral("device lost: No such device")));
    // The last picture stays; the recording is stopped and its file closed whole.
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(cv::norm(m_dlg->m_livePane.LastFrame(), last, cv::NORM_INF), 0.0);
    EXPECT_EQ(m_dlg->m_bRecording, 0);
    EXPECT_FALSE(m_dlg->m_recorder.IsRecording());
    EXPECT_FALSE(m_dlg->m_recorder.IsOpen());
    EXPECT_FALSE(Visible(IDC_BTN_RECORD));
    EXPECT_TRUE(Visible(IDC_BTN_CANCEL));
    EXPECT_TRUE(Visible(IDC_BTN_SAVE));
    const auto [declared, recorded] = ClipFrames(m_dlg->TempFilePath());
    EXPECT_GE(recorded, 10);
    EXPECT_EQ(declared, recorded);
    EXPECT_EQ(recorded, m_dlg->m_recorder.FramesWritten());
    EXPECT_FALSE(m_dlg->m_pCapture);
    EXPECT_EQ(m_cameras->OpenFiles(), 0);

    const platform::SYSTEMTIME t = testing_support::LocalTime(2025, 3, 5, 10, 0, 0);
    platform::SetLocalTimeForTesting(&t);
    Click(&m_dlg->m_btnSave);
    EXPECT_EQ(ClipFrames(VideoDir() + QStringLiteral("/2025-03-05/100000.avi")).second, recorded);
    ASSERT_EQ(m_dlg->m_videoPaths.size(), 1u);
    EXPECT_TRUE(Visible(IDC_BTN_RECORD));

    m_cameras->Replug(0);
    ASSERT_TRUE(WaitLost(false))
        << LogLines().filter(QStringLiteral("device")).join('\n').toStdString();
    ASSERT_TRUE(WaitFrames(3));
    EXPECT_TRUE(LogLines().contains(QStringLiteral("device reconnected: USB Camera")));
    EXPECT_EQ(m_boxes.size(), 1u);
    // The same engine as the set-up's, nothing left behind, and the window as it was.
    EXPECT_EQ(FilterNames(m_dlg->m_pCapture.get()), graph);
    EXPECT_TRUE(m_dlg->m_pCapture->IsRunning());
    EXPECT_EQ(m_cameras->OpenFiles(), filesOpen);
    EXPECT_EQ(m_cameras->MappedNow(0),
              static_cast<int>(platform::v4l2::CV4l2Capture::kBufferCount));
    EXPECT_TRUE(Visible(IDC_BTN_RECORD));
    EXPECT_FALSE(Visible(IDC_BTN_SAVE));
    EXPECT_EQ(m_dlg->m_videoPaths.size(), 1u);
    EXPECT_EQ(m_dlg->m_videoList.count(), 1);
}

TEST_F(UnplugTest, ClosingWhileTheCameraIsGoneDoesNotHang) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFrames(2));
    m_cameras->Unplug(0);
    ASSERT_TRUE(WaitLost(true));
    testing_support::Pump(1500);  // the watch runs and finds nothing
    // The loss is logged once, before the user is told.
    EXPECT_EQ(LogLines().filter(QStringLiteral("device lost:")).size(), 1);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_DEVICE_LOST"));
    EXPECT_TRUE(m_boxes[0].logAtThatMoment.contains(QStringLiteral("device lost: No such device")));
    EXPECT_TRUE(Visible(IDC_BTN_RECORD));  // no recording ran: the buttons stay Idle
    EXPECT_FALSE(Visible(IDC_BTN_SAVE));
    Close();
    EXPECT_EQ(m_cameras->OpenFiles(), 0);
    // Nothing was listed while the camera was gone: no start was tried, none is reported.
    EXPECT_TRUE(LogLines().filter(QStringLiteral("device restart failed")).isEmpty());
    EXPECT_TRUE(LogLines().filter(QStringLiteral("device reconnected")).isEmpty());
    EXPECT_EQ(m_boxes.size(), 1u);
}

// The window is on the second camera when it goes; both come back: it takes its own port.
TEST_F(UnplugTest, ReplugPrefersTheSamePortElseTheFirstCamera) {
    Install({EmulatedCameraConfig::Microscope(), EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFrames(2));
    const QString first = m_dlg->m_pCapture->DisplayName();
    m_cameras->Unplug(0);
    ASSERT_TRUE(WaitLost(true));
    ASSERT_TRUE(WaitLost(false));  // the other camera is there: it is taken
    const QString second = m_dlg->m_pCapture->DisplayName();
    EXPECT_NE(second, first);
    ASSERT_TRUE(WaitFrames(2));

    m_cameras->Unplug(1);
    ASSERT_TRUE(WaitLost(true));
    m_cameras->Replug(0);
    m_cameras->Replug(1);
    ASSERT_TRUE(WaitLost(false));
    EXPECT_EQ(m_dlg->m_pCapture->DisplayName(), second);
    ASSERT_TRUE(WaitFrames(2));
    EXPECT_EQ(Boxes(m_boxes, Lang("IDS_DEVICE_LOST")), 2);
}

TEST_F(UnplugTest, NoPermissionIsToldAsSuchNotAsAMissingCamera) {
    EmulatedCameraConfig denied = EmulatedCameraConfig::Microscope();
    denied.accessDenied = true;
    Install({denied});
    ASSERT_TRUE(Open());  // the camera is there: the window opens, without a picture
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_DEVICE_DENIED"));
    EXPECT_TRUE(LogLines().contains(QStringLiteral("device access denied: Permission denied")));
    // Nothing of the camera is held and no picture comes.
    EXPECT_EQ(m_cameras->OpenFiles(), 0);
    EXPECT_FALSE(m_dlg->m_pCapture && m_dlg->m_pCapture->IsRunning());
    EXPECT_FALSE(m_cameras->Streaming(0));
    EXPECT_TRUE(m_dlg->m_livePane.LastFrame().empty());
    Close();
    EXPECT_EQ(m_boxes.size(), 1u);  // told once, not again on the way out
}

TEST_F(UnplugTest, ACameraHeldByAnotherProgramStillFailsToStart) {
    Install({EmulatedCameraConfig::Microscope()});
    platform::v4l2::CV4l2Capture other;
    ASSERT_EQ(other.Open(m_cameras->NodeOf(0)), 0);
    ASSERT_EQ(other.Start([](const unsigned char*, std::size_t) {}), 0);
    ASSERT_TRUE(Open());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_DEVICE_INITFAIL"));
    other.Stop();
}

TEST(DeviceMessages, EveryPackTellsLossAndHowToGetAccess) {
    CWinApp& app = AfxGetApp();
    const QString saved = app.m_langFile;
    for (const char* pack : {"English.ini", "日本語.ini", "简体中文.ini"}) {
        app.m_langFile = testing_support::SourceDir() + QStringLiteral("/res/Language/") +
                         QString::fromUtf8(pack);
        const QString lost = app.GetLangString(QStringLiteral("IDS_DEVICE_LOST"));
        const QString denied = app.GetLangString(QStringLiteral("IDS_DEVICE_DENIED"));
        EXPECT_NE(lost, QStringLiteral("Not found")) << pack;
        EXPECT_NE(lost, app.GetLangString(QStringLiteral("IDS_DEVICE_NOTFOUND"))) << pack;
        EXPECT_TRUE(denied.contains(QStringLiteral("usermod -aG video"))) << pack;
    }
    app.m_langFile = saved;
}
