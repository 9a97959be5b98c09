// The About box (template 100).
#pragma once

#include "platform/dialog.h"

class CAboutDlg : public platform::CDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
