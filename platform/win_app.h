// The framework's application object: runs the Qt application, and holds the two services every
// window reaches through AfxGetApp(): the language texts and the run's log.
#pragma once

#include <QString>
#include <memory>

#include "platform/log_file.h"
#include "platform/win_types.h"

class QApplication;

class CWinApp {
  public:
    // The newest application object alive is the one AfxGetApp() returns.
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Creates the Qt application, runs InitInstance and ExitInstance; the process exit code.
    int Run(int& argc, char** argv);

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    // The display text of an "IDS_" key from the active language pack.
    QString GetLangString(const QString& key) const;

    QString m_langFile;
    CLogFile m_log;

  private:
    std::unique_ptr<QApplication> m_qtApp;
    CWinApp* m_previous = nullptr;
};

// The application object. When the program made none (tests and tools of the lower layers), a
// plain framework object with no pack and a closed log. Any thread.
CWinApp& AfxGetApp();
