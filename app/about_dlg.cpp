#include "app/about_dlg.h"

CAboutDlg::CAboutDlg(QWidget* parent) : platform::CDialog(100, parent) {}
