#include "app/quorvel_app.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <string>

#include "app/quorvel_dlg.h"
#include "platform/app_paths.h"
#include "platform/message_box.h"
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

BOOL CQuorvelApp::InitInstance() {
    RegisterCaptionFontFallback();
    const QString appFolder = platform::GetModuleFolder();
    SelectLanguagePack(appFolder);
    OpenRunLog(appFolder);
    const std::string elsewhere = platform::CAppPaths::Choose(appFolder).Describe();
    if (!elsewhere.empty()) m_log.WriteLog("%s", elsewhere.c_str());

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
    QString qtLanguage;
    switch (primary) {
        case 0x04:
            name = QStringLiteral("简体中文.ini");
            qtLanguage = QStringLiteral("zh_CN");
            break;
        case 0x11:
            name = QStringLiteral("日本語.ini");
            qtLanguage = QStringLiteral("ja");
            break;
        default:
            name = QStringLiteral("English.ini");
            break;
    }
    LoadQtTranslation(qtLanguage);
    m_langFile = appFolder + QStringLiteral("/Language/") + name;
    if (!platform::PathFileExistsW(m_langFile)) {
        platform::AfxMessageBox(
            QStringLiteral("Language packs is missing, Please reinstall the Program!"),
            platform::MessageBoxIcon::Exclamation);
    }
}

void CQuorvelApp::LoadQtTranslation(const QString& qtLanguage) {
    if (m_qtTranslator) {
        QCoreApplication::removeTranslator(m_qtTranslator.get());
        m_qtTranslator.reset();
    }
    if (qtLanguage.isEmpty()) return;  // Qt's texts are English already
    auto translator = std::make_unique<QTranslator>();
    // Without Qt's translations installed the texts stay English; nothing else depends on them.
    if (!translator->load(QStringLiteral("qtbase_") + qtLanguage,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return;
    QCoreApplication::installTranslator(translator.get());
    m_qtTranslator = std::move(translator);
}

void CQuorvelApp::OpenRunLog(const QString& appFolder) {
    // An installed copy does not write beside itself: the log goes to the user's state folder.
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
