// The whole start-up, from the language pack to the end of the start window's run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/quorvel_app.h"
#include "app/quorvel_dlg.h"
#include "platform/message_box.h"
#include "res/resource.h"
#include "tests/support/test_support.h"

namespace {

bool AnyWindowShown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) return true;
    return false;
}

CQuorvelDlg* ShownStartWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dlg = qobject_cast<CQuorvelDlg*>(w); dlg && dlg->isVisible()) return dlg;
    return nullptr;
}

class InitInstanceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) unsetenv(var);
        const char* lang = std::getenv("LANG");
        m_oldLang = lang ? lang : "";
        setenv("LANG", "en_US.UTF-8", 1);
        m_oldPack = AfxGetApp().m_langFile;
    }
    void TearDown() override {
        platform::SetMessageBoxHookForTesting(nullptr);
        AfxGetApp().m_log.Close();
        AfxGetApp().m_langFile = m_oldPack;
        setenv("LANG", m_oldLang.c_str(), 1);
    }
    // The application object of the run; AfxGetApp() returns it while it lives.
    CQuorvelApp m_app;
    std::string m_oldLang;
    QString m_oldPack;
};

}  // namespace

TEST_F(InitInstanceTest, MissingPackIsToldBeforeAnyWindowThenTheStartWindowSaysNotFound) {
    testing_support::CAppFolder folder;  // the application's folder from here on
    ASSERT_TRUE(QFile::remove(folder.Path() + QStringLiteral("/Language/English.ini")));

    struct Box {
        QString text;
        bool windowShown;
        bool startWindowMade;
    };
    std::vector<Box> boxes;
    platform::SetMessageBoxHookForTesting(
        [&](const QString&, const QString& text, platform::MessageBoxIcon) {
            bool made = false;
            for (QWidget* w : QApplication::allWidgets())
                made |= qobject_cast<CQuorvelDlg*>(w) != nullptr;
            boxes.push_back({text, AnyWindowShown(), made});
        });

    // Reads the start window once it is up, then closes it with its End button.
    size_t boxesWhenShown = 0;
    QString startCaption, endCaption, title;
    bool closed = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        CQuorvelDlg* start = ShownStartWindow();
        if (!start || closed || !QTest::qWaitForWindowExposed(start, 0)) return;
        closed = true;
        boxesWhenShown = boxes.size();
        if (auto* button = qobject_cast<CGdipButton*>(start->GetDlgItem(IDC_BTN_START)))
            startCaption = button->Caption();
        if (auto* button = qobject_cast<CGdipButton*>(start->GetDlgItem(IDC_BTN_END)))
            endCaption = button->Caption();
        if (auto* label = qobject_cast<QLabel*>(start->GetDlgItem(1012))) title = label->text();
        QTest::mouseClick(start->GetDlgItem(IDC_BTN_END), Qt::LeftButton);
    });
    poll.start(20);
    // A run that does not end is failed, not waited for.
    bool timedOut = false;
    QTimer::singleShot(20000, [&] {
        if (CQuorvelDlg* start = ShownStartWindow()) {
            timedOut = true;
            start->EndDialog(platform::IDCANCEL);
        }
    });

    EXPECT_EQ(m_app.InitInstance(), FALSE);
    poll.stop();

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              QStringLiteral("Language packs is missing, Please reinstall the Program!"));
    EXPECT_FALSE(boxes[0].windowShown);
    EXPECT_FALSE(boxes[0].startWindowMade);
    EXPECT_TRUE(closed) << "the start window never showed";
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(boxesWhenShown, 1u);
    EXPECT_EQ(startCaption, QStringLiteral("Not found"));
    EXPECT_EQ(endCaption, QStringLiteral("Not found"));
    EXPECT_EQ(title, QStringLiteral("Not found"));
    // Closing it ended the run: no window is left.
    EXPECT_EQ(ShownStartWindow(), nullptr);
    EXPECT_FALSE(AnyWindowShown());
    // Files beside the executable, as usual: the run's log holds none of its own lines, not
    // even where the files went.
    const QStringList logs = QDir(folder.Path() + QStringLiteral("/Log"))
                                 .entryList({QStringLiteral("*.txt")}, QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    QFile log(folder.Path() + QStringLiteral("/Log/") + logs[0]);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), QByteArray());
}
