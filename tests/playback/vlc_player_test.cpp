#include "playback/vlc_player.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest/QTest>
#include <memory>

#include "controls/my_picture_ctrl.h"
#include "tests/playback/playback_test_support.h"
#include "tests/support/test_support.h"

using playback_testing::Classify;
using playback_testing::MakeSolidClip;
using playback_testing::PaneColour;
using playback_testing::Shade;
using playback_testing::ShadeName;
using playback_testing::WaitForShade;
using testing_support::Pump;
using testing_support::WaitUntil;

namespace {

// A window with one or two panes of 552x407, the shape a pane has in the capture window.
class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
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
        Pump(50);
    }

    static std::string AspectRatio(const VlcPlayer& p) {
        if (!p.m_player) return "(no player)";
        char* text = libvlc_video_get_aspect_ratio(p.m_player);
        const std::string result = text ? text : "(none)";
        libvlc_free(text);
        return result;
    }

    static bool WaitPlaying(const VlcPlayer& p, int timeoutMs = 5000) {
        return WaitUntil([&] { return p.GetState() == libvlc_Playing; }, timeoutMs);
    }

    QTemporaryDir m_dir;
    QString m_red;
    QString m_blue;
    std::unique_ptr<QWidget> m_host;
    CMyPictureCtrl* m_pane1 = nullptr;
    CMyPictureCtrl* m_pane2 = nullptr;
};

}  // namespace

TEST_F(PlayerTest, ClipShowsInPaneAndKeepsLoopingPastItsEnd) {
    EXPECT_EQ(Classify(PaneColour(m_pane1)), Shade::Black);
    VlcPlayer player(m_pane1);
    ASSERT_NE(player.m_instance, nullptr);
    player.m_path = m_red;
    QElapsedTimer clock;
    clock.start();
    player.Play();
    ASSERT_TRUE(WaitPlaying(player));
    EXPECT_TRUE(WaitForShade(m_pane1, Shade::Red)) << ShadeName(Classify(PaneColour(m_pane1)));
    EXPECT_EQ(Classify(PaneColour(m_pane2)), Shade::Black);  // the other pane is untouched
    EXPECT_EQ(AspectRatio(player), "552:407");
    EXPECT_FLOAT_EQ(libvlc_media_player_get_rate(player.m_player), 1.2f);

    // 40 frames at 25 fps, played 1.2 times faster, end after 1.33 s.
    Pump(std::max<int>(0, 2800 - static_cast<int>(clock.elapsed())));
    EXPECT_EQ(player.GetState(), libvlc_Playing);
    EXPECT_EQ(Classify(PaneColour(m_pane1)), Shade::Red);
}
