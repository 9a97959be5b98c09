#include "playback/vlc_player_retirer.h"

#include <gtest/gtest.h>

#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "controls/my_picture_ctrl.h"
#include "playback/vlc_player.h"
#include "tests/support/playback_test_support.h"
#include "tests/support/test_support.h"

using playback_testing::Shade;
using testing_support::WaitUntil;

TEST(VlcPlayerRetirer, APlayingPlayerStopsOffThisThreadAndItsPaneGoesBlack) {
    QLockFile screenLock(playback_testing::ScreenLockPath());
    screenLock.setStaleLockTime(0);
    ASSERT_TRUE(screenLock.lock());
    QTemporaryDir dir;
    const QString red = dir.filePath(QStringLiteral("red.avi"));
    const QString blue = dir.filePath(QStringLiteral("blue.avi"));
    ASSERT_TRUE(playback_testing::MakeSolidClip(red, Qt::red));
    ASSERT_TRUE(playback_testing::MakeSolidClip(blue, Qt::blue));
    auto pane = std::make_unique<CMyPictureCtrl>();
    pane->setGeometry(40, 40, 320, 240);
    pane->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pane.get()));

    VlcPlayer player(pane.get());
    player.m_path = red;
    player.Play();
    ASSERT_TRUE(playback_testing::WaitForShade(pane.get(), Shade::Red));
    int done = 0;
    const auto repaint = [&] {
        ++done;
        pane->update();
    };
    {
        CVlcPlayerRetirer retirer;
        retirer.Retire(nullptr, repaint);  // nothing to do
        retirer.Retire(player.TakeMediaPlayer(), repaint);
        EXPECT_TRUE(WaitUntil([&] { return done == 1; }));
        EXPECT_EQ(retirer.Retiring(), 0);
        EXPECT_TRUE(playback_testing::WaitForShade(pane.get(), Shade::Black));

        // The player plays again with a new media player; that one is handed over and the
        // retirer goes at once: it stops the player first, and its answer is dropped.
        player.Play();
        ASSERT_TRUE(playback_testing::WaitForShade(pane.get(), Shade::Red));
        retirer.Retire(player.TakeMediaPlayer(), repaint);
        EXPECT_EQ(player.m_player, nullptr);
    }
    testing_support::Pump(300);
    EXPECT_EQ(done, 1);
    // The pane is free again: libVLC takes it for a new output.
    player.m_path = blue;
    player.Play();
    EXPECT_TRUE(playback_testing::WaitForShade(pane.get(), Shade::Blue));
}
