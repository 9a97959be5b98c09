#include "workstation/video_capture_dlg.h"

#include <QLabel>
#include <cstring>

#include "capture/device_discovery.h"
#include "platform/app_paths.h"
#include "platform/message_box.h"
#include "platform/system.h"
#include "platform/win_app.h"

CVideoCaptureDlg::CVideoCaptureDlg() : platform::CDialog(IDD_VIDEO_CAPTURE_DIALOG) {
    SetNoSizingBorder();  // the template's frame: maximize and restore only
    OnMessage(WM_CAPTURE_FRAME, [this](WPARAM w, LPARAM l) { return OnCaptureFrame(w, l); });
    OnMessage(WM_LIST_DROP, [this](WPARAM w, LPARAM l) { return OnListDrop(w, l); });
    OnMessage(WM_RECORD_FAIL, [this](WPARAM w, LPARAM l) { return OnRecordFail(w, l); });
    OnMessage(WM_DEVICE_LOST, [this](WPARAM w, LPARAM l) { return OnDeviceLost(w, l); });
    connect(&m_deviceWatch, &QTimer::timeout, this, [this] { OnDeviceWatch(); });
    m_settleTimer.setSingleShot(true);
    connect(&m_settleTimer, &QTimer::timeout, this, [this] { OnEngineSettled(); });
    connect(&m_btnRecord, &QPushButton::clicked, this, [this] { OnRecord(); });
    connect(&m_btnCancel, &QPushButton::clicked, this, [this] { OnCancelRecording(); });
    connect(&m_btnSave, &QPushButton::clicked, this, [this] { OnSaveRecording(); });
    connect(&m_btnDeleteOne, &QPushButton::clicked, this, [this] { OnDeleteSelectedVideo(); });
    connect(&m_btnDeleteAll, &QPushButton::clicked, this, [this] { OnDeleteAllVideos(); });
    connect(&m_btnView, &QPushButton::clicked, this, [this] { OnToggleView(); });
    connect(&m_btnOpen, &QPushButton::clicked, this, [this] { OnOpenVideoFile(); });
    m_review = std::make_unique<CPlaybackReview>(*this);
}

CVideoCaptureDlg::~CVideoCaptureDlg() {
    m_review.reset();  // it asks for the players
    m_deviceWatch.stop();
    m_settleTimer.stop();
    // The window is gone, so the camera thread no longer waits on it: the engine can stop.
    DestroyWindow();
    m_pCapture.reset();
    // No camera thread any more: a clip still open is closed here, whole.
    m_recorder.Stop();
    if (!m_recorder.Finish())
        AfxGetApp().m_log.WriteLog("clip recording failed: %s\n", m_recorder.LastError().c_str());
    m_pPlayer1.reset();
    m_pPlayer2.reset();
}

void CVideoCaptureDlg::DoDataExchange() {
    DDX_Control(IDC_LIVE_PANE, &m_livePane);
    DDX_Control(IDC_VIDEO_LIST, &m_videoList);
    DDX_Control(IDC_PANE1, &m_pane1);
    DDX_Control(IDC_PANE2, &m_pane2);
    DDX_Control(IDC_BTN_VIEW, &m_btnView);
    DDX_Control(IDC_BTN_RECORD, &m_btnRecord);
    DDX_Control(IDC_BTN_CANCEL, &m_btnCancel);
    DDX_Control(IDC_BTN_SAVE, &m_btnSave);
    DDX_Control(IDC_BTN_DELETE_ONE, &m_btnDeleteOne);
    DDX_Control(IDC_BTN_DELETE_ALL, &m_btnDeleteAll);
    DDX_Control(IDC_BTN_OPEN, &m_btnOpen);
}

BOOL CVideoCaptureDlg::OnInitDialog() {
    CWinApp& app = AfxGetApp();
    m_devices.clear();
    std::vector<CaptureDeviceEntry> devices = dscap_enum_device();
    if (devices.empty()) {
        platform::AfxMessageBox(app.GetLangString(QStringLiteral("IDS_DEVICE_NOTFOUND")));
        app.m_log.WriteLog("device not found!");
        EndDialog(platform::IDCANCEL);
    } else {
        app.m_log.WriteLog("dscap_enum_device number is  %d\n", static_cast<int>(devices.size()));
        m_devices = std::move(devices);
        StartCapture();
    }

    ShowControl(IDC_BTN_CANCEL, false);
    ShowControl(IDC_BTN_SAVE, false);

    m_videoDir = platform::CAppPaths::ForModule().VideoFolder();
    m_bkBrush = QColor(255, 255, 255);
    if (!platform::PathFileExistsW(m_videoDir)) platform::CreateDirectoryW(m_videoDir);
    StartExamSession();

    RebuildVideoList(ListClientHeight() - 20);

    const struct {
        CGdipButton* button;
        int png;
        const char* key;
        COLORREF color;
    } dressing[] = {
        {&m_btnView, 132, "IDS_DUAL", RGB(255, 255, 255)},
        {&m_btnRecord, 132, "IDS_START_RECORD", RGB(255, 255, 255)},
        {&m_btnCancel, 133, "IDS_CANCEL", RGB(213, 13, 13)},
        {&m_btnSave, 132, "IDS_SAVE", RGB(255, 255, 255)},
        {&m_btnDeleteOne, 135, "IDS_DELETE_ONE", RGB(0, 0, 0)},
        {&m_btnDeleteAll, 136, "IDS_DELETE_ALL", RGB(255, 255, 255)},
        {&m_btnOpen, 138, nullptr, 0},
    };
    for (const auto& d : dressing) {
        d.button->SetPngImage(d.png);
        if (d.key) d.button->SetCaption(app.GetLangString(QString::fromLatin1(d.key)), 16, d.color);
    }

    StoreLayoutRects();
    InstallLivePaneMenu();
    m_videoList.SetNotifyWnd(GetSafeHwnd());
    return TRUE;
}

void CVideoCaptureDlg::StartCapture() {
    const HRESULT hr = StartEngine(m_devices.front());
    if (SUCCEEDED(hr)) return;
    CWinApp& app = AfxGetApp();
    const bool denied = dscap_access_denied(hr);
    platform::AfxMessageBox(denied ? AccessDeniedText()
                                   : app.GetLangString(QStringLiteral("IDS_DEVICE_INITFAIL")));
    app.m_log.WriteLog("device init fail!");
    // The reason follows on a line of its own, where the system gave one.
    if (const int err = dscap_errno(hr)) {
        if (denied)
            app.m_log.WriteLog("device access denied: %s\n", std::strerror(err));
        else
            app.m_log.WriteLog("device start failed: %s\n", std::strerror(err));
    }
}

HRESULT CVideoCaptureDlg::OpenEngine(const CaptureDeviceEntry& entry) {
    m_pCapture.reset(dscap_open_device(this, entry));
    if (!m_pCapture) return E_FAIL;
    if (m_pCapture->IsRunning() && !m_pCapture->Stop()) return E_FAIL;
    if (m_pCapture->IsGraphBuilt()) m_pCapture->DismantleGraph();
    m_pCapture->ReleaseInterfaces();
    return m_pCapture->OpenSource();
}

HRESULT CVideoCaptureDlg::StartEngine(const CaptureDeviceEntry& entry) {
    HRESULT hr = OpenEngine(entry);
    if (FAILED(hr)) return hr;
    hr = m_pCapture->BuildGraph();
    if (FAILED(hr)) return hr;
    if (!m_pCapture->Run()) return E_FAIL;
    ApplyCameraSettings();
    return S_OK;
}

QString CVideoCaptureDlg::AccessDeniedText(const QString& appFolder) {
    // The package's udev rule lets the seated user open the camera; a build tree needs the group.
    const bool installed = platform::CAppPaths::IsInstalledLocation(appFolder);
    return AfxGetApp().GetLangString(installed ? QStringLiteral("IDS_DEVICE_DENIED_INSTALLED")
                                               : QStringLiteral("IDS_DEVICE_DENIED"));
}

platform::CtlColor CVideoCaptureDlg::OnCtlColor(QWidget* control) {
    platform::CtlColor color;
    color.background = m_bkBrush.isValid() ? m_bkBrush : QColor(Qt::white);
    const int id = control ? platform::GetControlId(control) : 0;
    if (id == IDC_LIVE_PANE) color.noBrush = true;  // the frames are the pane's only paint
    return color;
}

void CVideoCaptureDlg::SetLabelText(int id, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(GetDlgItem(id))) label->setText(text);
}

void CVideoCaptureDlg::ShowControl(int id, bool show) {
    if (QWidget* w = GetDlgItem(id)) w->setVisible(show);
}
