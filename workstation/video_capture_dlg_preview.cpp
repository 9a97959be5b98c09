// Live frames: the camera thread waits in its send while the frame is painted, so this stays
// short: the frame goes into the pane without a pixel copy, the pane's previous frame goes back
// to the camera thread for the next decode, and the new one is painted at once.
#include <QPainter>

#include "platform/win_app.h"
#include "workstation/video_capture_dlg.h"

LRESULT CVideoCaptureDlg::OnCaptureFrame(WPARAM wParam, LPARAM) {
    AfxGetApp().m_log.WriteLog("frame triger!");
    auto* record = reinterpret_cast<FrameMessage*>(wParam);
    if (!record || record->frame.empty() || record->frame.type() != CV_8UC3) return 0;
    if (auto* pane = qobject_cast<CLivePane*>(GetDlgItem(record->targetId)))
        pane->ShowFrame(record->frame);
    return 0;
}
