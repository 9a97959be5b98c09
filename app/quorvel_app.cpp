#include "app/quorvel_app.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <csignal>
#include <cstdlib>

#include "app/quorvel_dlg.h"
#include "platform/app_paths.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "platform/system.h"

namespace {

// The caption face of the image buttons; fontconfig has no such face on Linux, so it falls
// back to a CJK face that carries Chinese and Japanese.
void RegisterCaptionFontFallback() {
    QFont::insertSubstitutions(
        QStringLiteral("微软雅黑"),
        {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK JP"),
         QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback")});
}

}  // namespace

CQuorvelApp::CQuorvelApp() = default;
CQuorvelApp::~CQuorvelApp() = default;

CQuorvelApp& AfxGetApp() {
    static CQuorvelApp theApp;
    return theApp;
}

int CQuorvelApp::Run(int& argc, char** argv) {
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

BOOL CQuorvelApp::InitInstance() {
    RegisterCaptionFontFallback();
    const QString appFolder = platform::GetModuleFolder();
    SelectLanguagePack(appFolder);
    OpenRunLog(appFolder);
    m_log.WriteLog("%s", platform::CAppPaths::Choose(appFolder).Describe().c_str());

    CQuorvelDlg dlg;
    dlg.DoModal();
    return FALSE;
}

int CQuorvelApp::ExitInstance() {
    return 0;
}

void CQuorvelApp::SelectLanguagePack(const QString& appFolder) {
    const int primary = platform::GetUserDefaultUILanguage() & 0x3FF;
    QString name;
    switch (primary) {
        case 0x04:
            name = QStringLiteral("简体中文.ini");
            break;
        case 0x11:
            name = QStringLiteral("日本語.ini");
            break;
        default:
            name = QStringLiteral("English.ini");
            break;
    }
    m_langFile = appFolder + QStringLiteral("/Language/") + name;
    if (!platform::PathFileExistsW(m_langFile)) {
        platform::AfxMessageBox(
            QStringLiteral("Language packs is missing, Please reinstall the Program!"),
            platform::MessageBoxIcon::Exclamation);
    }
}

void CQuorvelApp::OpenRunLog(const QString& appFolder) {
    // An installed copy cannot write beside itself: the log goes to the user's state folder.
    const platform::CAppPaths paths = platform::CAppPaths::Choose(appFolder);
    const std::string folderError = paths.CreateParentFolders();
    const QString logFolder = paths.LogFolder();
    if (!platform::PathFileExistsW(logFolder)) platform::CreateDirectoryW(logFolder);
    const platform::SYSTEMTIME st = platform::GetLocalTime();
    const QString name =
        QString::asprintf("%s/%04d%02d%02d_%02d%02d%02d.txt", logFolder.toUtf8().constData(),
                          st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
    m_log.Open(name.toStdString());
    if (!folderError.empty()) m_log.WriteLog("%s", folderError.c_str());
}

QString CQuorvelApp::GetLangString(const QString& key) const {
    QString text = platform::GetPrivateProfileStringW(
        QStringLiteral("Setting"), key, QStringLiteral("Not found"), 1000, m_langFile);
    text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    return text;
}
