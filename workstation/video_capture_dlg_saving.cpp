// Save: copies the stopped recording into the video folder's folder of the day.
#include <QFile>

#include "platform/message_box.h"
#include "platform/system.h"
#include "platform/win_app.h"
#include "workstation/video_capture_dlg.h"

QString CVideoCaptureDlg::DayFolderPath(const QString& videoDir, int year, int month, int day) {
    return videoDir + QString::asprintf("/%04d-%02d-%02d", year, month, day);
}

QString CVideoCaptureDlg::ClipPath(const QString& dayFolder, int hour, int minute, int second) {
    return dayFolder + QString::asprintf("/%02d%02d%02d.avi", hour, minute, second);
}

QString CVideoCaptureDlg::UniqueClipPath(const QString& dayFolder, int hour, int minute,
                                         int second) {
    const QString first = ClipPath(dayFolder, hour, minute, second);
    if (!platform::PathFileExistsW(first)) return first;
    const QString stem = first.left(first.size() - 4);
    for (int n = 2;; ++n) {
        const QString candidate = stem + QStringLiteral("_%1.avi").arg(n);
        if (!platform::PathFileExistsW(candidate)) return candidate;
    }
}

void CVideoCaptureDlg::OnSaveRecording() {
    const QString temp = TempFilePath();
    if (!platform::PathFileExistsW(m_videoDir)) platform::CreateDirectoryW(m_videoDir);
    const platform::SYSTEMTIME st = platform::GetLocalTime();
    const QString day = DayFolderPath(m_videoDir, st.wYear, st.wMonth, st.wDay);
    if (!platform::PathFileExistsW(day)) platform::CreateDirectoryW(day);
    if (!platform::PathFileExistsW(temp)) return;

    // No frame may have come since the stop: then the file is still open and incomplete.
    FinishRecordingFile();
    // A clip saved earlier in the same second is never replaced.
    const QString clip = UniqueClipPath(day, st.wHour, st.wMinute, st.wSecond);
    if (!platform::CopyFileW(temp, clip, true)) {
        QFile::remove(clip);  // a partial copy (full disk) is no clip
        platform::AfxMessageBox(AfxGetApp().GetLangString(QStringLiteral("IDS_SAVE_FAIL")));
        return;
    }
    AddVideo(clip);
    RecordSavedClip(clip);
    ShowControl(IDC_BTN_CANCEL, false);
    ShowControl(IDC_BTN_SAVE, false);
    ShowControl(IDC_BTN_RECORD, true);
}
