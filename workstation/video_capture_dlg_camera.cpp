// The camera's settings: kept values applied each time the camera is opened (at the start and
// after a replug), and the live pane's menu item that opens the settings dialog.
#include <QMenu>

#include "platform/v4l2/camera_controls.h"
#include "platform/v4l2/device_discovery.h"
#include "platform/win_app.h"
#include "workstation/camera_settings_dlg.h"
#include "workstation/video_capture_dlg.h"

void CVideoCaptureDlg::ApplyCameraSettings() {
    if (!m_pCapture) return;
    const auto camera = platform::v4l2::FindCaptureDevice(m_pCapture->DisplayName());
    if (!camera) return;
    platform::v4l2::CCameraControls controls;
    if (const int err = controls.Open(camera->node)) {
        AfxGetApp().m_log.WriteLog("camera settings not applied: %s\n", std::strerror(err));
        return;
    }
    const std::map<uint32_t, int32_t> kept =
        m_cameraSettings.Load(CCameraSettingsStore::SectionFor(*camera), controls.Query());
    if (kept.empty()) return;
    LogControlMismatches(controls.Apply(kept));
}

void CVideoCaptureDlg::AddCameraSettingsAction(QMenu& menu) {
    QAction* action =
        menu.addAction(AfxGetApp().GetLangString(QStringLiteral("IDS_CAMERA_SETTINGS")));
    action->setEnabled(m_pCapture != nullptr && !m_bDeviceLost);
    connect(action, &QAction::triggered, this, [this] { OpenCameraSettings(); });
}

void CVideoCaptureDlg::OpenCameraSettings() {
    if (!m_pCapture) return;
    const auto camera = platform::v4l2::FindCaptureDevice(m_pCapture->DisplayName());
    if (!camera) return;
    m_cameraDlg = new CCameraSettingsDlg(camera->node, CCameraSettingsStore::SectionFor(*camera),
                                         m_cameraSettings, this);
    m_cameraDlg->setAttribute(Qt::WA_DeleteOnClose);
    m_cameraDlg->show();
}

void CVideoCaptureDlg::InstallLivePaneMenu() {
    m_livePane.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&m_livePane, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        AddExamActions(menu);
        AddCameraSettingsAction(menu);
        menu.exec(m_livePane.mapToGlobal(at));
    });
}
