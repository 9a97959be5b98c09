// Proportional layout: every control keeps its distances to the window's edges in proportion
// to the window's size at set-up, hidden ones too; players and thumbnails follow.
#include <gtest/gtest.h>

#include <QWindow>
#include <vector>

#include "tests/workstation/clip_strip_fixture.h"

using playback_testing::Shade;
using testing_support::Pump;
using testing_support::WaitUntil;
using workstation_testing::ClipStripTest;

namespace {

// Where a control stored at s (window-relative, at set-up size r) belongs in a window of size n,
// edge by edge in single precision with truncation, as the layout arithmetic has it.
QRect Expected(const QRect& s, QSize r, QSize n) {
    const float fx = static_cast<float>(static_cast<double>(n.width()) / r.width());
    const float fy = static_cast<float>(static_cast<double>(n.height()) / r.height());
    const int left = static_cast<int>(static_cast<float>(s.x()) * fx);
    const int top = static_cast<int>(static_cast<float>(s.y()) * fy);
    const int right = static_cast<int>(static_cast<float>(n.width()) +
                                       static_cast<float>(s.x() + s.width() - r.width()) * fx);
    const int bottom = static_cast<int>(static_cast<float>(n.height()) +
                                        static_cast<float>(s.y() + s.height() - r.height()) * fy);
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace

class LayoutTest : public ClipStripTest {
  protected:
    std::vector<QRect> Geometries() const {
        std::vector<QRect> g;
        for (QWidget* w : m_dlg->GetChildWindows()) g.push_back(w->geometry());
        return g;
    }
    void ResizeTo(QSize size) {
        m_dlg->resize(size);
        ASSERT_TRUE(WaitUntil([&] { return m_dlg->size() == size; }));
        Pump(30);
    }
    int ListH() const {
        return m_dlg->m_videoList.height() - 2 * m_dlg->m_videoList.frameWidth() - 20;
    }
};

TEST_F(LayoutTest, SetUpStoresTheWindowAndEveryControlInWindowOrder) {
    OpenWindow();
    const auto& rects = m_dlg->m_layoutRects;
    const auto& children = m_dlg->GetChildWindows();
    ASSERT_EQ(rects.size(), 14u);
    ASSERT_EQ(children.size(), 13u);
    const int order[] = {1006, 1002, 1003, 1004, 1005, 1007, 1008,
                         1009, 1010, 1011, 1012, 1013, 1014};
    for (size_t k = 0; k < children.size(); ++k)
        EXPECT_EQ(platform::GetControlId(children[k]), order[k]) << k;
    // The first showing left every control on its stored place, relative to the window.
    const QPoint origin = rects[0].topLeft();
    for (size_t k = 0; k < children.size(); ++k) {
        const QRect& s = rects[k + 1];
        EXPECT_EQ(children[k]->pos(), s.topLeft() - origin) << order[k];
        EXPECT_EQ(children[k]->width(), s.right() - s.left()) << order[k];
        EXPECT_EQ(children[k]->height(), s.bottom() - s.top()) << order[k];
    }
    EXPECT_EQ(m_dlg->size(),
              QSize(rects[0].right() - rects[0].left(), rects[0].bottom() - rects[0].top()));
}

TEST_F(LayoutTest, WindowManagerMayMaximizeTheWindow) {
    OpenWindow();
    QWindow* window = m_dlg->windowHandle();
    ASSERT_NE(window, nullptr);
    // The window has no sizing border, yet it is not of a fixed size: window managers give no
    // maximize to a window whose minimum and maximum sizes agree.
    EXPECT_NE(window->minimumSize(), window->maximumSize());
}

TEST_F(LayoutTest, MaximizeScalesEveryControlAndRestoreBringsThemBackExactly) {
    OpenWindow();
    const QString red = MakeClip(QStringLiteral("red.avi"), Qt::red);
    const QString blue = MakeClip(QStringLiteral("blue.avi"), Qt::blue);
    m_dlg->AddVideo(red);
    m_dlg->AddVideo(blue);
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));
    Click(&m_dlg->m_btnView);
    Click(&m_dlg->m_btnView);  // back in the live view: the panes are hidden
    DropAt(PointOf(1006, 0.25, 0.5), red);
    ASSERT_TRUE(WaitPlaying(m_dlg->m_pPlayer1));

    const QSize setUp = m_dlg->size();
    const std::vector<QRect> before = Geometries();
    const int hBefore = ListH();
    // From 1280x760 to 1920x1040 outer size: fx 1.5, fy about 1.368.
    const QSize big(setUp.width() * 3 / 2, setUp.height() * 1040 / 760);
    ResizeTo(big);
    const std::vector<QRect> after = Geometries();
    const auto& children = m_dlg->GetChildWindows();
    for (size_t k = 0; k < children.size(); ++k) {
        const int id = platform::GetControlId(children[k]);
        EXPECT_EQ(after[k], Expected(before[k], setUp, big)) << id;
        // Wider by half, taller by the height's ratio, gaps in proportion (truncation aside).
        EXPECT_NEAR(after[k].width(), before[k].width() * 1.5, 1.01) << id;
        EXPECT_NEAR(after[k].height(), before[k].height() * big.height() / double(setUp.height()),
                    1.01)
            << id;
        EXPECT_NEAR(after[k].x(), before[k].x() * 1.5, 1.01) << id;
    }
    EXPECT_FALSE(Visible(1007));  // moved while hidden

    // Thumbnails follow the taller list.
    EXPECT_GT(ListH(), hBefore);
    EXPECT_EQ(m_dlg->m_imageList->ImageSize(),
              QSize(CVideoCaptureDlg::ThumbnailWidth(ListH()), ListH()));
    EXPECT_EQ(m_dlg->m_videoList.iconSize(), m_dlg->m_imageList->ImageSize());
    ASSERT_EQ(m_dlg->m_videoList.count(), 2);
    EXPECT_EQ(playback_testing::Classify(m_dlg->m_imageList->GetImage(1).pixelColor(40, 40)),
              Shade::Blue);

    // The player keeps filling its pane, shown now at the new size.
    Click(&m_dlg->m_btnView);
    QWidget* pane = Item(1007);
    // libVLC's own output takes the pane's new shape, also when it was made during the resize.
    const QString shape = QStringLiteral("%1:%2").arg(pane->width()).arg(pane->height());
    EXPECT_TRUE(WaitUntil([&] { return m_dlg->m_pPlayer1->OutputAspectRatio() == shape; }))
        << m_dlg->m_pPlayer1->OutputAspectRatio().toStdString();
    ASSERT_TRUE(WaitShade(1007, Shade::Red));
    const bool filled = WaitUntil([&] {
        const QImage image = playback_testing::GrabPane(pane);
        const int w = image.width(), h = image.height();
        for (QPoint p : {QPoint(3, 3), QPoint(w - 4, 3), QPoint(3, h - 4), QPoint(w - 4, h - 4)})
            if (playback_testing::Classify(image.pixelColor(p)) != Shade::Red) return false;
        return true;
    });
    EXPECT_TRUE(filled) << "the picture does not reach the pane's corners";

    // Back to the set-up size while the pane shows the clip: libVLC's output, made long
    // before, takes the smaller shape.
    ResizeTo(setUp);
    const QString small = QStringLiteral("%1:%2").arg(pane->width()).arg(pane->height());
    ASSERT_NE(small, shape);
    EXPECT_TRUE(WaitUntil([&] { return m_dlg->m_pPlayer1->OutputAspectRatio() == small; }))
        << m_dlg->m_pPlayer1->OutputAspectRatio().toStdString();
    Click(&m_dlg->m_btnView);
    EXPECT_EQ(Geometries(), before);
    EXPECT_EQ(ListH(), hBefore);
    EXPECT_EQ(m_dlg->m_imageList->ImageSize(),
              QSize(CVideoCaptureDlg::ThumbnailWidth(hBefore), hBefore));
}

TEST_F(LayoutTest, ExtremeSizesNeitherCrashNorLoseTheStrip) {
    OpenWindow();
    const QString red = MakeClip(QStringLiteral("red.avi"), Qt::red);
    m_dlg->AddVideo(red);
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));
    const QSize setUp = m_dlg->size();
    const std::vector<QRect> before = Geometries();
    for (QSize tiny : {QSize(120, 60), QSize(1, 1)}) {
        ResizeTo(tiny);
        EXPECT_LE(ListH(), 0);
        ASSERT_EQ(m_dlg->m_videoList.count(), 1);
        EXPECT_EQ(m_dlg->m_videoList.item(0)->text(), QStringLiteral("red.avi"));
    }
    ResizeTo(setUp);
    EXPECT_EQ(Geometries(), before);
    ASSERT_EQ(m_dlg->m_imageList->GetImageCount(), 1);
    // The strip rescales its entries a few per turn of the event loop.
    EXPECT_TRUE(WaitUntil([&] {
        return m_dlg->m_imageList->GetImage(0).size() == m_dlg->m_imageList->ImageSize();
    })) << m_dlg->m_imageList->GetImage(0).width();
    EXPECT_EQ(playback_testing::Classify(m_dlg->m_imageList->GetImage(0).pixelColor(30, 30)),
              Shade::Red);
}

TEST_F(LayoutTest, ControlsWithoutAStoredRectangleStayWhereTheyAre) {
    OpenWindow();
    // Only the window and the first four controls keep a stored rectangle.
    m_dlg->m_layoutRects.resize(5);
    const std::vector<QRect> before = Geometries();
    const QSize setUp = m_dlg->size();
    const QSize big(setUp.width() * 3 / 2, setUp.height() * 3 / 2);
    ResizeTo(big);
    const std::vector<QRect> after = Geometries();
    for (size_t k = 0; k < 4; ++k) EXPECT_EQ(after[k], Expected(before[k], setUp, big)) << k;
    for (size_t k = 4; k < after.size(); ++k) EXPECT_EQ(after[k], before[k]) << k;
}
