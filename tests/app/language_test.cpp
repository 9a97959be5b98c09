#include <gtest/gtest.h>

#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <cstdlib>
#include <vector>

#include "app/quorvel_app.h"
#include "platform/message_box.h"
#include "tests/support/test_support.h"

namespace {

struct Box {
    QString caption, text;
    platform::MessageBoxIcon icon;
};

class LanguageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetMessageBoxHookForTesting(
            [this](const QString& c, const QString& t, platform::MessageBoxIcon i) {
                m_boxes.push_back({c, t, i});
            });
        for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) unsetenv(var);
        const char* lang = std::getenv("LANG");
        m_oldLang = lang ? lang : "";
    }
    void TearDown() override {
        platform::SetMessageBoxHookForTesting(nullptr);
        setenv("LANG", m_oldLang.c_str(), 1);
    }
    QString Choose(const char* locale, const QString& folder) {
        setenv("LANG", locale, 1);
        m_app.SelectLanguagePack(folder);
        return m_app.m_langFile.section('/', -1);
    }

    CQuorvelApp m_app;
    std::vector<Box> m_boxes;
    std::string m_oldLang;
};

}  // namespace

TEST_F(LanguageTest, PackFollowsTheLocale) {
    testing_support::CAppFolder folder;
    EXPECT_EQ(Choose("zh_TW.UTF-8", folder.Path()), QStringLiteral("简体中文.ini"));
    EXPECT_EQ(Choose("zh_CN.UTF-8", folder.Path()), QStringLiteral("简体中文.ini"));
    EXPECT_EQ(Choose("de_DE.UTF-8", folder.Path()), QStringLiteral("English.ini"));
    EXPECT_EQ(Choose("ja_JP.UTF-8", folder.Path()), QStringLiteral("日本語.ini"));
    EXPECT_EQ(Choose("en_GB.UTF-8", folder.Path()), QStringLiteral("English.ini"));
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(m_app.m_langFile, folder.Path() + QStringLiteral("/Language/English.ini"));
}

TEST_F(LanguageTest, MissingPackWarnsOnceAndEveryTextIsNotFound) {
    testing_support::CAppFolder folder;
    ASSERT_TRUE(QFile::remove(folder.Path() + QStringLiteral("/Language/日本語.ini")));
    Choose("ja_JP.UTF-8", folder.Path());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text,
              QStringLiteral("Language packs is missing, Please reinstall the Program!"));
    EXPECT_EQ(m_boxes[0].icon, platform::MessageBoxIcon::Exclamation);
    EXPECT_EQ(m_boxes[0].caption, platform::GetAppName());
    // No fall-back to the English pack that is still there.
    EXPECT_EQ(m_app.GetLangString(QStringLiteral("IDS_START")), QStringLiteral("Not found"));
    EXPECT_EQ(m_app.GetLangString(QStringLiteral("IDS_TITTLE")), QStringLiteral("Not found"));
}

TEST_F(LanguageTest, BackslashNBecomesALineFeedAndEditsShowAtOnce) {
    testing_support::CAppFolder folder(false);
    m_app.m_langFile = folder.Path() + QStringLiteral("/pack.ini");
    QFile f(m_app.m_langFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Setting]\nIDS_TWO=first\\nsecond\nIDS_BS=a\\\\nb\n");
    f.close();
    EXPECT_EQ(m_app.GetLangString(QStringLiteral("IDS_TWO")), QStringLiteral("first\nsecond"));
    // Left to right without rescanning: "\\n" keeps its first backslash.
    EXPECT_EQ(m_app.GetLangString(QStringLiteral("IDS_BS")), QStringLiteral("a\\\nb"));
    EXPECT_EQ(m_app.GetLangString(QStringLiteral("IDS_NONE")), QStringLiteral("Not found"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[Setting]\nIDS_TWO=changed\n");
    f.close();
    EXPECT_EQ(m_app.GetLangString(QStringLiteral("IDS_TWO")), QStringLiteral("changed"));
}

TEST_F(LanguageTest, ShippedPacksCarryEveryKey) {
    const char* keys[] = {"IDS_START",
                          "IDS_STOP",
                          "IDS_TITTLE",
                          "IDS_DUAL",
                          "IDS_SINGLE",
                          "IDS_START_RECORD",
                          "IDS_STOP_RECORD",
                          "IDS_CANCEL",
                          "IDS_SAVE",
                          "IDS_DELETE_ONE",
                          "IDS_DELETE_ALL",
                          "IDS_DEVICE_NOTFOUND",
                          "IDS_DEVICE_INITFAIL",
                          "IDS_CREATE_FAIL",
                          "IDS_SAVE_FAIL",
                          "IDS_MENU_PAUSE",
                          "IDS_MENU_RESUME",
                          "IDS_MENU_NEXT_FRAME",
                          "IDS_MENU_PREVIOUS_FRAME",
                          "IDS_MENU_SYNC_COMPARE",
                          "IDS_MENU_SNAPSHOT",
                          "IDS_SNAPSHOT_FAIL"};
    for (const char* pack : {"English.ini", "日本語.ini", "简体中文.ini"}) {
        m_app.m_langFile = testing_support::SourceDir() + QStringLiteral("/res/Language/") +
                           QString::fromUtf8(pack);
        for (const char* key : keys) {
            const QString text = m_app.GetLangString(QString::fromLatin1(key));
            EXPECT_NE(text, QStringLiteral("Not found")) << pack << " " << key;
            EXPECT_FALSE(text.isEmpty()) << pack << " " << key;
        }
    }
}

// Qt's own buttons speak the pack's language, and go back to English with an English pack.
TEST_F(LanguageTest, QtStandardButtonsFollowThePack) {
    testing_support::CAppFolder folder;
    const auto cancelText = [] {
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        return box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&'));
    };
    const QString english = cancelText();
    EXPECT_EQ(english, QStringLiteral("Cancel"));
    Choose("ja_JP.UTF-8", folder.Path());
    EXPECT_EQ(cancelText(), QStringLiteral("キャンセル"));
    Choose("zh_CN.UTF-8", folder.Path());
    EXPECT_EQ(cancelText(), QStringLiteral("取消"));
    Choose("en_US.UTF-8", folder.Path());
    EXPECT_EQ(cancelText(), english);
}
