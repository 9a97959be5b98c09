// A recording that holds no frame is told when it stops, in one box with a failure that stopped
// it; frames of another size than 640x480 end up in the clip at 640x480.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <memory>
#include <opencv2/videoio.hpp>

#include "capture/clip_recorder.h"
#include "emulated/emulated_frame_source.h"
#include "tests/workstation/capture_window_fixture.h"

using platform::v4l2::CEmulatedFrameSource;
using platform::v4l2::EmulatedCameraConfig;
using platform::v4l2::EmulatedSample;
using workstation_testing::CaptureWindowTest;

namespace {

// Frames and their size as OpenCV's FFmpeg reader sees the clip.
struct ClipRead {
    int frames = -1;
    cv::Size size;
};

ClipRead ReadClip(const QString& path) {
    ClipRead r;
    cv::VideoCapture reader(path.toStdString(), cv::CAP_FFMPEG);
    if (!reader.isOpened()) return r;
    r.frames = 0;
    for (cv::Mat frame; reader.read(frame); ++r.frames) r.size = frame.size();
    return r;
}

}  // namespace

// A camera whose every frame fails to decode: the picture stays black and the recording empty.
TEST_F(CaptureWindowTest, StoppingARecordingWithoutFramesSaysSoAndSaveStillWorks) {
    EmulatedCameraConfig c;
    c.samples = {EmulatedSample::Garbage};
    Install({c});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(testing_support::WaitUntil([&] { return m_cameras->FramesDelivered(0) >= 2; }));
    Click(&m_dlg->m_btnRecord);
    ASSERT_EQ(m_dlg->m_bRecording, 1);
    const int delivered = m_cameras->FramesDelivered(0);
    ASSERT_TRUE(
        testing_support::WaitUntil([&] { return m_cameras->FramesDelivered(0) >= delivered + 5; }));
    EXPECT_TRUE(m_boxes.empty());
    Click(&m_dlg->m_btnRecord);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_EMPTY_CLIP"));
    EXPECT_FALSE(Lang("IDS_EMPTY_CLIP").startsWith(QStringLiteral("Not found")));
    EXPECT_EQ(FramesHandled(), 0);
    EXPECT_EQ(LogLines().filter(QStringLiteral("camera frames not decoded: ")).size(), 1);
    // The box comes with the Stopped state already shown.
    EXPECT_FALSE(Visible(IDC_BTN_RECORD));
    EXPECT_TRUE(Visible(IDC_BTN_SAVE));
    EXPECT_TRUE(Visible(IDC_BTN_CANCEL));

    const platform::SYSTEMTIME t = testing_support::LocalTime(2025, 3, 5, 8, 0, 0);
    platform::SetLocalTimeForTesting(&t);
    Click(&m_dlg->m_btnSave);
    EXPECT_EQ(m_boxes.size(), 1u);
    const QString clip = VideoDir() + QStringLiteral("/2025-03-05/080000.avi");
    EXPECT_TRUE(QFile::exists(clip));
    ASSERT_EQ(m_dlg->m_videoPaths.size(), 1u);
    EXPECT_TRUE(Visible(IDC_BTN_RECORD));
}

// Recording after an unplug: no camera, no frame.
TEST_F(CaptureWindowTest, ARecordingMadeWhileTheCameraIsGoneSaysItIsEmpty) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFrames(2));
    m_cameras->Unplug(0);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return m_dlg->m_bDeviceLost != 0; }));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_DEVICE_LOST"));  // nothing was recording
    Click(&m_dlg->m_btnRecord);
    ASSERT_EQ(m_dlg->m_bRecording, 1);
    testing_support::Pump(100);
    Click(&m_dlg->m_btnRecord);
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[1].text, Lang("IDS_EMPTY_CLIP"));
    EXPECT_TRUE(Visible(IDC_BTN_SAVE));
}

TEST_F(CaptureWindowTest, ARecordingWithFramesStopsWithoutABox) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFrames(2));
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return m_dlg->m_recorder.FramesWritten() > 0; }));
    Click(&m_dlg->m_btnRecord);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(Visible(IDC_BTN_SAVE));
}

// A camera that sends 320x240 pictures (and, now and then, one that does not decode): the live
// pane and the clip both get them at 640x480, so the recording is not empty.
TEST_F(CaptureWindowTest, FramesOfAnotherSizeAreRecordedAt640x480) {
    auto frames = std::make_shared<std::vector<std::vector<unsigned char>>>();
    for (int i = 0; i < 6; ++i)
        frames->push_back(CEmulatedFrameSource::Sample(EmulatedSample::Good, i, 320, 240));
    EmulatedCameraConfig c;
    c.frames = frames;
    c.samples = {EmulatedSample::Good, EmulatedSample::Good, EmulatedSample::Garbage};
    Install({c});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFrames(2));
    EXPECT_EQ(m_dlg->m_livePane.LastFrame().size(), cv::Size(640, 480));
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(12));
    Click(&m_dlg->m_btnRecord);
    EXPECT_TRUE(m_boxes.empty());
    const long long written = m_dlg->m_recorder.FramesWritten();
    EXPECT_GE(written, 10);

    const platform::SYSTEMTIME t = testing_support::LocalTime(2025, 3, 5, 8, 1, 0);
    platform::SetLocalTimeForTesting(&t);
    Click(&m_dlg->m_btnSave);
    const ClipRead read = ReadClip(VideoDir() + QStringLiteral("/2025-03-05/080100.avi"));
    EXPECT_EQ(read.frames, written);
    EXPECT_EQ(read.size, cv::Size(640, 480));
    // The garbage samples were told to the log.
    EXPECT_FALSE(LogLines().filter(QStringLiteral("camera frames not decoded: ")).isEmpty());
}

// The file-size limit leaves room for the clip's header only: the first frame's write fails.
// One box tells the failure and that the clip is empty.
TEST_F(CaptureWindowTest, AWriteFailureBeforeTheFirstFrameIsOneBoxThatSaysBoth) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFrames(2));
    qint64 header = 0;
    {
        CClipRecorder probe;
        const QString path = m_folder->Path() + QStringLiteral("/header.avi");
        ASSERT_TRUE(probe.Open(path.toStdString(), 25, 640, 480));
        header = QFileInfo(path).size();
        probe.Stop();
    }
    ASSERT_GT(header, 0);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit limit{static_cast<rlim_t>(header + 64), saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    Click(&m_dlg->m_btnRecord);
    const bool recording = m_dlg->m_bRecording == 1;
    const bool told = testing_support::WaitUntil([&] { return !m_boxes.empty(); }, 15000);
    testing_support::Pump(300);  // later frames change nothing
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    ASSERT_TRUE(recording);
    ASSERT_TRUE(told);

    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text,
              Lang("IDS_WRITE_FAIL") + QStringLiteral("\n\n") + Lang("IDS_EMPTY_CLIP"));
    EXPECT_EQ(m_dlg->m_recorder.FramesWritten(), 0);
    EXPECT_EQ(m_dlg->m_bRecording, 0);
    EXPECT_TRUE(Visible(IDC_BTN_SAVE));
}

TEST_F(CaptureWindowTest, AnUnplugDuringARecordingWithoutFramesIsOneBoxThatSaysBoth) {
    EmulatedCameraConfig c;
    c.samples = {EmulatedSample::Garbage};
    Install({c});
    ASSERT_TRUE(Open());
    Click(&m_dlg->m_btnRecord);
    ASSERT_EQ(m_dlg->m_bRecording, 1);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return m_cameras->FramesDelivered(0) >= 3; }));
    m_cameras->Unplug(0);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return m_dlg->m_bDeviceLost != 0; }));
    testing_support::Pump(100);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text,
              Lang("IDS_DEVICE_LOST") + QStringLiteral("\n\n") + Lang("IDS_EMPTY_CLIP"));
    EXPECT_EQ(m_dlg->m_bRecording, 0);
    EXPECT_TRUE(Visible(IDC_BTN_SAVE));
    EXPECT_FALSE(m_dlg->m_recorder.IsOpen());
}
