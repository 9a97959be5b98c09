#include "app/about_dlg.h"

#include "res/resource.h"

CAboutDlg::CAboutDlg(QWidget* parent) : platform::CDialog(IDD_ABOUTBOX, parent) {}
