// Saving: the file saved is complete, an earlier clip is never replaced, a failed copy is told.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <future>
#include <opencv2/videoio.hpp>

#include "platform/image_list.h"
#include "tests/workstation/capture_window_fixture.h"
#include "workstation/thumbnail_cache.h"

extern "C" {
#include <libavformat/avformat.h>
}

using platform::v4l2::EmulatedCameraConfig;
using workstation_testing::CaptureWindowTest;

namespace {

int CountFrames(const QString& path) {
    cv::VideoCapture reader(path.toStdString());
    if (!reader.isOpened()) return -1;
    int n = 0;
    cv::Mat frame;
    while (reader.read(frame)) ++n;
    return n;
}

struct ReadResult {
    std::string demuxer;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0, height = 0;
    long long packets = -1;
    int lastRead = 0;
    int openCvFrames = -1;
};

// The clip as libavformat and OpenCV's FFmpeg back-end see it.
ReadResult ReadBack(const std::string& path) {
    ReadResult r;
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) == 0) {
        r.demuxer = ctx->iformat->name;
        if (avformat_find_stream_info(ctx, nullptr) >= 0 && ctx->nb_streams == 1) {
            r.codec = ctx->streams[0]->codecpar->codec_id;
            r.width = ctx->streams[0]->codecpar->width;
            r.height = ctx->streams[0]->codecpar->height;
        }
        r.packets = 0;
        AVPacket* packet = av_packet_alloc();
        while ((r.lastRead = av_read_frame(ctx, packet)) >= 0) {
            ++r.packets;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        avformat_close_input(&ctx);
    }
    cv::VideoCapture reader(path, cv::CAP_FFMPEG);
    r.openCvFrames = 0;
    for (cv::Mat frame; reader.isOpened() && reader.read(frame);) ++r.openCvFrames;
    return r;
}

platform::SYSTEMTIME At(int h, int m, int s) {
    return testing_support::LocalTime(2025, 3, 5, h, m, s);
}

}  // namespace

TEST(ClipNames, DayFolderAndClipFormats) {
    EXPECT_EQ(CVideoCaptureDlg::DayFolderPath(QStringLiteral("/a/Video"), 2025, 3, 5),
              QStringLiteral("/a/Video/2025-03-05"));
    EXPECT_EQ(CVideoCaptureDlg::ClipPath(QStringLiteral("/d"), 9, 4, 3),
              QStringLiteral("/d/090403.avi"));
    EXPECT_EQ(CVideoCaptureDlg::ClipPath(QStringLiteral("/d"), 23, 59, 0),
              QStringLiteral("/d/235900.avi"));
}

TEST_F(CaptureWindowTest, SaveClosesAWriterNoFrameHasClosedSinceTheStop) {
    EmulatedCameraConfig c;
    c.stallAfterFrames = 30;  // no frame comes after the stop
    Install({c});
    ASSERT_TRUE(Open());
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return FramesHandled() >= 30; }));
    ASSERT_TRUE(WaitCameraIdle());  // the last frame went to the recorder too
    Click(&m_dlg->m_btnRecord);
    testing_support::Pump(100);
    ASSERT_TRUE(m_dlg->m_recorder.IsOpen());  // still open: no frame arrived to close it
    const platform::SYSTEMTIME t = At(10, 0, 0);
    platform::SetLocalTimeForTesting(&t);
    Click(&m_dlg->m_btnSave);
    EXPECT_FALSE(m_dlg->m_recorder.IsOpen());
    const QString clip = VideoDir() + QStringLiteral("/2025-03-05/100000.avi");
    EXPECT_GE(CountFrames(clip), 20);
    EXPECT_EQ(CountFrames(clip), CountFrames(m_dlg->TempFilePath()));
}

TEST_F(CaptureWindowTest, TwoSavesInOneSecondKeepBothClips) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    const platform::SYSTEMTIME t = At(9, 4, 3);
    platform::SetLocalTimeForTesting(&t);
    const QString day = VideoDir() + QStringLiteral("/2025-03-05");
    for (int round = 0; round < 3; ++round) {
        Click(&m_dlg->m_btnRecord);
        ASSERT_TRUE(WaitFrames(3 + 4 * round));
        Click(&m_dlg->m_btnRecord);
        ASSERT_TRUE(WaitFrames(2));
        Click(&m_dlg->m_btnSave);
    }
    const QStringList names = QDir(day).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(names, (QStringList{"090403.avi", "090403_2.avi", "090403_3.avi"}));
    ASSERT_EQ(m_dlg->m_videoPaths.size(), 3u);
    EXPECT_EQ(m_dlg->m_videoPaths[1], day + QStringLiteral("/090403_2.avi"));
    // Each keeps its own recording: later rounds recorded more frames.
    EXPECT_LT(CountFrames(day + QStringLiteral("/090403.avi")),
              CountFrames(day + QStringLiteral("/090403_3.avi")));
}

TEST_F(CaptureWindowTest, FailedCopyIsReportedNotListedAndStaysStopped) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    const platform::SYSTEMTIME t = At(11, 0, 0);
    platform::SetLocalTimeForTesting(&t);
    // A file where the day folder should be: the folder cannot be made and the copy fails.
    QFile blocker(VideoDir() + QStringLiteral("/2025-03-05"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(3));
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(2));
    Click(&m_dlg->m_btnSave);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_SAVE_FAIL"));
    EXPECT_TRUE(m_dlg->m_videoPaths.empty());
    EXPECT_EQ(m_dlg->m_videoList.count(), 0);
    EXPECT_FALSE(Visible(1009));
    EXPECT_TRUE(Visible(1010));
    EXPECT_TRUE(Visible(1011));
    // The user can try again once the way is clear.
    ASSERT_TRUE(QFile::remove(VideoDir() + QStringLiteral("/2025-03-05")));
    Click(&m_dlg->m_btnSave);
    EXPECT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_dlg->m_videoPaths.size(), 1u);
    EXPECT_TRUE(Visible(1009));
}

TEST_F(CaptureWindowTest, SaveWithoutTemporaryFileOnlyMakesTheDayFolder) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(2));
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(2));
    ASSERT_TRUE(QFile::remove(m_dlg->TempFilePath()));
    const platform::SYSTEMTIME t = At(12, 0, 0);
    platform::SetLocalTimeForTesting(&t);
    Click(&m_dlg->m_btnSave);
    EXPECT_TRUE(QDir(VideoDir() + QStringLiteral("/2025-03-05")).exists());
    EXPECT_TRUE(QDir(VideoDir() + QStringLiteral("/2025-03-05")).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(m_dlg->m_videoPaths.empty());
    EXPECT_TRUE(Visible(1010));
    EXPECT_TRUE(Visible(1011));
    EXPECT_FALSE(Visible(1009));
}

TEST_F(CaptureWindowTest, ARecordingStoppedBeforeItsFirstFrameSavesAnEmptyClipReadersTake) {
    EmulatedCameraConfig c;
    c.stallAfterFrames = 3;  // live at first, then no frame for the recording
    Install({c});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(testing_support::WaitUntil([&] { return FramesHandled() >= 3; }));
    ASSERT_TRUE(WaitCameraIdle());  // nothing of the live frames is left for the recording
    const int handled = FramesHandled();
    Click(&m_dlg->m_btnRecord);
    ASSERT_EQ(m_dlg->m_bRecording, 1);
    testing_support::Pump(200);
    Click(&m_dlg->m_btnRecord);
    EXPECT_EQ(FramesHandled(), handled);
    EXPECT_EQ(m_dlg->m_recorder.FramesWritten(), 0);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_EMPTY_CLIP"));
    const platform::SYSTEMTIME t = At(10, 30, 0);
    platform::SetLocalTimeForTesting(&t);
    Click(&m_dlg->m_btnSave);
    EXPECT_EQ(m_boxes.size(), 1u);
    const QString clip = VideoDir() + QStringLiteral("/2025-03-05/103000.avi");
    ASSERT_TRUE(QFile::exists(clip));
    EXPECT_TRUE(Visible(1009));
    // Closed before the copy: the RIFF size, written at the close, spans the whole file.
    EXPECT_FALSE(m_dlg->m_recorder.IsOpen());
    {
        QFile f(clip);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.read(12);
        ASSERT_EQ(head.size(), 12);
        EXPECT_EQ(head.left(4), QByteArray("RIFF"));
        EXPECT_EQ(head.mid(8, 4), QByteArray("AVI "));
        const auto* b = reinterpret_cast<const unsigned char*>(head.constData());
        const qint64 riffSize = b[4] | b[5] << 8 | b[6] << 16 | qint64(b[7]) << 24;
        EXPECT_EQ(riffSize + 8, f.size());
    }

    // Readers on a thread of their own, so that a hang fails the test instead of stalling it.
    auto reading =
        std::async(std::launch::async, [path = clip.toStdString()] { return ReadBack(path); });
    if (reading.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        ADD_FAILURE() << "reading the empty clip hangs";
        std::_Exit(1);  // the reader cannot be stopped
    }
    const ReadResult read = reading.get();
    EXPECT_EQ(read.demuxer, "avi");
    EXPECT_EQ(read.codec, AV_CODEC_ID_MJPEG);
    EXPECT_EQ(read.width, 640);
    EXPECT_EQ(read.height, 480);
    EXPECT_EQ(read.packets, 0);
    EXPECT_EQ(read.lastRead, AVERROR_EOF);
    // OpenCV may decline the file or open it empty: either way it gives no frame.
    EXPECT_EQ(read.openCvFrames, 0);

    // The strip lists it with the placeholder, once its first frame was looked for.
    ASSERT_TRUE(testing_support::WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));
    ASSERT_EQ(m_dlg->m_videoList.count(), 1);
    EXPECT_EQ(m_dlg->m_videoList.item(0)->text(), QStringLiteral("103000.avi"));
    ASSERT_EQ(m_dlg->m_imageList->GetImageCount(), 1);
    const QSize size = m_dlg->m_imageList->ImageSize();
    platform::CImageList expected(size.width(), size.height());
    ASSERT_EQ(
        expected.AddMasked(CThumbnailCache().Placeholder(size.width(), size.height()), 0xFFFFFF),
        0);
    EXPECT_EQ(m_dlg->m_imageList->GetImage(0), expected.GetImage(0));
    EXPECT_FALSE(m_dlg->m_videoList.item(0)->icon().isNull());
}

// A file-size limit stands in for a full disk: the write fails in the middle of a recording.
class WriteFailureTest : public CaptureWindowTest {
  protected:
    // Records until the window tells of the failure; whether it did.
    bool RecordUntilTheDiskIsFull(const std::function<void()>& afterStart) {
        const auto previous = signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit limit{2 << 20, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        Click(&m_dlg->m_btnRecord);
        if (afterStart) afterStart();
        const bool told = testing_support::WaitUntil([&] { return !m_boxes.empty(); });
        testing_support::Pump(400);  // later frames change nothing
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, previous);
        return told;
    }
};

TEST_F(WriteFailureTest, StopsRecordingTellsOnceAndSaveKeepsTheFrames) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(RecordUntilTheDiskIsFull(nullptr));

    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_WRITE_FAIL"));
    EXPECT_TRUE(LogLines().join('\n').contains(QStringLiteral(": File too large")));
    EXPECT_EQ(m_dlg->m_bRecording, 0);
    EXPECT_FALSE(Visible(1009));
    EXPECT_TRUE(Visible(1010));
    EXPECT_TRUE(Visible(1011));

    const long long written = m_dlg->m_recorder.FramesWritten();
    EXPECT_GT(written, 5);
    const platform::SYSTEMTIME t = At(11, 0, 0);
    platform::SetLocalTimeForTesting(&t);
    Click(&m_dlg->m_btnSave);
    EXPECT_GE(CountFrames(VideoDir() + QStringLiteral("/2025-03-05/110000.avi")), written);
    EXPECT_EQ(m_boxes.size(), 1u);
}

// The dual view hides the recording buttons; a failure there must not strand the clip.
TEST_F(WriteFailureTest, InTheDualViewLeavesTheClipToSaveInTheSingleView) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(RecordUntilTheDiskIsFull([&] { Click(&m_dlg->m_btnView); }));
    ASSERT_EQ(m_dlg->m_bDualView, 1);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_WRITE_FAIL"));
    EXPECT_FALSE(Visible(1009));
    EXPECT_FALSE(Visible(1011));
    const long long written = m_dlg->m_recorder.FramesWritten();
    EXPECT_GT(written, 5);

    Click(&m_dlg->m_btnView);
    EXPECT_EQ(m_dlg->m_bRecording, 0);
    EXPECT_FALSE(Visible(1009));
    EXPECT_TRUE(Visible(1010));
    EXPECT_TRUE(Visible(1011));
    EXPECT_EQ(m_dlg->m_btnRecord.Caption(), Lang("IDS_START_RECORD"));
    const platform::SYSTEMTIME t = At(11, 30, 0);
    platform::SetLocalTimeForTesting(&t);
    Click(&m_dlg->m_btnSave);
    EXPECT_GE(CountFrames(VideoDir() + QStringLiteral("/2025-03-05/113000.avi")), written);
    EXPECT_TRUE(Visible(1009));
    EXPECT_FALSE(Visible(1011));

    // Once saved, the next round trip through the dual view is a plain one again.
    Click(&m_dlg->m_btnView);
    Click(&m_dlg->m_btnView);
    EXPECT_TRUE(Visible(1009));
    EXPECT_FALSE(Visible(1010));
}
