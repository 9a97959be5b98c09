#include "tests/support/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <filesystem>

#include "platform/system.h"

namespace testing_support {

platform::SYSTEMTIME LocalTime(int year, int month, int day, int hour, int minute, int second) {
    platform::SYSTEMTIME t;
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}

QString SourceDir() {
    return QStringLiteral(QUORVEL_SOURCE_DIR);
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void Pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

CAppFolder::CAppFolder(bool withPacks) {
    if (withPacks) {
        QDir(m_dir.path()).mkdir(QStringLiteral("Language"));
        const QDir packs(SourceDir() + QStringLiteral("/res/Language"));
        for (const QString& name : packs.entryList({QStringLiteral("*.ini")}, QDir::Files)) {
            QFile::copy(packs.filePath(name), m_dir.path() + QStringLiteral("/Language/") + name);
        }
    }
    platform::SetModuleFolderForTesting(m_dir.path());
}

CAppFolder::~CAppFolder() {
    platform::SetModuleFolderForTesting(QString());
}

int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

}  // namespace testing_support
