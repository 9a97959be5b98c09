// What the window benchmarks set up first: Qt on xcb (libVLC embeds video only in X11 windows),
// an application folder and log of their own, and no settle wait for the emulated camera; and
// the machine's load, printed beside their figures.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "capture/dscapture.h"
#include "platform/system.h"
#include "platform/win_app.h"

namespace bench {

inline void PrintLoad(const char* when) {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (f.open(QIODevice::ReadOnly))
        std::printf("load average %s: %s", when, f.readLine(64).constData());
}

// Runs the event loop until pred holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

class CBenchApp {
  public:
    CBenchApp(int& argc, char** argv) : m_app(OnXcb(argc), argv) {
        platform::SetModuleFolderForTesting(m_dir.path());
        AfxGetApp().m_log.Open((m_dir.path() + QStringLiteral("/bench.log")).toStdString());
        DsCapture::SetSettleDelayForTesting(0);
    }
    QString Dir() const { return m_dir.path(); }

  private:
    static int& OnXcb(int& argc) {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
        return argc;
    }

    QApplication m_app;
    QTemporaryDir m_dir;
};

}  // namespace bench
