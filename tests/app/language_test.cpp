#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
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

// Every "IDS_..." key written as a string literal in the program's C++ sources (tests and
// build trees left out), so that a key added to the code and forgotten in a pack fails.
QStringList KeysUsedInTheSources() {
    const QString root = testing_support::SourceDir();
    const QRegularExpression literal(QStringLiteral("\"(IDS_[A-Z0-9_]+)\""));
    QSet<QString> keys;
    QDirIterator it(root, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        const QString top = relative.section('/', 0, 0);
        if (top == QStringLiteral("tests") || top.startsWith('.') ||
            QFile::exists(root + '/' + top + QStringLiteral("/CMakeCache.txt")))
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QString text = QString::fromUtf8(file.readAll());
        for (auto m = literal.globalMatch(text); m.hasNext();) keys.insert(m.next().captured(1));
    }
    QStringList sorted(keys.begin(), keys.end());
    sorted.sort();
    return sorted;
}

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

TEST_F(LanguageTest, ShippedPacksCarryEveryKeyTheCodeUses) {
    const QStringList keys = KeysUsedInTheSources();
    // The scan found the sources (a wrong folder would find nothing and prove nothing).
    ASSERT_FALSE(keys.isEmpty());
    const QDir packs(testing_support::SourceDir() + QStringLiteral("/res/Language"));
    const QStringList names = packs.entryList({QStringLiteral("*.ini")}, QDir::Files);
    for (const char* shipped : {"English.ini", "日本語.ini", "简体中文.ini"})
        EXPECT_TRUE(names.contains(QString::fromUtf8(shipped))) << shipped;
    for (const QString& pack : names) {
        m_app.m_langFile = packs.filePath(pack);
        for (const QString& key : keys) {
            const std::string text = m_app.GetLangString(key).toStdString();
            EXPECT_NE(text, "Not found") << pack.toStdString() << " " << key.toStdString();
            EXPECT_FALSE(text.empty()) << pack.toStdString() << " " << key.toStdString();
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
