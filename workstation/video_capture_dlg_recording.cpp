// Record, stop and cancel. The window opens the clip and sets the recorder's flag; the camera
// thread writes while the flag is set and closes the file at its first frame after the stop.
// The recorder's lock keeps a frame between the open and the flag from closing the new file.
#include "platform/message_box.h"
#include "platform/system.h"
#include "platform/win_app.h"
#include "workstation/video_capture_dlg.h"

namespace {
constexpr int kClipFps = 25;
constexpr int kClipWidth = 640;
constexpr int kClipHeight = 480;
}  // namespace

QString CVideoCaptureDlg::TempFilePath() const {
    return m_videoDir + QStringLiteral("/temp.avi");
}

void CVideoCaptureDlg::OnRecord() {
    CWinApp& app = AfxGetApp();
    if (m_bRecording == 0) {
        const std::string path = platform::ToNarrowPath(TempFilePath());
        if (path.empty() || !m_recorder.Open(path, kClipFps, kClipWidth, kClipHeight)) {
            platform::AfxMessageBox(app.GetLangString(QStringLiteral("IDS_CREATE_FAIL")));
            return;
        }
        m_bRecording = 1;
        m_btnRecord.SetCaption(app.GetLangString(QStringLiteral("IDS_STOP_RECORD")), 18,
                               RGB(255, 255, 255));
        return;
    }
    m_bRecording = 0;
    m_recorder.Stop();
    ShowControl(IDC_BTN_SAVE, true);
    ShowControl(IDC_BTN_CANCEL, true);
    m_btnRecord.SetCaption(app.GetLangString(QStringLiteral("IDS_START_RECORD")), 18,
                           RGB(255, 255, 255));
    ShowControl(IDC_BTN_RECORD, false);
}

void CVideoCaptureDlg::OnCancelRecording() {
    ShowControl(IDC_BTN_SAVE, false);
    ShowControl(IDC_BTN_CANCEL, false);
    ShowControl(IDC_BTN_RECORD, true);
}

bool CVideoCaptureDlg::AbortRecording() {
    m_recorder.Stop();
    if (m_bRecording == 0) return false;
    if (m_bDualView == 0) {
        OnRecord();  // the Stopped state, as if the user had clicked
    } else {
        // The recording buttons are hidden in the dual view; the switch back shows Stopped.
        m_bRecording = 0;
        m_bStoppedUnseen = 1;
        m_btnRecord.SetCaption(AfxGetApp().GetLangString(QStringLiteral("IDS_START_RECORD")), 18,
                               RGB(255, 255, 255));
    }
    FinishRecordingFile();
    return true;
}

LRESULT CVideoCaptureDlg::OnRecordFail(WPARAM, LPARAM) {
    AbortRecording();
    ReportWriteFailure();
    return 0;
}

bool CVideoCaptureDlg::FinishRecordingFile() {
    if (m_recorder.Finish()) return true;
    AfxGetApp().m_log.WriteLog("clip recording failed: %s\n", m_recorder.LastError().c_str());
    ReportWriteFailure();
    return false;
}

void CVideoCaptureDlg::ReportWriteFailure() {
    platform::AfxMessageBox(AfxGetApp().GetLangString(QStringLiteral("IDS_WRITE_FAIL")));
}
