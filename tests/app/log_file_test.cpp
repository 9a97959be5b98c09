#include "platform/log_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <thread>

#include "app/quorvel_app.h"
#include "platform/system.h"
#include "tests/support/test_support.h"

namespace {

QStringList Lines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n');
}

}  // namespace

TEST(LogFile, EachCallIsOneLineOfExactlyTheText) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    {
        CLogFile log;
        log.Open(path.toStdString());
        ASSERT_TRUE(log.IsOpen());
        log.WriteLog("device not found!");
        log.WriteLog("dscap_enum_device number is  %d\n", 2);
        log.WriteLog("frame triger!");
        // Written and flushed before WriteLog returns.
        EXPECT_EQ(Lines(path).mid(0, 4),
                  (QStringList{"device not found!", "dscap_enum_device number is  2", "",
                               "frame triger!"}));
    }
}

TEST(LogFile, ClosedLogWritesNoticeToStandardError) {
    CLogFile log;
    testing::internal::CaptureStderr();
    log.WriteLog("BufferCB..call \n");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Log file not opened.\n");
    QTemporaryDir dir;
    log.Open(dir.filePath(QStringLiteral("no/such/folder/x.txt")).toStdString());
    EXPECT_FALSE(log.IsOpen());
}

TEST(LogFile, LinesFromTwoThreadsNeverInterleave) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    {
        CLogFile log;
        log.Open(path.toStdString());
        auto writer = [&log](const char* tag) {
            for (int i = 0; i < 2000; ++i)
                log.WriteLog("%s line %04d %s", tag, i, "payload-payload");
        };
        std::thread a(writer, "AAAA");
        std::thread b(writer, "BBBB");
        a.join();
        b.join();
    }
    const QStringList lines = Lines(path);
    ASSERT_EQ(lines.size(), 4001);  // the last "line" is the empty text after the final break
    const QRegularExpression shape(QStringLiteral("^(AAAA|BBBB) line \\d{4} payload-payload$"));
    int a = 0;
    for (int i = 0; i < 4000; ++i) {
        ASSERT_TRUE(shape.match(lines[i]).hasMatch()) << lines[i].toStdString();
        if (lines[i].startsWith(QStringLiteral("AAAA"))) ++a;
    }
    EXPECT_EQ(a, 2000);
}

TEST(LogFile, RunLogIsNamedAfterStartTimeAndSameSecondAppends) {
    QTemporaryDir dir;
    platform::SYSTEMTIME t = testing_support::LocalTime(2025, 6, 3, 14, 5, 9);
    platform::SetLocalTimeForTesting(&t);
    {
        CQuorvelApp first;
        first.OpenRunLog(dir.path());
        first.m_log.WriteLog("first run");
    }
    {
        CQuorvelApp second;
        second.OpenRunLog(dir.path());  // Log/ exists now: reused
        second.m_log.WriteLog("second run");
    }
    t.wSecond = 10;
    platform::SetLocalTimeForTesting(&t);
    {
        CQuorvelApp third;
        third.OpenRunLog(dir.path());
    }
    platform::SetLocalTimeForTesting(nullptr);
    const QString log = dir.filePath(QStringLiteral("Log/20250603_140509.txt"));
    EXPECT_EQ(Lines(log).mid(0, 2), (QStringList{"first run", "second run"}));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("Log/20250603_140510.txt"))));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("Log"))).entryList(QDir::Files).size(), 2);
}

TEST(LogFile, UnwritableLogFolderLeavesTheLogClosed) {
    QTemporaryDir dir;
    // A file where the Log folder should be: the folder cannot be made, nor the log opened.
    QFile blocker(dir.filePath(QStringLiteral("Log")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CQuorvelApp app;
    app.OpenRunLog(dir.path());
    EXPECT_FALSE(app.m_log.IsOpen());
}
