// The start window (template 102): logo, the device's name, start and end buttons.
#pragma once

#include <QFont>
#include <QIcon>

#include "controls/gdip_button.h"
#include "platform/dialog.h"

class CQuorvelDlg : public platform::CDialog {
    Q_OBJECT
  public:
    static constexpr int kAboutCommand = 0x0010;
    static constexpr int kAboutStringId = 101;

    explicit CQuorvelDlg(QWidget* parent = nullptr);
    ~CQuorvelDlg() override;

    // The About entry's text (string resource 101).
    static QString AboutMenuText();

    void OnSysCommand(int id);
    void OnBnClickedStart();
    void OnBnClickedEnd();

  protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    platform::CtlColor OnCtlColor(QWidget* control) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Bound to IDC_BTN_START and IDC_BTN_END: others reach them through GetDlgItem.
    CGdipButton m_btnStart;
    CGdipButton m_btnEnd;
    QFont m_titleFont;
    QColor m_bkBrush;
    QIcon m_hIcon;
};
