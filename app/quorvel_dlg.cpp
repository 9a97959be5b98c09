#include "app/quorvel_dlg.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>

#include "app/about_dlg.h"
#include "platform/font_height.h"
#include "platform/resources.h"
#include "platform/win_app.h"
#include "res/resource.h"
#include "workstation/video_capture_dlg.h"

CQuorvelDlg::CQuorvelDlg(QWidget* parent)
    : platform::CDialog(IDD_QUORVEL_DIALOG, parent), m_hIcon(platform::LoadIconResource()) {
    connect(&m_btnStart, &QPushButton::clicked, this, [this] { OnBnClickedStart(); });
    connect(&m_btnEnd, &QPushButton::clicked, this, [this] { OnBnClickedEnd(); });
}

CQuorvelDlg::~CQuorvelDlg() = default;

QString CQuorvelDlg::AboutMenuText() {
    return QStringLiteral("关于 Quorvel(&A)...");
}

void CQuorvelDlg::DoDataExchange() {
    DDX_Control(IDC_BTN_START, &m_btnStart);
    DDX_Control(IDC_BTN_END, &m_btnEnd);
}

BOOL CQuorvelDlg::OnInitDialog() {
    setWindowIcon(m_hIcon);

    CWinApp& app = AfxGetApp();
    m_btnStart.SetPngImage(132);
    m_btnStart.SetCaption(app.GetLangString(QStringLiteral("IDS_START")), 24, RGB(255, 255, 255));
    m_btnEnd.SetPngImage(133);
    m_btnEnd.SetCaption(app.GetLangString(QStringLiteral("IDS_STOP")), 24, RGB(213, 13, 13));

    m_titleFont = QFont(QStringLiteral("Arial"));
    platform::SetCellHeight(m_titleFont, 35);
    m_titleFont.setWeight(QFont::Normal);
    m_bkBrush = QColor(255, 255, 255);

    if (auto* title = qobject_cast<QLabel*>(GetDlgItem(IDC_TITLE))) {
        title->setFont(m_titleFont);
        title->setText(app.GetLangString(QStringLiteral("IDS_TITTLE")));
    }
    setWindowTitle(QStringLiteral("TAVERIN"));

    // The logo is centred once; resizing the window later moves nothing.
    if (QWidget* logo = GetDlgItem(IDC_LOGO)) {
        const QRect r = logo->geometry();
        logo->setGeometry((width() - r.width()) / 2, r.top(), r.width(), r.height());
    }
    return TRUE;
}

platform::CtlColor CQuorvelDlg::OnCtlColor(QWidget* control) {
    platform::CtlColor color;
    color.background = m_bkBrush.isValid() ? m_bkBrush : QColor(Qt::white);
    if (control && platform::GetControlId(control) == IDC_TITLE) color.text = QColor(213, 13, 13);
    return color;
}

void CQuorvelDlg::OnSysCommand(int id) {
    if ((id & 0xFFF0) == kAboutCommand) {
        CAboutDlg about(this);
        about.DoModal();
    }
}

// Linux windows have no system menu to extend: the About entry lives in the window's context
// menu and on F1.
void CQuorvelDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addSeparator();
    QAction* about = menu.addAction(AboutMenuText());
    if (menu.exec(event->globalPos()) == about) OnSysCommand(kAboutCommand);
}

void CQuorvelDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        OnSysCommand(kAboutCommand);
        return;
    }
    platform::CDialog::keyPressEvent(event);
}

void CQuorvelDlg::OnBnClickedStart() {
    CVideoCaptureDlg dlg;
    dlg.setParent(this, dlg.windowFlags());
    dlg.DoModal();
}

void CQuorvelDlg::OnBnClickedEnd() {
    EndDialog(platform::IDCANCEL);
}
