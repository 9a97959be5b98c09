// The camera going away and coming back. The camera thread only posts WM_DEVICE_LOST; here, on
// the window's thread, the dead engine is closed, a running recording is closed whole, and a
// one-second watch restarts the engine through the set-up's own start sequence once a supported
// camera is listed again. The watch reads sysfs (through the device list) only while the camera
// is gone, so it costs nothing while the camera works.
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
    m_deviceWatch.start(kDeviceWatchMs);
    platform::AfxMessageBox(StopMessage(QStringLiteral("IDS_DEVICE_LOST"), emptyClip));
    return 0;
}

void CVideoCaptureDlg::OnDeviceWatch() {
    if (!m_bDeviceLost || !GetSafeHwnd()) {
        m_deviceWatch.stop();
        return;
    }
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
    CWinApp& app = AfxGetApp();
    const HRESULT hr = StartEngine(entry);
    if (FAILED(hr)) {
        m_pCapture.reset();  // not running: no camera thread to wait for
        const int err = dscap_errno(hr);
        app.m_log.WriteLog("device restart failed: 0x%08x %s\n", static_cast<unsigned>(hr),
                           err ? std::strerror(err) : "");
        // Right after a replug the node may not be ours yet; later, back off.
        m_watchWait = std::min(kMaxWatchWait, (1 << std::min(m_watchFailures, 4)) - 1);
        ++m_watchFailures;
        return;
    }
    m_devices = std::move(devices);
    m_lostDisplayName.clear();
    m_bDeviceLost = 0;
    m_deviceWatch.stop();
    app.m_log.WriteLog("device reconnected: %s\n", entry.friendlyName.toUtf8().constData());
}
