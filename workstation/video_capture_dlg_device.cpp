// The camera going away and coming back. The camera thread only posts WM_DEVICE_LOST; here, on
// the window's thread, the dead engine is closed, a running recording is closed whole, and a
// one-second watch restarts the engine through the set-up's own start sequence once a supported
// camera is listed again. The camera's settle pause within that sequence runs on a timer, not
// in a sleep, so the window never freezes at a replug. The watch reads sysfs (through the
// device list, which opens only supported cameras) only while the camera is gone, so it costs
// nothing while the camera works.
#include <algorithm>
#include <cstring>

#include "capture/device_discovery.h"
#include "platform/message_box.h"
#include "platform/win_app.h"
#include "workstation/video_capture_dlg.h"

namespace {
constexpr int kMaxWatchWait = 15;  // ticks: a camera that keeps failing is retried less often
}  // namespace

LRESULT CVideoCaptureDlg::OnDeviceLost(WPARAM wParam, LPARAM) {
    if (m_bDeviceLost) return 0;
    m_bDeviceLost = 1;
    CWinApp& app = AfxGetApp();
    const int err = static_cast<int>(wParam);
    app.m_log.WriteLog("device lost: %s\n", std::strerror(err ? err : ENODEV));
    if (m_pCapture) m_lostDisplayName = m_pCapture->DisplayName();
    // Its stream has ended, so no camera thread waits on this window: closing cannot block.
    m_pCapture.reset();
    const bool emptyClip = AbortRecording() == 0;
    m_watchFailures = 0;
    m_watchWait = 0;
    m_deniedShown = false;
    m_deviceWatch.start(kDeviceWatchMs);
    platform::AfxMessageBox(StopMessage(QStringLiteral("IDS_DEVICE_LOST"), emptyClip));
    return 0;
}

void CVideoCaptureDlg::OnDeviceWatch() {
    if (!m_bDeviceLost || !GetSafeHwnd()) {
        m_deviceWatch.stop();
        return;
    }
    if (m_settleTimer.isActive()) return;
    if (m_watchWait > 0) {
        --m_watchWait;
        return;
    }
    std::vector<CaptureDeviceEntry> devices = dscap_enum_device();
    if (devices.empty()) return;
    // The same USB port first: its path is part of the display name.
    auto same = std::find_if(devices.begin(), devices.end(), [&](const CaptureDeviceEntry& e) {
        return e.displayName == m_lostDisplayName;
    });
    const CaptureDeviceEntry entry = same != devices.end() ? *same : devices.front();
    HRESULT hr = OpenEngine(entry);
    if (SUCCEEDED(hr)) hr = m_pCapture->BeginBuildGraph();
    if (FAILED(hr)) {
        OnRestartFailed(hr);
        return;
    }
    // The camera needs its pause before it is asked for a format; the window keeps painting.
    m_restartDevices = std::move(devices);
    m_restartName = entry.friendlyName;
    m_deviceWatch.stop();
    m_settleTimer.start(static_cast<int>(DsCapture::SettleDelayMs()));
}

void CVideoCaptureDlg::OnEngineSettled() {
    if (!m_bDeviceLost || !GetSafeHwnd()) return;
    HRESULT hr = m_pCapture ? m_pCapture->FinishBuildGraph() : E_FAIL;
    if (SUCCEEDED(hr) && !m_pCapture->Run()) hr = E_FAIL;
    if (FAILED(hr)) {
        m_deviceWatch.start(kDeviceWatchMs);
        OnRestartFailed(hr);
        return;
    }
    // A replugged camera starts at its defaults: the kept values go back first thing.
    ApplyCameraSettings();
    m_devices = std::move(m_restartDevices);
    m_restartDevices.clear();
    m_lostDisplayName.clear();
    m_bDeviceLost = 0;
    AfxGetApp().m_log.WriteLog("device reconnected: %s\n", m_restartName.toUtf8().constData());
}

void CVideoCaptureDlg::OnRestartFailed(HRESULT hr) {
    m_pCapture.reset();  // not running: no camera thread to wait for
    m_restartDevices.clear();
    CWinApp& app = AfxGetApp();
    const int err = dscap_errno(hr);
    app.m_log.WriteLog("device restart failed: 0x%08x %s\n", static_cast<unsigned>(hr),
                       err ? std::strerror(err) : "");
    // Right after a replug the node may not be ours yet; later, back off.
    m_watchWait = std::min(kMaxWatchWait, (1 << std::min(m_watchFailures, 4)) - 1);
    ++m_watchFailures;
    // Only the user can mend a denied camera: told once per loss, as at the set-up. Last, for
    // the box runs the event loop and the watch ticks meanwhile.
    if (dscap_access_denied(hr) && !m_deniedShown) {
        m_deniedShown = true;
        platform::AfxMessageBox(AccessDeniedText());
    }
}
