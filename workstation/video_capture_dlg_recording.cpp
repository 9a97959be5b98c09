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
    // A clip without a single frame (no camera, or none of its frames decoded) is no use:
    // the user hears of it now rather than after saving it.
    if (StopRecording() == 0)
        platform::AfxMessageBox(app.GetLangString(QStringLiteral("IDS_EMPTY_CLIP")));
}

long long CVideoCaptureDlg::StopRecording() {
    m_bRecording = 0;
    const long long frames = m_recorder.Stop();
    ShowControl(IDC_BTN_SAVE, true);
    ShowControl(IDC_BTN_CANCEL, true);
    m_btnRecord.SetCaption(AfxGetApp().GetLangString(QStringLiteral("IDS_START_RECORD")), 18,
                           RGB(255, 255, 255));
    ShowControl(IDC_BTN_RECORD, false);
    return frames;
}

void CVideoCaptureDlg::OnCancelRecording() {
    ShowControl(IDC_BTN_SAVE, false);
    ShowControl(IDC_BTN_CANCEL, false);
    ShowControl(IDC_BTN_RECORD, true);
}

long long CVideoCaptureDlg::AbortRecording() {
    const long long frames = m_recorder.Stop();
    if (m_bRecording == 0) return -1;
    if (m_bDualView == 0) {
        StopRecording();  // the Stopped state, as if the user had clicked
    } else {
        // The recording buttons are hidden in the dual view; the switch back shows Stopped.
        m_bRecording = 0;
        m_bStoppedUnseen = 1;
        m_btnRecord.SetCaption(AfxGetApp().GetLangString(QStringLiteral("IDS_START_RECORD")), 18,
                               RGB(255, 255, 255));
    }
    FinishRecordingFile();
    return frames;
}

LRESULT CVideoCaptureDlg::OnRecordFail(WPARAM, LPARAM) {
    ReportWriteFailure(AbortRecording() == 0);
    return 0;
}

bool CVideoCaptureDlg::FinishRecordingFile() {
    if (m_recorder.Finish()) return true;
    AfxGetApp().m_log.WriteLog("clip recording failed: %s\n", m_recorder.LastError().c_str());
    ReportWriteFailure();
    return false;
}

void CVideoCaptureDlg::ReportWriteFailure(bool emptyClip) {
    platform::AfxMessageBox(StopMessage(QStringLiteral("IDS_WRITE_FAIL"), emptyClip));
}

QString CVideoCaptureDlg::StopMessage(const QString& key, bool emptyClip) {
    const CWinApp& app = AfxGetApp();
    // One box that tells both, rather than a second box after the first.
    if (!emptyClip) return app.GetLangString(key);
    return app.GetLangString(key) + QStringLiteral("\n\n") +
           app.GetLangString(QStringLiteral("IDS_EMPTY_CLIP"));
}
