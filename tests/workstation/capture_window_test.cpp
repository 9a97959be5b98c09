#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLockFile>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "platform/font_height.h"
#include "platform/win_app.h"
#include "tests/support/playback_test_support.h"
#include "tests/workstation/capture_window_fixture.h"

using platform::v4l2::EmulatedCameraConfig;
using workstation_testing::CaptureWindowTest;

namespace {

struct ClipInfo {
    bool opened = false;
    int width = 0, height = 0, frames = 0;
    double fps = 0;
    int stamped = 0;  // frames with dark stamp pixels in the top-left corner
};

// Counts the frames by reading them: the container's own count is only a hint.
ClipInfo ReadClip(const QString& path) {
    ClipInfo info;
    cv::VideoCapture reader(path.toStdString());
    info.opened = reader.isOpened();
    if (!info.opened) return info;
    info.fps = reader.get(cv::CAP_PROP_FPS);
    cv::Mat frame;
    while (reader.read(frame)) {
        ++info.frames;
        info.width = frame.cols;
        info.height = frame.rows;
        cv::Mat grey;
        cv::cvtColor(frame(cv::Rect(10, 15, 170, 18)), grey, cv::COLOR_BGR2GRAY);
        if (cv::countNonZero(grey < 60) > 40) ++info.stamped;
    }
    return info;
}

bool IsDark(QRgb c) {
    return qRed(c) < 70 && qGreen(c) < 70 && qBlue(c) < 70;
}

// What the screen shows where the widget is: the root window's pixels, whatever lies on top.
QImage ScreenOf(const QWidget* w) {
    QCoreApplication::processEvents();
    const QPoint at = w->mapToGlobal(QPoint(0, 0));
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, at.x(), at.y(), w->width(), w->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

int DarkPixels(const QImage& image) {
    int dark = 0;
    for (int y = 0; y < image.height() / 8; ++y)
        for (int x = 0; x < image.width() / 3; ++x) dark += IsDark(image.pixel(x, y));
    return dark;
}

// Pixels of a that differ from b by more than a rounding step in any channel.
int Differing(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return a.width() * a.height() + 1;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int c = 0; c < x.width(); ++c) {
            const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
            if (std::abs(qRed(p) - qRed(q)) > 2 || std::abs(qGreen(p) - qGreen(q)) > 2 ||
                std::abs(qBlue(p) - qBlue(q)) > 2)
                ++n;
        }
    return n;
}

}  // namespace

TEST_F(CaptureWindowTest, NoCameraShowsTheMessageOnceLogsAfterItAndNeverShowsTheWindow) {
    Install({EmulatedCameraConfig::OtherWebcam()});
    EXPECT_FALSE(Open());
    EXPECT_FALSE(m_dlg->isVisible());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_DEVICE_NOTFOUND"));
    EXPECT_FALSE(m_boxes[0].logAtThatMoment.contains(QStringLiteral("device not found!")));
    EXPECT_TRUE(LogLines().contains(QStringLiteral("device not found!")));
    EXPECT_FALSE(LogLines().join('\n').contains(QStringLiteral("dscap_enum_device number is")));
    EXPECT_TRUE(QDir(VideoDir()).exists());
    EXPECT_EQ(m_dlg->m_pCapture, nullptr);
}

TEST_F(CaptureWindowTest, NoCameraModalRunReturnsCancelAtOnce) {
    Install({});
    CVideoCaptureDlg dlg;
    // Queued before the run: it fires only if the run pumps events, as a modal loop would.
    bool loopRan = false;
    QTimer::singleShot(0, [&] { loopRan = true; });
    EXPECT_EQ(dlg.DoModal(), platform::IDCANCEL);
    EXPECT_FALSE(loopRan);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(m_boxes.size(), 1u);
}

TEST_F(CaptureWindowTest, CameraThatFailsToStartLeavesAWorkingWindowWithoutPicture) {
    EmulatedCameraConfig broken;
    broken.refusesStream = true;
    Install({broken});
    ASSERT_TRUE(Open());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_DEVICE_INITFAIL"));
    EXPECT_FALSE(m_boxes[0].logAtThatMoment.contains(QStringLiteral("device init fail!")));
    EXPECT_TRUE(LogLines().contains(QStringLiteral("device init fail!")));
    testing_support::Pump(300);
    EXPECT_TRUE(m_dlg->m_livePane.LastFrame().empty());
    EXPECT_EQ(FramesHandled(), 0);

    // The buttons work: a recording starts and stops without frames.
    Click(&m_dlg->m_btnRecord);
    EXPECT_EQ(m_dlg->m_bRecording, 1);
    EXPECT_EQ(m_dlg->m_btnRecord.Caption(), Lang("IDS_STOP_RECORD"));
    Click(&m_dlg->m_btnRecord);
    EXPECT_EQ(m_dlg->m_bRecording, 0);
    EXPECT_TRUE(Visible(1010));
    EXPECT_TRUE(Visible(1011));
    EXPECT_FALSE(Visible(1009));
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[1].text, Lang("IDS_EMPTY_CLIP"));
}

TEST_F(CaptureWindowTest, TwoCamerasAreCountedAndOnlyTheFirstOpens) {
    Install({EmulatedCameraConfig::Microscope(), EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(LogLines().contains(QStringLiteral("dscap_enum_device number is  2")));
    EXPECT_EQ(m_dlg->m_devices.size(), 2u);
    ASSERT_TRUE(WaitFrames(3));
    EXPECT_TRUE(m_cameras->Streaming(0));
    EXPECT_FALSE(m_cameras->Streaming(1));
}

TEST_F(CaptureWindowTest, SetUpStateAndButtonDressing) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    EXPECT_EQ(m_dlg->windowTitle(), QStringLiteral("TAVERIN"));
    for (int id : {1006, 1002, 1009, 1003, 1004, 1005, 1014, 1012, 1013})
        EXPECT_TRUE(Visible(id)) << id;
    for (int id : {1007, 1008, 1010, 1011}) EXPECT_FALSE(Visible(id)) << id;
    EXPECT_EQ(m_dlg->m_bRecording, 0);
    EXPECT_EQ(m_dlg->m_bDualView, 0);
    EXPECT_EQ(m_dlg->m_btnRecord.Caption(), Lang("IDS_START_RECORD"));
    EXPECT_EQ(m_dlg->m_btnView.Caption(), Lang("IDS_DUAL"));
    EXPECT_EQ(m_dlg->m_btnDeleteOne.Caption(), Lang("IDS_DELETE_ONE"));
    EXPECT_EQ(m_dlg->m_btnDeleteOne.CaptionColor(), RGB(0, 0, 0));
    EXPECT_EQ(m_dlg->m_btnCancel.CaptionColor(), RGB(213, 13, 13));
    EXPECT_TRUE(m_dlg->m_btnOpen.Caption().isEmpty());
    EXPECT_EQ(m_dlg->m_videoList.NotifyWnd(), m_dlg->GetSafeHwnd());
    EXPECT_EQ(m_dlg->m_layoutRects.size(), 14u);
    EXPECT_EQ(m_dlg->m_videoDir, VideoDir());
    // White window background.
    const QImage shot = m_dlg->grab().toImage();
    EXPECT_EQ(shot.pixel(4, 4), qRgb(255, 255, 255));
}

TEST_F(CaptureWindowTest, LivePaneShowsTheStampedFrameStretchedOverThePane) {
    // The screen is read: one such test on the display at a time.
    QLockFile screen(playback_testing::ScreenLockPath());
    screen.setStaleLockTime(0);
    ASSERT_TRUE(screen.lock());
    // The camera goes quiet after a few frames, so the last one stays on the pane.
    EmulatedCameraConfig camera = EmulatedCameraConfig::Microscope();
    camera.stallAfterFrames = 6;
    Install({camera});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(testing_support::WaitUntil([&] { return FramesHandled() >= 6; }));
    QWidget* pane = m_dlg->GetDlgItem(1006);
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(m_dlg->m_livePane.LastFrame().cols, 640);
    EXPECT_EQ(m_dlg->m_livePane.LastFrame().rows, 480);
    EXPECT_NE(pane->size(), QSize(640, 480));
    const QImage shot = pane->grab().toImage();
    const double sx = pane->width() / 640.0, sy = pane->height() / 480.0;
    // The stamp's dark text near the top left, scaled with the frame.
    int dark = 0;
    for (int y = int(15 * sy); y < int(33 * sy); ++y)
        for (int x = int(10 * sx); x < int(180 * sx); ++x) dark += IsDark(shot.pixel(x, y));
    EXPECT_GT(dark, 30);
    // Elsewhere the picture is the pink ground of the capillaries, to the very corners.
    for (QPoint p : {QPoint(pane->width() - 2, pane->height() - 2),
                     QPoint(pane->width() / 2, pane->height() - 2),
                     QPoint(pane->width() - 2, pane->height() / 2)}) {
        const QRgb c = shot.pixel(p);
        EXPECT_GT(qRed(c), 100) << p.x() << "," << p.y();
        EXPECT_FALSE(IsDark(c));
    }

    // Covered and uncovered: the last frame is shown again without a new one.
    const int frames = FramesHandled();
    m_dlg->raise();
    m_dlg->activateWindow();
    // Raised and painted once the screen shows what the pane paints.
    const QImage painted = pane->grab().toImage();
    ASSERT_TRUE(testing_support::WaitUntil([&] { return Differing(ScreenOf(pane), painted) == 0; }))
        << Differing(ScreenOf(pane), painted) << " pixels differ";
    const QImage uncovered = ScreenOf(pane);
    ASSERT_EQ(uncovered.size(), pane->size());
    EXPECT_GT(DarkPixels(uncovered), 30);
    {
        QWidget cover(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        cover.setAutoFillBackground(true);
        QPalette palette = cover.palette();
        palette.setColor(QPalette::Window, QColor(0, 0, 255));
        cover.setPalette(palette);
        cover.setGeometry(QRect(pane->mapToGlobal(QPoint(0, 0)), pane->size()));
        cover.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&cover));
        cover.raise();
        const bool covered = testing_support::WaitUntil([&] {
            return ScreenOf(pane).pixel(pane->width() / 2, pane->height() / 2) == qRgb(0, 0, 255);
        });
        ASSERT_TRUE(covered) << "the cover never showed over the pane";
        EXPECT_EQ(DarkPixels(ScreenOf(pane)), 0);
    }
    // The window system shows the pane again, then the pane paints its kept frame anew.
    const bool shownAgain =
        testing_support::WaitUntil([&] { return Differing(ScreenOf(pane), uncovered) == 0; });
    EXPECT_TRUE(shownAgain) << Differing(ScreenOf(pane), uncovered) << " pixels differ";
    EXPECT_EQ(Differing(pane->grab().toImage(), uncovered), 0);
    EXPECT_EQ(FramesHandled(), frames);
}

TEST_F(CaptureWindowTest, EachFrameLogsThreeLinesInOrder) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFrames(6));
    Close();
    QStringList seq;
    for (const QString& l : LogLines()) {
        if (l == QStringLiteral("BufferCB..call ") || l == QStringLiteral("PostMessage..call ") ||
            l == QStringLiteral("frame triger!"))
            seq << l;
    }
    ASSERT_GE(seq.size(), 18);
    const QString buffer = QStringLiteral("BufferCB..call ");
    const QString post = QStringLiteral("PostMessage..call ");
    const QStringList triple{buffer, post, QStringLiteral("frame triger!")};
    int complete = 0;
    qsizetype i = 0;
    for (; i + 3 <= seq.size() && seq.mid(i, 3) == triple; i += 3) ++complete;
    EXPECT_GE(complete, 6);
    // Then the window was gone: a frame sent on as it went is not drawn, and the frames that
    // come until the engine stops (more of them on a busy machine) find no window to send to.
    QStringList rest = seq.mid(i);
    if (rest.size() >= 2 && rest[0] == buffer && rest[1] == post) rest = rest.mid(2);
    for (const QString& line : rest) EXPECT_EQ(line, buffer) << seq.join('|').toStdString();
}

TEST_F(CaptureWindowTest, RecordStopSaveWritesTheClipIntoTheFolderOfTheDay) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFrames(2));
    LogMarker("test: record");
    Click(&m_dlg->m_btnRecord);
    EXPECT_EQ(m_dlg->m_bRecording, 1);
    EXPECT_EQ(m_dlg->m_btnRecord.Caption(), Lang("IDS_STOP_RECORD"));
    EXPECT_TRUE(Visible(1009));
    EXPECT_FALSE(Visible(1010));
    ASSERT_TRUE(WaitFrames(20));
    LogMarker("test: stop");
    Click(&m_dlg->m_btnRecord);
    EXPECT_FALSE(Visible(1009));
    EXPECT_TRUE(Visible(1010));
    EXPECT_TRUE(Visible(1011));
    EXPECT_EQ(m_dlg->m_btnRecord.Caption(), Lang("IDS_START_RECORD"));
    ASSERT_TRUE(WaitFrames(2));  // the camera thread closes the file at its next frame

    const platform::SYSTEMTIME t = testing_support::LocalTime(2025, 3, 5, 9, 4, 3);
    platform::SetLocalTimeForTesting(&t);
    Click(&m_dlg->m_btnSave);
    const QString clip = VideoDir() + QStringLiteral("/2025-03-05/090403.avi");
    ASSERT_TRUE(QFile::exists(clip));
    EXPECT_TRUE(Visible(1009));
    EXPECT_FALSE(Visible(1010));
    EXPECT_FALSE(Visible(1011));
    ASSERT_EQ(m_dlg->m_videoPaths.size(), 1u);
    EXPECT_EQ(m_dlg->m_videoPaths[0], clip);
    EXPECT_EQ(m_dlg->m_videoList.count(), 1);
    EXPECT_EQ(m_dlg->m_videoList.item(0)->text(), QStringLiteral("090403.avi"));
    EXPECT_TRUE(QFile::exists(m_dlg->TempFilePath()));  // the temporary file stays

    const ClipInfo info = ReadClip(clip);
    ASSERT_TRUE(info.opened);
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 480);
    EXPECT_DOUBLE_EQ(info.fps, 25.0);
    const int handled = FramesBetween(QStringLiteral("test: record"), QStringLiteral("test: stop"));
    // A frame drawn just before a click may be written (or not) just after it.
    EXPECT_NEAR(info.frames, handled, 1);
    EXPECT_GE(info.frames, 19);
    EXPECT_EQ(info.stamped, info.frames);
    EXPECT_EQ(ReadClip(m_dlg->TempFilePath()).frames, info.frames);
}

TEST_F(CaptureWindowTest, DualViewDuringARecordingKeepsWritingAndTheSingleViewOffersStop) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitFrames(2));
    LogMarker("test: record");
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(5));

    const long long writtenBefore = m_dlg->m_recorder.FramesWritten();
    LogMarker("test: dual");
    Click(&m_dlg->m_btnView);
    ASSERT_EQ(m_dlg->m_bDualView, 1);
    EXPECT_FALSE(Visible(1009));
    EXPECT_FALSE(Visible(1006));
    ASSERT_TRUE(WaitFrames(15));
    LogMarker("test: single");
    const long long writtenInDual = m_dlg->m_recorder.FramesWritten() - writtenBefore;
    Click(&m_dlg->m_btnView);

    // Every frame handled in the dual view went into the clip.
    const int handledInDual =
        FramesBetween(QStringLiteral("test: dual"), QStringLiteral("test: single"));
    EXPECT_GE(handledInDual, 15);
    EXPECT_NEAR(writtenInDual, handledInDual, 1);
    // Back in the single view the recording is still on, and the button says so.
    EXPECT_EQ(m_dlg->m_bDualView, 0);
    EXPECT_EQ(m_dlg->m_bRecording, 1);
    EXPECT_TRUE(m_dlg->m_recorder.IsRecording());
    EXPECT_TRUE(Visible(1006));
    EXPECT_TRUE(Visible(1009));
    EXPECT_FALSE(Visible(1010));
    EXPECT_FALSE(Visible(1011));
    EXPECT_NE(Lang("IDS_STOP_RECORD"), QStringLiteral("Not found"));
    EXPECT_EQ(m_dlg->m_btnRecord.Caption(), Lang("IDS_STOP_RECORD"));

    ASSERT_TRUE(WaitFrames(3));
    LogMarker("test: stop");
    Click(&m_dlg->m_btnRecord);
    EXPECT_EQ(m_dlg->m_btnRecord.Caption(), Lang("IDS_START_RECORD"));
    EXPECT_TRUE(Visible(1010));
    EXPECT_TRUE(Visible(1011));
    ASSERT_TRUE(WaitFrames(2));  // the camera thread closes the file at its next frame
    const ClipInfo info = ReadClip(m_dlg->TempFilePath());
    ASSERT_TRUE(info.opened);
    const int handled = FramesBetween(QStringLiteral("test: record"), QStringLiteral("test: stop"));
    EXPECT_NEAR(info.frames, handled, 1);
    EXPECT_EQ(info.stamped, info.frames);
}

TEST_F(CaptureWindowTest, CancelKeepsTheTemporaryFileAndTheNextRecordingReplacesIt) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(15));
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(2));
    Click(&m_dlg->m_btnCancel);
    EXPECT_TRUE(Visible(1009));
    EXPECT_FALSE(Visible(1010));
    EXPECT_FALSE(Visible(1011));
    EXPECT_EQ(m_dlg->m_btnRecord.Caption(), Lang("IDS_START_RECORD"));
    // Size 18: a cell of 25 pixels or just under (size 16 would give 22 at most).
    EXPECT_LE(platform::CellHeight(*m_dlg->m_btnRecord.CaptionFont()), 25);
    EXPECT_GE(platform::CellHeight(*m_dlg->m_btnRecord.CaptionFont()), 23);
    const ClipInfo first = ReadClip(m_dlg->TempFilePath());
    EXPECT_GE(first.frames, 14);
    EXPECT_TRUE(m_dlg->m_videoPaths.empty());

    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(3));
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(2));
    const ClipInfo second = ReadClip(m_dlg->TempFilePath());
    EXPECT_LT(second.frames, first.frames);
    EXPECT_GE(second.frames, 2);
}

TEST_F(CaptureWindowTest, UnwritableVideoFolderReportsCreateFailAndStaysIdle) {
    Install({EmulatedCameraConfig::Microscope()});
    // A file where the video folder should be: nothing can be created in it, even as root.
    QFile blocker(VideoDir());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ASSERT_TRUE(Open());
    Click(&m_dlg->m_btnRecord);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_CREATE_FAIL"));
    EXPECT_EQ(m_dlg->m_bRecording, 0);
    EXPECT_EQ(m_dlg->m_btnRecord.Caption(), Lang("IDS_START_RECORD"));
    EXPECT_TRUE(Visible(1009));
    EXPECT_FALSE(Visible(1010));
    EXPECT_FALSE(Visible(1011));
}

TEST_F(CaptureWindowTest, ClosingWhileRecordingLeavesACompleteTemporaryFile) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(10));
    const QString temp = m_dlg->TempFilePath();
    Close();
    const ClipInfo info = ReadClip(temp);
    ASSERT_TRUE(info.opened);
    EXPECT_GE(info.frames, 9);
    EXPECT_EQ(info.width, 640);
    EXPECT_TRUE(
        QDir(VideoDir()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());  // nothing saved
}

TEST_F(CaptureWindowTest, OpeningAndClosingFiftyTimesWhileFramesFlowNeverHangs) {
    Install({EmulatedCameraConfig::Microscope()});
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(Open()) << i;
        ASSERT_TRUE(WaitFrames(1)) << i;
        if (i % 5 == 0) Click(&m_dlg->m_btnRecord);
        Close();
    }
    EXPECT_EQ(FrameMessage::LiveCount(), 0);
    EXPECT_EQ(m_cameras->OpenFiles(), 0);
    EXPECT_EQ(m_cameras->MappedNow(0), 0);
}
