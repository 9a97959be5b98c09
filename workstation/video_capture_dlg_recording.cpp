// Record, stop and cancel. The window opens the writer and sets the flag; the camera thread
// writes while the flag is set and closes the file at its first frame after the stop. Both
// sides take the writer lock, so a frame between the open and the flag cannot close the new file.
#include <opencv2/videoio.hpp>

#include "app/quorvel_app.h"
#include "platform/message_box.h"
#include "platform/system.h"
#include "workstation/video_capture_dlg.h"

namespace {
constexpr int kRecord = 1009;
constexpr int kCancel = 1010;
constexpr int kSave = 1011;
}  // namespace

QString CVideoCaptureDlg::TempFilePath() const {
    return m_videoDir + QStringLiteral("/temp.avi");
}

void CVideoCaptureDlg::OnRecord() {
    CQuorvelApp& app = AfxGetApp();
    if (m_bRecording.load() == 0) {
        const std::string path = platform::ToNarrowPath(TempFilePath());
        bool opened = false;
        if (!path.empty()) {
            std::lock_guard lock(m_writerMutex);
            opened = m_writer.open(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0,
                                   cv::Size(640, 480), true);
            if (opened) m_bRecording.store(1);
        }
        if (!opened) {
            platform::AfxMessageBox(app.GetLangString(QStringLiteral("IDS_CREATE_FAIL")));
            return;
        }
        m_btnRecord.SetCaption(app.GetLangString(QStringLiteral("IDS_STOP_RECORD")), 18,
                               RGB(255, 255, 255));
        return;
    }
    m_bRecording.store(0);
    ShowControl(kSave, true);
    ShowControl(kCancel, true);
    m_btnRecord.SetCaption(app.GetLangString(QStringLiteral("IDS_START_RECORD")), 18,
                           RGB(255, 255, 255));
    ShowControl(kRecord, false);
}

void CVideoCaptureDlg::OnCancelRecording() {
    ShowControl(kSave, false);
    ShowControl(kCancel, false);
    ShowControl(kRecord, true);
}

void CVideoCaptureDlg::FinishRecordingFile() {
    std::lock_guard lock(m_writerMutex);
    if (m_bRecording.load() == 0 && m_writer.isOpened()) m_writer.release();
}
