#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "app/about_dlg.h"
#include "app/quorvel_app.h"
#include "app/quorvel_dlg.h"
#include "platform/font_height.h"
#include "res/resource.h"
#include "tests/support/test_support.h"

namespace {

class StartWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_oldPack = AfxGetApp().m_langFile;
        AfxGetApp().m_langFile =
            testing_support::SourceDir() + QStringLiteral("/res/Language/English.ini");
    }
    void TearDown() override { AfxGetApp().m_langFile = m_oldPack; }
    QString m_oldPack;
};

bool IsRedish(QRgb c) {
    return qRed(c) > 150 && qGreen(c) < 90 && qBlue(c) < 90;
}

}  // namespace

TEST_F(StartWindowTest, SetUpTextsTitleAndCentredLogo) {
    CQuorvelDlg dlg;
    ASSERT_TRUE(dlg.Create());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("TAVERIN"));
    auto* start = qobject_cast<CGdipButton*>(dlg.GetDlgItem(IDC_BTN_START));
    auto* end = qobject_cast<CGdipButton*>(dlg.GetDlgItem(IDC_BTN_END));
    ASSERT_NE(start, nullptr);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(start->Caption(), QStringLiteral("Start Measuring"));
    EXPECT_EQ(end->Caption(), QStringLiteral("Exit"));
    EXPECT_EQ(start->CaptionColor(), RGB(255, 255, 255));
    EXPECT_EQ(end->CaptionColor(), RGB(213, 13, 13));
    auto* title = qobject_cast<QLabel*>(dlg.GetDlgItem(1012));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), QStringLiteral("Capillary Scope"));
    EXPECT_LE(platform::CellHeight(title->font()), 35);
    EXPECT_GE(platform::CellHeight(title->font()), 33);

    QWidget* logo = dlg.GetDlgItem(1010);
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->size(), QSize(500, 104));
    EXPECT_EQ(logo->x(), (dlg.width() - logo->width()) / 2);

    // Resizing moves nothing: the logo was centred once.
    const QPoint before = logo->pos();
    dlg.resize(dlg.width() + 200, dlg.height());
    testing_support::Pump(50);
    EXPECT_EQ(logo->pos(), before);
}

TEST_F(StartWindowTest, WhiteEverywhereAndRedTitleText) {
    CQuorvelDlg dlg;
    ASSERT_TRUE(dlg.Create());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    testing_support::Pump(50);
    const QImage shot = dlg.grab().toImage();
    // Window background corners and the area around the title are white.
    EXPECT_EQ(shot.pixel(3, 3), qRgb(255, 255, 255));
    EXPECT_EQ(shot.pixel(shot.width() - 4, shot.height() - 4), qRgb(255, 255, 255));
    QWidget* title = dlg.GetDlgItem(1012);
    const QRect tr = title->geometry();
    EXPECT_EQ(shot.pixel(tr.left() + 1, tr.top() + 1), qRgb(255, 255, 255));
    int red = 0, other = 0;
    for (int y = tr.top(); y <= tr.bottom(); ++y) {
        for (int x = tr.left(); x <= tr.right(); ++x) {
            const QRgb c = shot.pixel(x, y);
            if (IsRedish(c))
                ++red;
            else if (c != qRgb(255, 255, 255) && qRed(c) < 200)
                ++other;  // dark or grey text pixels would mean a wrong colour
        }
    }
    EXPECT_GT(red, 50);
    EXPECT_LT(other, red / 4);
    // The logo is drawn: not all white inside its rectangle.
    const QRect lr = dlg.GetDlgItem(1010)->geometry();
    bool nonWhite = false;
    for (int y = lr.top(); y <= lr.bottom() && !nonWhite; y += 2)
        for (int x = lr.left(); x <= lr.right() && !nonWhite; x += 2)
            nonWhite = shot.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_TRUE(nonWhite);
}

TEST_F(StartWindowTest, EndButtonEndsTheModalRunWithCancel) {
    CQuorvelDlg dlg;
    QTimer::singleShot(300, &dlg,
                       [&dlg] { QTest::mouseClick(dlg.GetDlgItem(IDC_BTN_END), Qt::LeftButton); });
    EXPECT_EQ(dlg.DoModal(), platform::IDCANCEL);
    EXPECT_EQ(dlg.GetSafeHwnd(), 0u);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(StartWindowTest, EscapeClosesAndF1OpensTheAboutBox) {
    CQuorvelDlg dlg;
    bool aboutSeen = false;
    QTimer::singleShot(300, &dlg, [&] {
        QTest::keyClick(&dlg, Qt::Key_F1);  // runs the About box's own modal loop
    });
    QTimer::singleShot(800, &dlg, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* about = qobject_cast<CAboutDlg*>(w); about && about->isVisible()) {
                aboutSeen = true;
                about->EndDialog(platform::IDOK);
            }
        }
    });
    QTimer::singleShot(1200, &dlg, [&] { QTest::keyClick(&dlg, Qt::Key_Escape); });
    EXPECT_EQ(dlg.DoModal(), platform::IDCANCEL);
    EXPECT_TRUE(aboutSeen);
}

// Linux windows have no system menu: the About entry is in the window's context menu.
TEST_F(StartWindowTest, ContextMenuHoldsTheAboutEntryWhichOpensTheAboutBox) {
    CQuorvelDlg dlg;
    ASSERT_TRUE(dlg.Create());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QStringList items;
    bool aboutSeen = false;
    QElapsedTimer clock;
    clock.start();
    // The menu and then the About box run modal loops of their own: they are found and
    // answered from a timer, whenever they show.
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            if (!items.isEmpty() || clock.elapsed() > testing_support::kPatienceMs) {
                menu->close();  // never answered as expected: let the test end
                return;
            }
            for (QAction* a : menu->actions())
                items << (a->isSeparator() ? QStringLiteral("-") : a->text());
            for (QAction* a : menu->actions()) {
                if (!a->isSeparator()) menu->setActiveAction(a);
            }
            QTest::keyClick(menu, Qt::Key_Return);
            return;
        }
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* about = qobject_cast<CAboutDlg*>(w); about && about->isVisible()) {
                aboutSeen = true;
                about->EndDialog(platform::IDOK);
            }
        }
    });
    watch.start();
    const QPoint at(dlg.width() / 2, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, dlg.mapToGlobal(at));
    QApplication::sendEvent(&dlg, &event);
    watch.stop();
    EXPECT_EQ(items, (QStringList{QStringLiteral("-"), QStringLiteral("关于 Quorvel(&A)...")}));
    EXPECT_TRUE(aboutSeen);
    EXPECT_TRUE(dlg.isVisible());  // the start window stays
}
