#include "playback/drag_list_ctrl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QtTest/QTest>
#include <memory>
#include <vector>

#include "controls/my_picture_ctrl.h"
#include "platform/dialog.h"
#include "platform/message_delivery.h"
#include "tests/support/test_support.h"

using testing_support::Pump;

namespace {

struct Drop {
    QString path;
    LPARAM lParam;
};

// Collects WM_LIST_DROP: copies the path while the send lasts, as a receiver must.
class DropRecorder {
  public:
    DropRecorder()
        : m_target([this](UINT msg, WPARAM w, LPARAM l) -> LRESULT {
              if (msg == WM_LIST_DROP) drops.push_back({*reinterpret_cast<const QString*>(w), l});
              return 0;
          }) {
        m_target.Create();
    }
    HWND Hwnd() const { return m_target.GetSafeHwnd(); }
    std::vector<Drop> drops;

  private:
    platform::CMessageTarget m_target;
};

QIcon Thumbnail(QColor c) {
    QPixmap p(140, 100);
    p.fill(c);
    return QIcon(p);
}

// The test's window; mouse events are routed within it.
QWidget* g_window = nullptr;

// Mouse events go where the window system would send them: to the widget holding the grab,
// else to the widget of the test's window under the point. (Qt's widgetAt asks the X server,
// which may find another test process's window on top.)
void Mouse(QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QWidget* target = QWidget::mouseGrabber();
    if (!target && g_window) {
        target = g_window->childAt(g_window->mapFromGlobal(global));
        if (!target && g_window->rect().contains(g_window->mapFromGlobal(global))) {
            target = g_window;
        }
    }
    ASSERT_NE(target, nullptr) << "nothing at " << global.x() << "," << global.y();
    QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global), button,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}
void Press(QPoint g) {
    Mouse(QEvent::MouseButtonPress, g, Qt::LeftButton, Qt::LeftButton);
}
void MoveHeld(QPoint g) {
    Mouse(QEvent::MouseMove, g, Qt::NoButton, Qt::LeftButton);
}
void MoveFree(QPoint g) {
    Mouse(QEvent::MouseMove, g, Qt::NoButton, Qt::NoButton);
}
void Release(QPoint g) {
    Mouse(QEvent::MouseButtonRelease, g, Qt::LeftButton, Qt::NoButton);
}

// A window with the strip along the bottom and a pane above it, away from the screen origin so
// that screen and window coordinates differ, and clear of the player tests' panes.
class DragListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_host = std::make_unique<QWidget>();
        m_host->setGeometry(1000, 515, 800, 560);
        m_pane = new CMyPictureCtrl(m_host.get());
        m_pane->setGeometry(10, 10, 400, 300);
        m_list = new CDragListCtrl(m_host.get());
        m_list->setGeometry(10, 380, 760, 160);
        m_list->setIconSize(QSize(140, 100));
        m_list->setGridSize(QSize(160, 130));
        const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
        std::vector<QString> paths;
        for (int i = 0; i < 4; ++i) {
            const QString path = QStringLiteral("/clips/2024-05-0%1/clip%1.avi").arg(i);
            m_list->addItem(
                new QListWidgetItem(Thumbnail(colours[i]), QStringLiteral("clip%1.avi").arg(i)));
            paths.push_back(path);
        }
        m_list->SetPaths(paths);
        m_list->SetNotifyWnd(m_recorder.Hwnd());
        m_host->show();
        g_window = m_host.get();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_host.get()));
        Pump(30);
    }
    void TearDown() override { g_window = nullptr; }

    QPoint EntryCentre(int row) const {
        const QRect r = m_list->visualRect(m_list->model()->index(row, 0));
        return m_list->viewport()->mapToGlobal(r.center());
    }
    QPoint PaneCentre() const { return m_pane->mapToGlobal(m_pane->rect().center()); }
    static int Distance() { return QApplication::startDragDistance(); }

    // Presses on an entry and moves far enough with the button held to begin the drag.
    void BeginDrag(int row) {
        const QPoint start = EntryCentre(row);
        Press(start);
        MoveHeld(start + QPoint(Distance() + 2, -Distance() - 2));
    }

    DropRecorder m_recorder;
    std::unique_ptr<QWidget> m_host;
    CMyPictureCtrl* m_pane = nullptr;
    CDragListCtrl* m_list = nullptr;
};

}  // namespace

TEST(DragListCtrl, StartsIdleWithoutTheDesktopDragAndDrop) {
    CDragListCtrl list;
    EXPECT_EQ(WM_LIST_DROP, 0x0465u);
    EXPECT_EQ(list.DragIndex(), -1);
    EXPECT_EQ(list.NotifyWnd(), 0u);
    EXPECT_TRUE(list.Paths().empty());
    EXPECT_FALSE(list.IsDragging());
    EXPECT_EQ(list.viewMode(), QListView::IconMode);
    EXPECT_FALSE(list.dragEnabled());
    EXPECT_EQ(list.dragDropMode(), QAbstractItemView::NoDragDrop);
}

TEST_F(DragListTest, DragSendsOneDropWithThePathAndTheScreenPoint) {
    const QPoint start = EntryCentre(1);
    Press(start);
    MoveHeld(start + QPoint(1, 0));  // within the drag distance: still a click
    EXPECT_FALSE(m_list->IsDragging());

    MoveHeld(start + QPoint(0, -Distance() - 3));
    ASSERT_TRUE(m_list->IsDragging());
    EXPECT_EQ(m_list->DragIndex(), 1);
    EXPECT_EQ(QWidget::mouseGrabber(), m_list->viewport());
    ASSERT_NE(m_list->DragImage(), nullptr);
    EXPECT_TRUE(m_list->DragImage()->isVisible());
    EXPECT_TRUE(m_recorder.drops.empty());

    // The picture shows the entry (its green thumbnail) and follows the cursor.
    const QImage picture = m_list->DragImage()->pixmap().toImage();
    ASSERT_FALSE(picture.isNull());
    EXPECT_GE(picture.width(), 140);
    EXPECT_GE(picture.height(), 100);
    const QPoint target = PaneCentre();
    MoveHeld(target - QPoint(40, 30));
    MoveHeld(target);
    const QRect shown = m_list->DragImage()->geometry();
    EXPECT_TRUE(shown.contains(target));
    // Green, though tinted when the style marks the entry as selected.
    const QColor under = picture.pixelColor(target - shown.topLeft());
    EXPECT_GT(under.green(), 150);
    EXPECT_LT(under.red(), 100);
    EXPECT_LT(under.blue(), 100);

    Release(target);
    ASSERT_EQ(m_recorder.drops.size(), 1u);
    EXPECT_EQ(m_recorder.drops[0].path, QStringLiteral("/clips/2024-05-01/clip1.avi"));
    EXPECT_EQ(GET_X_LPARAM(m_recorder.drops[0].lParam), target.x());
    EXPECT_EQ(GET_Y_LPARAM(m_recorder.drops[0].lParam), target.y());
    EXPECT_EQ(m_recorder.drops[0].lParam, MAKELPARAM(target.x(), target.y()));

    // Back to idle; the index of the last drag stays.
    EXPECT_FALSE(m_list->IsDragging());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_EQ(m_list->DragIndex(), 1);

    // Later moves and a click send nothing more.
    MoveFree(EntryCentre(2));
    Press(EntryCentre(2));
    Release(EntryCentre(2));
    EXPECT_EQ(m_recorder.drops.size(), 1u);
}

TEST_F(DragListTest, ClicksSendNothingButStillSelect) {
    Press(EntryCentre(2));
    Release(EntryCentre(2));
    EXPECT_EQ(m_list->currentRow(), 2);

    // A wobble below the drag distance is still a click.
    const QPoint start = EntryCentre(0);
    Press(start);
    MoveHeld(start + QPoint(Distance() - 1, 0));
    Release(start + QPoint(Distance() - 1, 0));
    EXPECT_EQ(m_list->currentRow(), 0);

    // A press on empty space or with the right button begins no drag.
    const QPoint empty = m_list->viewport()->mapToGlobal(QPoint(740, 150));
    ASSERT_FALSE(m_list->indexAt(m_list->viewport()->mapFromGlobal(empty)).isValid());
    Press(empty);
    MoveHeld(PaneCentre());
    Release(PaneCentre());
    Mouse(QEvent::MouseButtonPress, EntryCentre(3), Qt::RightButton, Qt::RightButton);
    Mouse(QEvent::MouseMove, PaneCentre(), Qt::NoButton, Qt::RightButton);
    Mouse(QEvent::MouseButtonRelease, PaneCentre(), Qt::RightButton, Qt::NoButton);

    EXPECT_FALSE(m_list->IsDragging());
    EXPECT_TRUE(m_recorder.drops.empty());
    EXPECT_EQ(m_list->DragIndex(), -1);
}

TEST_F(DragListTest, MovingWithoutTheButtonLeavesThePictureWhereItWas) {
    BeginDrag(0);
    ASSERT_TRUE(m_list->IsDragging());
    MoveHeld(PaneCentre());
    const QPoint before = m_list->DragImage()->pos();

    MoveFree(PaneCentre() + QPoint(120, 80));
    EXPECT_EQ(m_list->DragImage()->pos(), before);
    EXPECT_TRUE(m_list->IsDragging());  // the drag goes on until a release
    EXPECT_TRUE(m_recorder.drops.empty());

    MoveHeld(PaneCentre() + QPoint(50, 20));
    EXPECT_EQ(m_list->DragImage()->pos(), before + QPoint(50, 20));

    // A release anywhere ends it, even over the list itself.
    const QPoint over = EntryCentre(3);
    Release(over);
    ASSERT_EQ(m_recorder.drops.size(), 1u);
    EXPECT_EQ(m_recorder.drops[0].path, QStringLiteral("/clips/2024-05-00/clip0.avi"));
    EXPECT_EQ(m_recorder.drops[0].lParam, MAKELPARAM(over.x(), over.y()));
}

TEST_F(DragListTest, AfterRemovalsEntryKDeliversThePathNowAtK) {
    // The owner removes entry 1 from both the list and its paths.
    delete m_list->takeItem(1);
    std::vector<QString> paths = m_list->Paths();
    paths.erase(paths.begin() + 1);
    m_list->SetPaths(paths);
    Pump(20);

    BeginDrag(1);
    ASSERT_TRUE(m_list->IsDragging());
    Release(PaneCentre());
    BeginDrag(2);
    Release(PaneCentre());
    ASSERT_EQ(m_recorder.drops.size(), 2u);
    EXPECT_EQ(m_recorder.drops[0].path, QStringLiteral("/clips/2024-05-02/clip2.avi"));
    EXPECT_EQ(m_recorder.drops[1].path, QStringLiteral("/clips/2024-05-03/clip3.avi"));
}

TEST_F(DragListTest, AnEntryWithoutAPathSendsNothing) {
    std::vector<QString> paths = m_list->Paths();
    paths.resize(2);  // an owner that fell out of step with the entries
    m_list->SetPaths(paths);
    BeginDrag(3);
    ASSERT_TRUE(m_list->IsDragging());
    Release(PaneCentre());
    EXPECT_TRUE(m_recorder.drops.empty());
    EXPECT_FALSE(m_list->IsDragging());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);

    // No notify window: the drop goes nowhere and nothing breaks.
    m_list->SetNotifyWnd(0);
    BeginDrag(0);
    Release(PaneCentre());
    EXPECT_FALSE(m_list->IsDragging());
}

TEST_F(DragListTest, DestroyingTheListMidDragReleasesTheGrab) {
    BeginDrag(2);
    ASSERT_TRUE(m_list->IsDragging());
    QPointer<const QLabel> picture = m_list->DragImage();
    delete m_list;
    m_list = nullptr;
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_TRUE(picture.isNull());
    EXPECT_TRUE(m_recorder.drops.empty());
}

namespace {

// Clear of the player tests' panes (tests may run in parallel on one display).
const QPoint kDialogPos(1190, 480);

// The capture window's template with its two panes bound, recording what reaches it.
class PaneHost : public platform::CDialog {
  public:
    PaneHost() : platform::CDialog(130) {}
    CMyPictureCtrl m_pane1;
    CMyPictureCtrl m_pane2;
    std::vector<Drop> drops;
    std::vector<WPARAM> wParams;

  protected:
    void DoDataExchange() override {
        DDX_Control(1007, &m_pane1);
        DDX_Control(1008, &m_pane2);
    }
    BOOL OnInitDialog() override {
        OnMessage(WM_LIST_DROP, [this](WPARAM w, LPARAM l) -> LRESULT {
            drops.push_back({*reinterpret_cast<const QString*>(w), l});
            wParams.push_back(w);
            return 7;
        });
        return TRUE;
    }
};

}  // namespace

TEST(MyPictureCtrl, PassesADropOnToItsParentWithItselfInLParam) {
    auto host = std::make_unique<PaneHost>();
    ASSERT_TRUE(host->Create());
    host->move(kDialogPos);
    ASSERT_NE(host->m_pane1.GetSafeHwnd(), 0u);
    EXPECT_NE(host->m_pane1.GetSafeHwnd(), host->m_pane2.GetSafeHwnd());
    EXPECT_TRUE(host->m_pane1.testAttribute(Qt::WA_NativeWindow));

    const QString path = QStringLiteral("/clips/视频.avi");
    LRESULT result = -1;
    ASSERT_TRUE(platform::SendMessageW(host->m_pane2.GetSafeHwnd(), WM_LIST_DROP,
                                       reinterpret_cast<WPARAM>(&path), MAKELPARAM(5, 6), &result));
    EXPECT_EQ(result, 0);  // the pane answers 0 whatever the parent said
    ASSERT_EQ(host->drops.size(), 1u);
    EXPECT_EQ(host->drops[0].path, path);
    EXPECT_EQ(host->wParams[0], reinterpret_cast<WPARAM>(&path));  // the same string
    EXPECT_EQ(host->drops[0].lParam, reinterpret_cast<LPARAM>(&host->m_pane2));

    // Other messages are not passed on.
    EXPECT_TRUE(platform::SendMessageW(host->m_pane1.GetSafeHwnd(), WM_USER + 10, 0, 0));
    EXPECT_EQ(host->drops.size(), 1u);

    // Once the parent's window is gone the forward fails quietly.
    host->DestroyWindow();
    EXPECT_TRUE(platform::SendMessageW(host->m_pane1.GetSafeHwnd(), WM_LIST_DROP,
                                       reinterpret_cast<WPARAM>(&path), 0));
    EXPECT_EQ(host->drops.size(), 1u);
}

TEST(MyPictureCtrl, AStripDropAddressedToAPaneReachesTheDialog) {
    auto host = std::make_unique<PaneHost>();
    ASSERT_TRUE(host->Create());
    host->move(kDialogPos);
    CDragListCtrl list(host.get());
    list.setGeometry(20, 300, 600, 150);
    list.setIconSize(QSize(140, 100));
    list.addItem(new QListWidgetItem(Thumbnail(Qt::red), QStringLiteral("a.avi")));
    list.SetPaths({QStringLiteral("/clips/a.avi")});
    list.SetNotifyWnd(host->m_pane1.GetSafeHwnd());
    list.show();
    g_window = host.get();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));

    const QPoint start =
        list.viewport()->mapToGlobal(list.visualRect(list.model()->index(0, 0)).center());
    Press(start);
    MoveHeld(start - QPoint(0, QApplication::startDragDistance() + 5));
    ASSERT_TRUE(list.IsDragging());
    Release(start - QPoint(0, 200));
    g_window = nullptr;
    ASSERT_EQ(host->drops.size(), 1u);
    EXPECT_EQ(host->drops[0].path, QStringLiteral("/clips/a.avi"));
    EXPECT_EQ(host->drops[0].lParam, reinterpret_cast<LPARAM>(&host->m_pane1));
}

TEST(MyPictureCtrl, WithoutADialogParentTheDropGoesNowhere) {
    // A dialog that records its drops with a plain window between it and a pane, a pane in a
    // plain window, one without a parent, and a bystander that records whatever reaches it.
    auto host = std::make_unique<PaneHost>();
    ASSERT_TRUE(host->Create());
    QWidget frame(host.get());
    CMyPictureCtrl nested(&frame);
    QWidget plain;
    CMyPictureCtrl inPlain(&plain);
    CMyPictureCtrl orphan;
    DropRecorder bystander;
    const QString path = QStringLiteral("/clips/a.avi");
    for (CMyPictureCtrl* pane : {&nested, &inPlain, &orphan}) {
        LRESULT result = -1;
        EXPECT_TRUE(platform::SendMessageW(pane->GetSafeHwnd(), WM_LIST_DROP,
                                           reinterpret_cast<WPARAM>(&path), MAKELPARAM(5, 6),
                                           &result));
        EXPECT_EQ(result, 0);
    }
    EXPECT_TRUE(host->drops.empty());
    EXPECT_TRUE(bystander.drops.empty());

    // The dialog's own pane still reaches it.
    ASSERT_TRUE(platform::SendMessageW(host->m_pane1.GetSafeHwnd(), WM_LIST_DROP,
                                       reinterpret_cast<WPARAM>(&path), 0));
    ASSERT_EQ(host->drops.size(), 1u);
    EXPECT_EQ(host->drops[0].lParam, reinterpret_cast<LPARAM>(&host->m_pane1));
    EXPECT_TRUE(bystander.drops.empty());
}
