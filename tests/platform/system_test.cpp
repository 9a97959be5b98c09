#include "platform/system.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <map>
#include <string>

#include "tests/support/test_support.h"

using platform::PrimaryLanguageFromLocale;

namespace {

// Sets the locale variables for one test and puts the old ones back.
class LocaleEnv {
  public:
    explicit LocaleEnv(const std::map<std::string, std::string>& values) {
        for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* old = std::getenv(var);
            if (old) m_saved[var] = old;
            unsetenv(var);
        }
        for (const auto& [k, v] : values) setenv(k.c_str(), v.c_str(), 1);
    }
    ~LocaleEnv() {
        for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(var);
        for (auto& [k, v] : m_saved) setenv(k.c_str(), v.c_str(), 1);
    }

  private:
    std::map<std::string, std::string> m_saved;
};

}  // namespace

TEST(Locale, PrimaryLanguageIds) {
    EXPECT_EQ(PrimaryLanguageFromLocale(QStringLiteral("zh_CN.UTF-8")), 0x04);
    EXPECT_EQ(PrimaryLanguageFromLocale(QStringLiteral("zh_TW")), 0x04);
    EXPECT_EQ(PrimaryLanguageFromLocale(QStringLiteral("en_US.UTF-8")), 0x09);
    EXPECT_EQ(PrimaryLanguageFromLocale(QStringLiteral("ja_JP.eucJP")), 0x11);
    EXPECT_EQ(PrimaryLanguageFromLocale(QStringLiteral("de_DE@euro")), 0x07);
    EXPECT_EQ(PrimaryLanguageFromLocale(QStringLiteral("ja:en")), 0x11);
    EXPECT_EQ(PrimaryLanguageFromLocale(QStringLiteral("C")), 0x00);
    EXPECT_EQ(PrimaryLanguageFromLocale(QStringLiteral("POSIX")), 0x00);
}

TEST(Locale, FirstSetVariableWins) {
    {
        LocaleEnv env(std::map<std::string, std::string>{{"LANG", "de_DE.UTF-8"},
                                                         {"LC_MESSAGES", "ja_JP.UTF-8"}});
        EXPECT_EQ(platform::GetUserDefaultUILanguage() & 0x3FF, 0x11);
    }
    {
        LocaleEnv env(std::map<std::string, std::string>{
            {"LANG", "ja_JP.UTF-8"}, {"LC_ALL", "zh_TW.UTF-8"}, {"LANGUAGE", "de"}});
        EXPECT_EQ(platform::GetUserDefaultUILanguage() & 0x3FF, 0x07);
    }
    {
        LocaleEnv env(std::map<std::string, std::string>{{"LANG", "zh_TW.UTF-8"}});
        EXPECT_EQ(platform::GetUserDefaultUILanguage() & 0x3FF, 0x04);
    }
}

TEST(Files, CopyReplacesOnlyWhenAllowedAndFailsOnMissingSource) {
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.avi"));
    const QString b = dir.filePath(QStringLiteral("子/b.avi"));
    QFile fa(a);
    ASSERT_TRUE(fa.open(QIODevice::WriteOnly));
    fa.write("first");
    fa.close();
    EXPECT_FALSE(platform::CopyFileW(a, b, false));  // folder missing
    EXPECT_TRUE(platform::CreateDirectoryW(dir.filePath(QStringLiteral("子"))));
    EXPECT_FALSE(platform::CreateDirectoryW(dir.filePath(QStringLiteral("子"))));
    EXPECT_TRUE(platform::CopyFileW(a, b, false));
    EXPECT_TRUE(platform::PathFileExistsW(b));
    EXPECT_FALSE(platform::CopyFileW(a, b, true));
    EXPECT_FALSE(platform::CopyFileW(dir.filePath(QStringLiteral("none.avi")), b, false));
    QFile fb(b);
    ASSERT_TRUE(fb.open(QIODevice::ReadOnly));
    EXPECT_EQ(fb.readAll(), QByteArray("first"));
}

TEST(Files, FileNamePartAndNarrowPath) {
    EXPECT_EQ(platform::PathFindFileNameW(QStringLiteral("/v/2025-03-05/090403.avi")),
              QStringLiteral("090403.avi"));
    EXPECT_EQ(platform::PathFindFileNameW(QStringLiteral("C:\\v\\clip.avi")),
              QStringLiteral("clip.avi"));
    EXPECT_EQ(platform::PathFindFileNameW(QStringLiteral("clip.avi")), QStringLiteral("clip.avi"));
    EXPECT_EQ(platform::ToNarrowPath(QStringLiteral("/tmp/视频.avi")),
              std::string("/tmp/\xE8\xA7\x86\xE9\xA2\x91.avi"));
}

TEST(Clock, FixedTimeForTests) {
    const platform::SYSTEMTIME t = testing_support::LocalTime(2025, 3, 5, 9, 4, 3);
    platform::SetLocalTimeForTesting(&t);
    EXPECT_EQ(platform::GetLocalTime().wHour, 9);
    platform::SetLocalTimeForTesting(nullptr);
    EXPECT_GE(platform::GetLocalTime().wYear, 2024);
}
