// First frames read off the window's thread and cached by path: the strip shows a placeholder
// until the frame arrives, a rebuild only rescales, and a recording loses no frame while the
// strip is rebuilt.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QScreen>
#include <QThread>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "tests/workstation/clip_strip_fixture.h"
#include "workstation/first_frame_reader.h"
#include "workstation/thumbnail_cache.h"

using playback_testing::Classify;
using playback_testing::Shade;
using testing_support::Pump;
using testing_support::WaitUntil;
using workstation_testing::ClipStripTest;

namespace {

bool IsPlaceholderGrey(const QImage& image) {
    const QColor c = image.pixelColor(2, image.height() / 3);
    return c.red() == 96 && c.green() == 96 && c.blue() == 96;
}

// A file of bytes that no reader takes for a clip.
QString WriteGarbage(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(5000, '\x5a'));
    return path;
}

}  // namespace

TEST(ThumbnailCache, AnsweredOnlyForAwaitedPathsAndRescaledFromTheKeptFrame) {
    CThumbnailCache cache;
    const QString a = QStringLiteral("/clips/a.avi");
    EXPECT_FALSE(cache.Store(a, cv::Mat(4, 4, CV_8UC3)));  // never asked for
    EXPECT_EQ(cache.StateOf(a), CThumbnailCache::State::Unknown);

    cache.MarkPending(a);
    EXPECT_EQ(cache.PendingCount(), 1);
    EXPECT_TRUE(IsPlaceholderGrey(cache.Thumbnail(a, 140, 100)));
    EXPECT_EQ(cache.Thumbnail(a, 140, 100).size(), QSize(140, 100));
    const cv::Mat green(240, 320, CV_8UC3, cv::Scalar(0, 255, 0));
    ASSERT_TRUE(cache.Store(a, green));
    EXPECT_FALSE(cache.Store(a, green));  // answered already
    EXPECT_EQ(cache.PendingCount(), 0);
    for (QSize size : {QSize(140, 100), QSize(248, 180)}) {
        const QImage t = cache.Thumbnail(a, size.width(), size.height());
        EXPECT_EQ(t.size(), size);
        EXPECT_EQ(Classify(t.pixelColor(size.width() / 2, size.height() / 2)), Shade::Green);
    }
    EXPECT_EQ(cache.Thumbnail(a, 0, 2).size(), QSize(320, 240));  // below width 1: own size

    const QString bad = QStringLiteral("/clips/bad.avi");
    cache.MarkPending(bad);
    ASSERT_TRUE(cache.Store(bad, cv::Mat()));
    EXPECT_EQ(cache.StateOf(bad), CThumbnailCache::State::Failed);
    EXPECT_TRUE(IsPlaceholderGrey(cache.Thumbnail(bad, 140, 100)));
    EXPECT_EQ(cache.Thumbnail(bad, 4, 2).size(), QSize(8, 8));

    cache.MarkPending(bad);
    cache.Forget(bad);
    EXPECT_FALSE(cache.Store(bad, green));  // a late answer for a forgotten path is dropped
    EXPECT_EQ(cache.StateOf(bad), CThumbnailCache::State::Unknown);
}

TEST(FirstFrameReader, AnswersInOrderOnTheOwnersThreadShrunkOrEmpty) {
    QTemporaryDir dir;
    const QString blue = dir.filePath(QStringLiteral("blue.avi"));
    ASSERT_TRUE(playback_testing::MakeSolidClip(blue, Qt::blue));  // 320x240
    const QString garbage = WriteGarbage(dir.filePath(QStringLiteral("garbage.avi")));
    const QString missing = dir.filePath(QStringLiteral("missing.avi"));

    struct Answer {
        QString path;
        cv::Mat frame;
        bool onOwnersThread;
    };
    std::vector<Answer> answers;
    CFirstFrameReader reader(cv::Size(160, 160), [&](const QString& path, const cv::Mat& frame) {
        answers.push_back(
            {path, frame, QThread::currentThread() == QCoreApplication::instance()->thread()});
    });
    for (const QString& p : {garbage, blue, missing, dir.path()}) reader.Request(p);
    ASSERT_TRUE(WaitUntil([&] { return answers.size() == 4; }));
    EXPECT_EQ(answers[0].path, garbage);
    EXPECT_EQ(answers[1].path, blue);
    EXPECT_EQ(answers[2].path, missing);
    EXPECT_EQ(answers[3].path, dir.path());
    for (const Answer& a : answers) EXPECT_TRUE(a.onOwnersThread) << a.path.toStdString();
    EXPECT_TRUE(answers[0].frame.empty());
    EXPECT_TRUE(answers[2].frame.empty());
    EXPECT_TRUE(answers[3].frame.empty());
    // Shrunk to fit 160x160 with its shape kept; still blue.
    const cv::Mat& f = answers[1].frame;
    ASSERT_EQ(f.type(), CV_8UC3);
    EXPECT_EQ(f.size(), cv::Size(160, 120));
    const cv::Vec3b centre = f.at<cv::Vec3b>(60, 80);
    EXPECT_GT(centre[0], 200);
    EXPECT_LT(centre[2], 60);
}

TEST(FirstFrameReader, NothingArrivesAfterTheReaderIsGone) {
    QTemporaryDir dir;
    const QString red = dir.filePath(QStringLiteral("red.avi"));
    ASSERT_TRUE(playback_testing::MakeSolidClip(red, Qt::red));
    int answers = 0;
    {
        CFirstFrameReader reader(cv::Size(320, 240),
                                 [&](const QString&, const cv::Mat&) { ++answers; });
        for (int i = 0; i < 20; ++i) reader.Request(red);
        // Answers queue up meanwhile; none is handled, the event loop does not run.
        QThread::msleep(100);
    }
    Pump(300);
    EXPECT_EQ(answers, 0);
}

TEST_F(ClipStripTest, ThumbnailIsAPlaceholderUntilTheFirstFrameArrivesThenKeptOverRebuilds) {
    OpenWindow();
    const QString blue = MakeClip(QStringLiteral("blue.avi"), Qt::blue);
    const QString broken = WriteGarbage(m_clipDir.filePath(QStringLiteral("broken.avi")));
    m_dlg->AddVideo(blue);
    m_dlg->AddVideo(broken);
    m_dlg->AddVideo(blue);
    // Listed at once, with placeholders: nothing was read on this thread.
    ASSERT_EQ(m_dlg->m_imageList->GetImageCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(IsPlaceholderGrey(m_dlg->m_imageList->GetImage(i)));
    EXPECT_EQ(m_dlg->PendingThumbnails(), 2);  // one read for the path listed twice

    ASSERT_TRUE(WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));
    ASSERT_EQ(m_dlg->m_imageList->GetImageCount(), 3);
    for (int i : {0, 2}) {
        EXPECT_EQ(Classify(m_dlg->m_imageList->GetImage(i).pixelColor(30, 30)), Shade::Blue) << i;
        // The entry shows it, not only the image list.
        const QImage shown =
            m_dlg->m_videoList.item(i)->icon().pixmap(m_dlg->m_videoList.iconSize()).toImage();
        EXPECT_EQ(Classify(shown.pixelColor(30, 30)), Shade::Blue) << i;
    }
    EXPECT_TRUE(IsPlaceholderGrey(m_dlg->m_imageList->GetImage(1)));

    // Rebuilds rescale the kept frame: the file is not read again.
    ASSERT_TRUE(QFile::remove(blue));
    m_dlg->RebuildVideoList(180);
    EXPECT_EQ(m_dlg->PendingThumbnails(), 0);
    EXPECT_EQ(m_dlg->m_imageList->GetImage(2).size(), QSize(248, 180));
    EXPECT_EQ(Classify(m_dlg->m_imageList->GetImage(2).pixelColor(120, 90)), Shade::Blue);

    // Deleting the first entry keeps the other pictures with their entries.
    m_dlg->m_videoList.setCurrentRow(0);
    Click(&m_dlg->m_btnDeleteOne);
    ASSERT_EQ(m_dlg->m_imageList->GetImageCount(), 2);
    EXPECT_TRUE(IsPlaceholderGrey(m_dlg->m_imageList->GetImage(0)));
    EXPECT_EQ(Classify(m_dlg->m_imageList->GetImage(1).pixelColor(120, 90)), Shade::Blue);
}

TEST_F(ClipStripTest, RecordingLosesNoFrameWhileTheStripIsRebuiltWithManyClips) {
    OpenWindow();
    for (int i = 0; i < 30; ++i)
        m_dlg->AddVideo(MakeClip(QStringLiteral("clip%1.avi").arg(i), i % 2 ? Qt::red : Qt::blue));
    // Recording starts and stops while a frame is painted: the camera thread waits in its send
    // then, so that frame is exactly the first of the clip (the one after the last).
    enum { Idle, Starting, Recording, Stopping, Stopped } state = Idle;
    int first = -1, end = -1;
    m_dlg->m_livePane.SetPaintedHook([&] {
        if (state == Starting) {
            first = m_cameras->FramesDelivered(0) - 1;
            m_dlg->OnRecord();
            state = Recording;
        } else if (state == Stopping) {
            end = m_cameras->FramesDelivered(0) - 1;
            m_dlg->OnRecord();
            state = Stopped;
        }
    });
    state = Starting;
    ASSERT_TRUE(WaitUntil([&] { return state == Recording; }));
    ASSERT_TRUE(m_dlg->m_recorder.IsRecording());

    const QSize setUp = m_dlg->size();
    for (QSize size : {QSize(setUp.width() * 3 / 2, setUp.height() * 4 / 3), setUp,
                       setUp + QSize(40, 30), setUp}) {
        m_dlg->resize(size);
        ASSERT_TRUE(WaitUntil([&] { return m_dlg->size() == size; }));
        Pump(50);
    }
    m_dlg->m_videoList.setCurrentRow(3);
    Click(&m_dlg->m_btnDeleteOne);
    Click(&m_dlg->m_btnDeleteAll);
    Pump(100);
    // A few frames recorded at least, however slowly the machine ran the actions.
    ASSERT_TRUE(WaitUntil([&] { return m_cameras->FramesDelivered(0) > first + 4; }));

    state = Stopping;
    ASSERT_TRUE(WaitUntil([&] { return state == Stopped; }));
    ASSERT_TRUE(WaitUntil([&] { return !m_dlg->m_recorder.IsOpen(); }));
    m_dlg->m_livePane.SetPaintedHook(nullptr);
    // Frames went on arriving through the actions (a handful under the sanitizers' slowness).
    EXPECT_GT(end - first, 3);
    EXPECT_EQ(m_dlg->m_recorder.FramesWritten(), end - first);
}

// A window as tall as the screen still gets thumbnails from frames at least their size, never
// a small frame scaled up; so does one on a screen twice as tall.
TEST_F(ClipStripTest, FirstFramesAreKeptLargeEnoughForTheTallestStrip) {
    OpenWindow();
    const QString clip = MakeClip(QStringLiteral("green.avi"), Qt::green);
    m_dlg->AddVideo(clip);
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));
    const cv::Size kept = m_dlg->m_thumbnails.FrameSize(clip);
    const int screenHeight = m_dlg->screen()->availableGeometry().height();
    const int tallScreen = 2 * screenHeight;
    const cv::Size keptForTall =
        CFirstFrameReader::FitWithin(cv::Mat(480, 640, CV_8UC3), m_dlg->CachedFrameSize(tallScreen))
            .size();

    const auto thumbnailAt = [&](int windowHeight) {
        m_dlg->resize(m_dlg->width(), windowHeight);
        EXPECT_TRUE(WaitUntil([&] { return m_dlg->height() == windowHeight; }));
        m_dlg->RebuildVideoList(m_dlg->m_videoList.height() - 2 * m_dlg->m_videoList.frameWidth() -
                                20);
        return m_dlg->m_imageList->ImageSize();
    };
    const QSize full = thumbnailAt(screenHeight);
    EXPECT_GE(kept.width, full.width());
    EXPECT_GE(kept.height, full.height());
    const QSize tall = thumbnailAt(tallScreen);
    EXPECT_GT(tall.width(), 320);  // larger than the frames kept at the least
    EXPECT_GE(keptForTall.width, tall.width());
    EXPECT_GE(keptForTall.height, tall.height());
}

// temp.avi listed through the open button and then recorded again gets its new picture.
TEST_F(ClipStripTest, AClipWhoseFileChangedIsReadAgainAtTheNextRebuild) {
    OpenWindow();
    const QString clip = MakeClip(QStringLiteral("temp.avi"), Qt::blue);
    m_dlg->AddVideo(clip);
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));
    ASSERT_EQ(Classify(m_dlg->m_imageList->GetImage(0).pixelColor(30, 30)), Shade::Blue);

    // The same name recorded again; its time set apart in case both writes share a tick.
    ASSERT_EQ(MakeClip(QStringLiteral("temp.avi"), Qt::red), clip);
    QFile file(clip);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                 QFileDevice::FileModificationTime));
    file.close();
    m_dlg->RebuildVideoList(120);
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));
    EXPECT_EQ(Classify(m_dlg->m_imageList->GetImage(0).pixelColor(30, 30)), Shade::Red);

    // Unchanged since, it is not read again.
    m_dlg->RebuildVideoList(100);
    EXPECT_EQ(m_dlg->PendingThumbnails(), 0);
}
