// Dropping clips from the strip onto the panes, and the switch between the live and the dual
// view.
#include <gtest/gtest.h>

#include <QCursor>

#include "platform/win_app.h"
#include "tests/workstation/clip_strip_fixture.h"

using playback_testing::Shade;
using testing_support::Pump;
using workstation_testing::ClipStripTest;

TEST_F(ClipStripTest, DraggedClipsPlaySideBySideAndAThirdReplacesOnlyTheLeft) {
    OpenWindow();
    const QString red = MakeClip(QStringLiteral("red.avi"), Qt::red);
    const QString blue = MakeClip(QStringLiteral("blue.avi"), Qt::blue);
    const QString green = MakeClip(QStringLiteral("green.avi"), Qt::green);
    for (const QString& p : {red, blue, green}) m_dlg->AddVideo(p);
    Click(&m_dlg->m_btnView);
    ASSERT_EQ(m_dlg->m_bDualView, 1);

    DragEntryTo(0, PointOf(1007, 0.3, 0.6));
    DragEntryTo(1, PointOf(1008, 0.7, 0.4));
    ASSERT_NE(m_dlg->m_pPlayer1, nullptr);
    ASSERT_NE(m_dlg->m_pPlayer2, nullptr);
    EXPECT_TRUE(WaitShade(1007, Shade::Red));
    EXPECT_TRUE(WaitShade(1008, Shade::Blue));
    EXPECT_EQ(LabelText(1012), QStringLiteral("red.avi"));
    EXPECT_EQ(LabelText(1013), QStringLiteral("blue.avi"));
    EXPECT_EQ(m_dlg->m_pPlayer1->m_path, red);
    EXPECT_EQ(m_dlg->m_pPlayer1->m_pWnd, Item(1007));
    EXPECT_EQ(m_dlg->m_pPlayer2->m_pWnd, Item(1008));

    // The panes' players are reused, engine instance and all. The test's own references keep
    // the instances alive, so that a new player's could not take their addresses.
    libvlc_retain(m_dlg->m_pPlayer1->m_instance.get());
    const VlcInstancePtr left(m_dlg->m_pPlayer1->m_instance.get());
    libvlc_retain(m_dlg->m_pPlayer2->m_instance.get());
    const VlcInstancePtr right(m_dlg->m_pPlayer2->m_instance.get());
    DragEntryTo(2, PointOf(1007));
    EXPECT_EQ(m_dlg->m_pPlayer1->m_instance.get(), left.get());
    EXPECT_EQ(m_dlg->m_pPlayer2->m_instance.get(), right.get());
    EXPECT_TRUE(WaitShade(1007, Shade::Green));
    EXPECT_EQ(LabelText(1012), QStringLiteral("green.avi"));
    EXPECT_EQ(LabelText(1013), QStringLiteral("blue.avi"));
    EXPECT_EQ(m_dlg->m_pPlayer2->m_path, blue);
    EXPECT_TRUE(WaitShade(1008, Shade::Blue));
}

TEST_F(ClipStripTest, DropsOutsideThePanesChangeNothing) {
    OpenWindow();
    const QString red = MakeClip(QStringLiteral("red.avi"), Qt::red);
    m_dlg->AddVideo(red);
    Click(&m_dlg->m_btnView);
    DragEntryTo(0, PointOf(1003, 0.8, 0.5));  // back onto the strip
    DropAt(PointOf(1004), red);               // a button
    // The window's edge, just outside the left pane.
    DropAt(m_dlg->mapToGlobal(QPoint(1, Item(1007)->geometry().center().y())), red);
    DropAt(m_dlg->mapToGlobal(QPoint(m_dlg->width() + 5, 5)), red);  // beside the window
    EXPECT_EQ(m_dlg->m_pPlayer1, nullptr);
    EXPECT_EQ(m_dlg->m_pPlayer2, nullptr);
    EXPECT_EQ(LabelText(1012), QString());
    EXPECT_EQ(LabelText(1013), QString());

    // A drop with no path at all is ignored as well.
    QCursor::setPos(PointOf(1007));
    platform::SendMessageW(m_dlg->GetSafeHwnd(), WM_LIST_DROP, 0, 0);
    EXPECT_EQ(m_dlg->m_pPlayer1, nullptr);
}

TEST_F(ClipStripTest, DropOnTheLivePictureStartsTheHiddenPaneUnseen) {
    OpenWindow();
    const QString red = MakeClip(QStringLiteral("red.avi"), Qt::red);
    const QString blue = MakeClip(QStringLiteral("blue.avi"), Qt::blue);
    m_dlg->AddVideo(red);
    m_dlg->AddVideo(blue);
    ASSERT_FALSE(Visible(1007));
    // The left quarter of the live picture lies over the left pane, the right quarter over the
    // right one.
    DragEntryTo(0, PointOf(1006, 0.25, 0.5));
    DropAt(PointOf(1006, 0.75, 0.5), blue);
    ASSERT_NE(m_dlg->m_pPlayer1, nullptr);
    ASSERT_NE(m_dlg->m_pPlayer2, nullptr);
    EXPECT_TRUE(WaitPlaying(m_dlg->m_pPlayer1));
    EXPECT_TRUE(WaitPlaying(m_dlg->m_pPlayer2));
    EXPECT_EQ(LabelText(1012), QStringLiteral("red.avi"));
    EXPECT_EQ(LabelText(1013), QStringLiteral("blue.avi"));
    EXPECT_FALSE(Visible(1007));
    EXPECT_TRUE(Visible(1006));

    Click(&m_dlg->m_btnView);
    EXPECT_TRUE(Visible(1007));
    EXPECT_TRUE(WaitShade(1007, Shade::Red));
    EXPECT_TRUE(WaitShade(1008, Shade::Blue));
}

TEST_F(ClipStripTest, WhereThePanesOverlapTheRightPaneTakesTheDrop) {
    OpenWindow();
    const QString red = MakeClip(QStringLiteral("red.avi"), Qt::red);
    QWidget* left = Item(1007);
    const QRect leftPlace = left->geometry();
    left->setGeometry(Item(1008)->geometry().adjusted(-40, 0, -40, 0));
    DropAt(PointOf(1008, 0.1, 0.5), red);
    EXPECT_EQ(m_dlg->m_pPlayer1, nullptr);
    ASSERT_NE(m_dlg->m_pPlayer2, nullptr);
    EXPECT_EQ(LabelText(1013), QStringLiteral("red.avi"));
    // Left of the overlap only the left pane holds the point.
    DropAt(left->mapToGlobal(QPoint(10, 10)), red);
    EXPECT_NE(m_dlg->m_pPlayer1, nullptr);
    EXPECT_EQ(LabelText(1012), QStringLiteral("red.avi"));
    left->setGeometry(leftPlace);
}

TEST_F(ClipStripTest, TwoClicksOnTheViewButtonReturnToTheLiveViewWithRecordOnly) {
    OpenWindow();
    // Leave cancel and save showing, as after a stopped recording.
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(WaitFrames(3));
    Click(&m_dlg->m_btnRecord);
    ASSERT_TRUE(Visible(1010));
    ASSERT_TRUE(Visible(1011));
    ASSERT_FALSE(Visible(1009));
    const QFont dualFont = *m_dlg->m_btnView.CaptionFont();

    Click(&m_dlg->m_btnView);
    EXPECT_EQ(m_dlg->m_bDualView, 1);
    for (int id : {1007, 1008, 1012, 1013}) EXPECT_TRUE(Visible(id)) << id;
    for (int id : {1006, 1009, 1010, 1011}) EXPECT_FALSE(Visible(id)) << id;
    EXPECT_EQ(m_dlg->m_btnView.Caption(), Lang("IDS_SINGLE"));
    EXPECT_EQ(m_dlg->m_btnView.CaptionColor(), RGB(255, 255, 255));
    CGdipButton reference;
    reference.SetCaption(Lang("IDS_SINGLE"), 18, RGB(255, 255, 255));
    EXPECT_EQ(*m_dlg->m_btnView.CaptionFont(), *reference.CaptionFont());
    EXPECT_NE(*m_dlg->m_btnView.CaptionFont(), dualFont);

    Click(&m_dlg->m_btnView);
    EXPECT_EQ(m_dlg->m_bDualView, 0);
    for (int id : {1006, 1009}) EXPECT_TRUE(Visible(id)) << id;
    for (int id : {1007, 1008, 1010, 1011, 1012, 1013}) EXPECT_FALSE(Visible(id)) << id;
    EXPECT_EQ(m_dlg->m_btnView.Caption(), Lang("IDS_DUAL"));
    EXPECT_EQ(*m_dlg->m_btnView.CaptionFont(), *reference.CaptionFont());  // stays at 18
    // The camera picture keeps coming in the live view.
    EXPECT_TRUE(WaitFrames(2));
}
