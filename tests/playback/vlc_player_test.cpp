#include "playback/vlc_player.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest/QTest>
#include <memory>

#include "controls/my_picture_ctrl.h"
#include "playback/clip_probe.h"
#include "tests/support/playback_test_support.h"
#include "tests/support/test_support.h"

using playback_testing::Classify;
using playback_testing::GrabPane;
using playback_testing::MakeSolidClip;
using playback_testing::PaneColour;
using playback_testing::Shade;
using playback_testing::ShadeName;
using playback_testing::WaitForShade;
using testing_support::kPatienceMs;
using testing_support::Pump;
using testing_support::WaitUntil;

namespace {

// A window with one or two panes of 552x407, the shape a pane has in the capture window.
class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The checks read the screen: one player test at a time shows its panes, even when
        // the test processes run in parallel on one display.
        m_screenLock.setStaleLockTime(0);
        ASSERT_TRUE(m_screenLock.lock());
        ASSERT_TRUE(m_dir.isValid());
        m_red = m_dir.filePath(QStringLiteral("red.avi"));
        m_blue = m_dir.filePath(QStringLiteral("blue.avi"));
        ASSERT_TRUE(MakeSolidClip(m_red, Qt::red));
        ASSERT_TRUE(MakeSolidClip(m_blue, Qt::blue));
        m_host = std::make_unique<QWidget>();
        m_host->setGeometry(20, 20, 1160, 450);
        m_pane1 = new CMyPictureCtrl(m_host.get());
        m_pane1->setGeometry(10, 10, 552, 407);
        m_pane2 = new CMyPictureCtrl(m_host.get());
        m_pane2->setGeometry(580, 10, 552, 407);
        m_host->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_host.get()));
        // Exposed is not yet painted: the checks read the screen.
        ASSERT_TRUE(WaitForShade(m_pane1, Shade::White));
        ASSERT_TRUE(WaitForShade(m_pane2, Shade::White));
    }

    static std::string AspectRatio(const VlcPlayer& p) {
        if (!p.m_player.get()) return "(no player)";
        char* text = libvlc_video_get_aspect_ratio(p.m_player.get());
        const std::string result = text ? text : "(none)";
        libvlc_free(text);
        return result;
    }

    // How many pixels of row y of the pane show red on the screen.
    static int RedSpan(const QWidget* pane, int y) {
        const QImage image = playback_testing::GrabPane(pane);
        int n = 0;
        for (int x = 0; x < image.width() && y < image.height(); ++x) {
            if (Classify(image.pixelColor(x, y)) == Shade::Red) ++n;
        }
        return n;
    }

    static QString Mrl(libvlc_media_t* media) {
        if (!media) return {};
        char* mrl = libvlc_media_get_mrl(media);
        const QString text = mrl ? QString::fromUtf8(mrl) : QString();
        libvlc_free(mrl);
        return text;
    }
    // The address of the media a media player holds (libVLC hands out a reference to it).
    static QString PlayerMrl(libvlc_media_player_t* player) {
        const VlcMediaPtr media(libvlc_media_player_get_media(player));
        return Mrl(media.get());
    }

    static bool WaitPlaying(const VlcPlayer& p, int timeoutMs = testing_support::kPatienceMs) {
        return WaitUntil([&] { return p.GetState() == libvlc_Playing; }, timeoutMs);
    }

    QLockFile m_screenLock{QDir::tempPath() + QStringLiteral("/quorvel-playback-screen.lock")};
    QTemporaryDir m_dir;
    QString m_red;
    QString m_blue;
    std::unique_ptr<QWidget> m_host;
    CMyPictureCtrl* m_pane1 = nullptr;
    CMyPictureCtrl* m_pane2 = nullptr;
};

}  // namespace

TEST_F(PlayerTest, ClipShowsInPaneAndKeepsLoopingPastItsEnd) {
    // Empty: a black outline around the window's white.
    const QImage empty = GrabPane(m_pane1);
    EXPECT_EQ(Classify(empty.pixelColor(0, 0)), Shade::Black);
    EXPECT_EQ(Classify(empty.pixelColor(empty.width() - 1, empty.height() / 2)), Shade::Black);
    EXPECT_EQ(Classify(empty.pixelColor(2, 2)), Shade::White);
    EXPECT_EQ(Classify(PaneColour(m_pane1)), Shade::White);
    VlcPlayer player(m_pane1);
    ASSERT_NE(player.m_instance.get(), nullptr);
    player.m_path = m_red;
    player.Play();
    ASSERT_TRUE(WaitPlaying(player));
    EXPECT_TRUE(WaitForShade(m_pane1, Shade::Red)) << ShadeName(Classify(PaneColour(m_pane1)));
    EXPECT_EQ(Classify(PaneColour(m_pane2)), Shade::White);  // the other pane is untouched
    EXPECT_EQ(AspectRatio(player), "552:407");
    EXPECT_FLOAT_EQ(libvlc_media_player_get_rate(player.m_player.get()), 1.2f);

    // The clip (40 frames at 25 fps) runs to its end and starts over: libVLC's clock goes back
    // from late in the clip to its beginning, however long that takes on a busy machine.
    libvlc_time_t latest = 0;
    const bool wrapped = WaitUntil([&] {
        const libvlc_time_t now = libvlc_media_player_get_time(player.m_player.get());
        latest = std::max(latest, now);
        return latest >= 1000 && now >= 0 && now < 500;
    });
    EXPECT_TRUE(wrapped) << latest;
    EXPECT_EQ(player.GetState(), libvlc_Playing);
    EXPECT_EQ(player.m_restarts, 0);  // libVLC's own repeat, not a restart of ours
    EXPECT_TRUE(WaitForShade(m_pane1, Shade::Red)) << ShadeName(Classify(PaneColour(m_pane1)));
    EXPECT_EQ(player.GetState(), libvlc_Playing);
}

// libVLC's own repeats run out at last (after some 15 hours for a 1 s clip): the clip starts
// again, on the UI thread, for as long as it is loaded, and Stop ends it for good.
TEST_F(PlayerTest, ALoopOutlivesLibVlcsRepeatCount) {
    VlcPlayer player(m_pane1);
    player.m_repeats = 0;  // each pass of 1.33 s ends the media
    player.m_path = m_red;
    player.Play();
    ASSERT_TRUE(WaitPlaying(player));
    ASSERT_TRUE(WaitUntil([&] { return player.m_restarts >= 2; }));
    EXPECT_TRUE(WaitPlaying(player)) << player.GetState();
    EXPECT_TRUE(WaitForShade(m_pane1, Shade::Red)) << ShadeName(Classify(PaneColour(m_pane1)));
    EXPECT_EQ(AspectRatio(player), "552:407");

    player.Stop();
    const int restarts = player.m_restarts;
    Pump(2000);
    EXPECT_EQ(player.m_restarts, restarts);
    EXPECT_NE(player.GetState(), libvlc_Playing);
}

// A recording stopped before its first frame, a clip of one frame, a file no demuxer reads, a
// folder, a file that is gone: none is handed to libVLC, which would restart it without end.
// The pane shows its empty picture, and nothing runs while it sits there.
TEST_F(PlayerTest, ClipsWithoutTwoFramesOrUnreadableLeaveThePaneEmpty) {
    const QString empty = m_dir.filePath(QStringLiteral("empty.avi"));
    const QString one = m_dir.filePath(QStringLiteral("one.avi"));
    const QString garbage = m_dir.filePath(QStringLiteral("garbage.avi"));
    const QString folder = m_dir.filePath(QStringLiteral("folder.avi"));
    const QString two = m_dir.filePath(QStringLiteral("two.avi"));
    ASSERT_TRUE(playback_testing::MakeClip(empty, cv::Mat(480, 640, CV_8UC3), 0));
    ASSERT_TRUE(
        playback_testing::MakeClip(one, cv::Mat(480, 640, CV_8UC3, cv::Scalar(0, 0, 255)), 1));
    ASSERT_TRUE(
        playback_testing::MakeClip(two, cv::Mat(480, 640, CV_8UC3, cv::Scalar(255, 0, 0)), 2));
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray bytes(64 * 1024, '\0');
        for (int i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
        f.write(bytes);
    }
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(CClipProbe::CountFrames(empty, 5), 0);
    EXPECT_EQ(CClipProbe::CountFrames(one, 5), 1);
    EXPECT_EQ(CClipProbe::CountFrames(two, 5), 2);
    EXPECT_EQ(CClipProbe::CountFrames(m_red, 5), 5);
    EXPECT_EQ(CClipProbe::CountFrames(garbage, 5), 0);
    EXPECT_EQ(CClipProbe::CountFrames(folder, 5), 0);

    VlcPlayer player(m_pane1);
    for (const QString& clip :
         {empty, one, garbage, folder, m_dir.filePath(QStringLiteral("gone.avi"))}) {
        SCOPED_TRACE(clip.toStdString());
        // A clip playing before: the bad one replaces it.
        player.m_path = m_red;
        player.Play();
        ASSERT_TRUE(WaitForShade(m_pane1, Shade::Red));
        ASSERT_TRUE(m_pane1->IsLoaded());
        player.m_path = clip;
        player.Play();
        EXPECT_EQ(player.m_player.get(), nullptr);
        EXPECT_EQ(player.m_media.get(), nullptr);
        EXPECT_EQ(player.GetState(), libvlc_NothingSpecial);
        EXPECT_FALSE(m_pane1->IsLoaded());
        // The empty outline on the window's white, and it stays so.
        EXPECT_TRUE(WaitForShade(m_pane1, Shade::White))
            << ShadeName(Classify(PaneColour(m_pane1)));
        Pump(300);
        EXPECT_EQ(player.m_player.get(), nullptr);
        EXPECT_EQ(player.m_restarts, 0);
        EXPECT_EQ(Classify(PaneColour(m_pane1)), Shade::White);
    }

    // Two frames are enough for a loop.
    player.m_path = two;
    player.Play();
    EXPECT_TRUE(WaitPlaying(player));
    EXPECT_TRUE(WaitForShade(m_pane1, Shade::Blue)) << ShadeName(Classify(PaneColour(m_pane1)));
}

TEST_F(PlayerTest, SecondPlayReplacesTheClipWithAFreshMediaPlayer) {
    VlcPlayer player(m_pane1);
    player.m_path = m_red;
    player.Play();
    ASSERT_TRUE(WaitForShade(m_pane1, Shade::Red));
    // References of the test's own keep the first media player and media alive past the second
    // Play, so that a new one cannot be given their addresses.
    libvlc_media_player_retain(player.m_player.get());
    const VlcMediaPlayerPtr firstPlayer(player.m_player.get());
    libvlc_media_retain(player.m_media.get());
    const VlcMediaPtr firstMedia(player.m_media.get());

    player.m_path = m_blue;
    player.Play();
    ASSERT_NE(player.m_player.get(), nullptr);
    EXPECT_NE(player.m_player.get(), firstPlayer.get());
    EXPECT_NE(player.m_media.get(), firstMedia.get());
    // The first one was stopped with the red clip in it; the new one plays the blue clip.
    EXPECT_NE(libvlc_media_player_get_state(firstPlayer.get()), libvlc_Playing);
    EXPECT_TRUE(PlayerMrl(firstPlayer.get()).endsWith("/red.avi"));
    EXPECT_TRUE(WaitPlaying(player));
    EXPECT_TRUE(WaitForShade(m_pane1, Shade::Blue)) << ShadeName(Classify(PaneColour(m_pane1)));
    const QString mrl = PlayerMrl(player.m_player.get());
    EXPECT_TRUE(mrl.endsWith(QStringLiteral("/blue.avi"))) << mrl.toStdString();
    EXPECT_EQ(mrl, Mrl(player.m_media.get()));
}

TEST_F(PlayerTest, StopTwiceThenPlayAgain) {
    VlcPlayer player(m_pane1);
    player.Stop();  // nothing to stop yet
    EXPECT_EQ(player.m_player.get(), nullptr);

    player.m_path = m_red;
    player.Play();
    ASSERT_TRUE(WaitPlaying(player));
    ASSERT_TRUE(WaitForShade(m_pane1, Shade::Red));
    player.Stop();
    EXPECT_EQ(player.m_media.get(), nullptr);
    ASSERT_NE(player.m_player.get(), nullptr);  // the media player stays
    // The pane goes back to its empty outline rather than keeping the last picture.
    EXPECT_TRUE(WaitForShade(m_pane1, Shade::White)) << ShadeName(Classify(PaneColour(m_pane1)));
    EXPECT_NE(player.GetState(), libvlc_Playing);
    EXPECT_EQ(player.m_path, m_red);
    player.Stop();
    EXPECT_EQ(player.m_media.get(), nullptr);
    EXPECT_NE(player.GetState(), libvlc_Playing);

    player.m_path = m_blue;
    player.Play();
    EXPECT_TRUE(WaitPlaying(player));
    EXPECT_TRUE(WaitForShade(m_pane1, Shade::Blue)) << ShadeName(Classify(PaneColour(m_pane1)));
}

TEST_F(PlayerTest, AspectRatioFollowsThePaneOnlyOnceThereIsAMediaPlayer) {
    VlcPlayer player(m_pane1);
    player.UpdateAspectRatio();  // before the first Play: nothing to set, nothing made
    EXPECT_EQ(player.m_player.get(), nullptr);
    EXPECT_EQ(player.m_media.get(), nullptr);

    player.m_path = m_red;
    player.Play();
    ASSERT_TRUE(WaitPlaying(player));
    EXPECT_EQ(AspectRatio(player), "552:407");

    m_pane1->resize(600, 300);
    // At its old shape the picture stands in the wide pane with black bars left and right.
    EXPECT_TRUE(WaitUntil([&] { return RedSpan(m_pane1, 150) < 450; })) << RedSpan(m_pane1, 150);
    EXPECT_EQ(AspectRatio(player), "552:407");  // only UpdateAspectRatio changes it
    player.UpdateAspectRatio();
    EXPECT_EQ(AspectRatio(player), "600:300");
    // Then it stretches over (nearly) the whole width; libVLC's GL output leaves a few percent.
    EXPECT_TRUE(WaitUntil([&] { return RedSpan(m_pane1, 150) >= 540; })) << RedSpan(m_pane1, 150);
}

TEST_F(PlayerTest, AHiddenPanePlaysAndShowsTheClipOnceShown) {
    m_pane2->hide();
    VlcPlayer player(m_pane2);
    player.m_path = m_blue;
    player.Play();
    EXPECT_TRUE(WaitPlaying(player));
    Pump(300);
    m_pane2->show();
    EXPECT_TRUE(WaitForShade(m_pane2, Shade::Blue)) << ShadeName(Classify(PaneColour(m_pane2)));
    EXPECT_EQ(player.GetState(), libvlc_Playing);
}

TEST_F(PlayerTest, PathWithChineseAndJapaneseCharactersPlays) {
    const QString folder = m_dir.filePath(QStringLiteral("视频 ビデオ"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/毛細血管_测试.avi");
    ASSERT_TRUE(MakeSolidClip(path, Qt::blue));
    VlcPlayer player(m_pane1);
    player.m_path = path;
    player.Play();
    EXPECT_TRUE(WaitPlaying(player));
    EXPECT_TRUE(WaitForShade(m_pane1, Shade::Blue)) << ShadeName(Classify(PaneColour(m_pane1)));
}

TEST_F(PlayerTest, SameFilePlaysInTwoPanesAtOnce) {
    VlcPlayer left(m_pane1);
    VlcPlayer right(m_pane2);
    EXPECT_NE(left.m_instance.get(), right.m_instance.get());
    left.m_path = m_red;
    right.m_path = m_red;
    left.Play();
    right.Play();
    EXPECT_TRUE(WaitPlaying(left));
    EXPECT_TRUE(WaitPlaying(right));
    EXPECT_TRUE(WaitForShade(m_pane1, Shade::Red)) << ShadeName(Classify(PaneColour(m_pane1)));
    EXPECT_TRUE(WaitForShade(m_pane2, Shade::Red)) << ShadeName(Classify(PaneColour(m_pane2)));

    // Stopping one leaves the other playing.
    left.Stop();
    Pump(300);
    EXPECT_EQ(right.GetState(), libvlc_Playing);
}

TEST_F(PlayerTest, NoEngineOrNoPathMeansNothingIsPlayed) {
    VlcPlayer noEngine(m_pane1, nullptr);
    noEngine.m_path = m_red;
    noEngine.Play();
    EXPECT_EQ(noEngine.m_media.get(), nullptr);
    EXPECT_EQ(noEngine.m_player.get(), nullptr);
    noEngine.UpdateAspectRatio();
    noEngine.Stop();

    // An empty path (or one that could not be converted) is not handed to libVLC, which would
    // otherwise open the working folder.
    VlcPlayer player(m_pane2);
    player.Play();
    EXPECT_EQ(player.m_media.get(), nullptr);
    EXPECT_EQ(player.m_player.get(), nullptr);
    player.m_path = QString(QChar(0xD800)) + QStringLiteral(".avi");
    player.Play();
    EXPECT_EQ(player.m_player.get(), nullptr);
    Pump(500);  // time for a picture that must not come
    EXPECT_EQ(Classify(PaneColour(m_pane1)), Shade::White);
    EXPECT_EQ(Classify(PaneColour(m_pane2)), Shade::White);
}

TEST_F(PlayerTest, APaneDestroyedBeforeItsPlayerBreaksNothing) {
    auto* pane = new CMyPictureCtrl(m_host.get());
    pane->setGeometry(10, 10, 300, 200);
    pane->show();
    auto player = std::make_unique<VlcPlayer>(pane);
    player->m_path = m_red;
    player->Play();
    ASSERT_TRUE(WaitForShade(pane, Shade::Red));
    delete pane;
    Pump(300);
    EXPECT_EQ(player->m_pWnd, nullptr);
    player->UpdateAspectRatio();
    player->Stop();
    player->Play();  // no window to draw into: nothing is played
    EXPECT_EQ(player->m_media.get(), nullptr);
    EXPECT_EQ(player->m_player.get(), nullptr);
    player.reset();
    // The pane underneath paints itself again once the deleted one is gone from the screen.
    EXPECT_TRUE(WaitForShade(m_pane1, Shade::White)) << ShadeName(Classify(PaneColour(m_pane1)));
}

TEST(VlcPlayerText, ToUtf8) {
    EXPECT_EQ(VlcPlayer::ToUtf8(QString()), "");
    EXPECT_EQ(VlcPlayer::ToUtf8(QStringLiteral("/tmp/a b.avi")), "/tmp/a b.avi");
    EXPECT_EQ(VlcPlayer::ToUtf8(QStringLiteral("/视频/テスト.avi")),
              "/\xE8\xA7\x86\xE9\xA2\x91/\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.avi");
    // Outside the basic plane: a surrogate pair becomes one four-byte sequence.
    EXPECT_EQ(VlcPlayer::ToUtf8(QString::fromUcs4(U"/\U0001F600")), "/\xF0\x9F\x98\x80");
    // The bytes up to the first zero.
    EXPECT_EQ(VlcPlayer::ToUtf8(QStringLiteral("/a") + QChar(0) + QStringLiteral("b")), "/a");
    // A lone surrogate cannot be converted.
    EXPECT_EQ(VlcPlayer::ToUtf8(QStringLiteral("/a") + QChar(0xDC00)), "");
}

TEST(VlcPlayerText, AspectRatioTextIsClientWidthThenHeight) {
    QWidget pane;
    pane.resize(552, 407);
    VlcPlayer player(&pane, nullptr);
    EXPECT_EQ(player.AspectRatioText(), QStringLiteral("552:407"));
    pane.resize(600, 300);
    EXPECT_EQ(player.AspectRatioText(), QStringLiteral("600:300"));
}
