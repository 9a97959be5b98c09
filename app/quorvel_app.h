// The application object: start-up, the language pack, the log.
#pragma once

#include <QString>
#include <QTranslator>
#include <memory>

#include "platform/win_app.h"

class CQuorvelApp : public CWinApp {
  public:
    CQuorvelApp();
    ~CQuorvelApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    // Start-up steps, in the order InitInstance runs them.
    void SelectLanguagePack(const QString& appFolder);
    void OpenRunLog(const QString& appFolder);

  private:
    // Qt's own texts (standard buttons, file dialogs) in the pack's language.
    void LoadQtTranslation(const QString& qtLanguage);

    std::unique_ptr<QTranslator> m_qtTranslator;
};
