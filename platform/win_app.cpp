#include "platform/win_app.h"

#include <QApplication>
#include <atomic>
#include <csignal>
#include <cstdlib>

#include "platform/profile.h"

namespace {
// Read by the camera thread when it logs; application objects are made and destroyed on the UI
// thread, before and after the camera runs.
std::atomic<CWinApp*> g_currentApp{nullptr};
}  // namespace

CWinApp::CWinApp() : m_previous(g_currentApp.exchange(this)) {}

CWinApp::~CWinApp() {
    CWinApp* self = this;
    g_currentApp.compare_exchange_strong(self, m_previous);
}

CWinApp& AfxGetApp() {
    if (CWinApp* app = g_currentApp.load()) return *app;
    static CWinApp frameworkApp;
    return frameworkApp;
}

int CWinApp::Run(int& argc, char** argv) {
    // libVLC embeds its video only in X11 windows; a platform the user chose is kept.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    // A file-size limit must fail the clip's write (EFBIG), which the recorder reports, instead
    // of killing the process in the middle of a recording.
    std::signal(SIGXFSZ, SIG_IGN);
    m_qtApp = std::make_unique<QApplication>(argc, argv);
    InitInstance();
    const int code = ExitInstance();
    m_qtApp.reset();
    return code;
}

BOOL CWinApp::InitInstance() {
    return FALSE;
}

int CWinApp::ExitInstance() {
    return 0;
}

QString CWinApp::GetLangString(const QString& key) const {
    QString text = platform::GetPrivateProfileStringW(
        QStringLiteral("Setting"), key, QStringLiteral("Not found"), 1000, m_langFile);
    text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    return text;
}
