// The application object: start-up, the language pack, the log.
#pragma once

#include <QString>
#include <memory>

#include "app/log_file.h"
#include "platform/win_types.h"

class QApplication;

class CQuorvelApp {
  public:
    CQuorvelApp();
    virtual ~CQuorvelApp();
    CQuorvelApp(const CQuorvelApp&) = delete;
    CQuorvelApp& operator=(const CQuorvelApp&) = delete;

    // Creates the Qt application, runs InitInstance and ExitInstance; the process exit code.
    int Run(int& argc, char** argv);

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    // The display text of an "IDS_" key from the active language pack.
    QString GetLangString(const QString& key) const;

    // Start-up steps, in the order InitInstance runs them.
    void SelectLanguagePack(const QString& appFolder);
    void OpenRunLog(const QString& appFolder);

    QString m_langFile;
    CLogFile m_log;

  private:
    std::unique_ptr<QApplication> m_qtApp;
};

// The one application object.
CQuorvelApp& AfxGetApp();
