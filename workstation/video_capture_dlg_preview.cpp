// Live frames: the camera thread waits in its send while the frame is painted, so this stays
// short: the frame moves into the pane without a pixel copy and is painted at once.
#include <QPainter>

#include "platform/win_app.h"
#include "workstation/video_capture_dlg.h"

LRESULT CVideoCaptureDlg::OnCaptureFrame(WPARAM wParam, LPARAM) {
    AfxGetApp().m_log.WriteLog("frame triger!");
    std::unique_ptr<FrameMessage> record(reinterpret_cast<FrameMessage*>(wParam));
    if (!record) return 0;
    std::unique_ptr<cv::Mat> frame(record->frame);
    if (!frame || frame->empty() || frame->type() != CV_8UC3) return 0;
    if (auto* pane = qobject_cast<CLivePane*>(GetDlgItem(record->targetId)))
        pane->ShowFrame(std::move(*frame));
    return 0;
}
