// The capture window (template 130): live picture, recording and saving, the clip strip, two
// looping playback panes and the view switch. One class; its sources are split by concern:
//   video_capture_dlg.cpp            construction, set-up, colours, teardown
//   video_capture_dlg_preview.cpp    live frames from the camera thread
//   video_capture_dlg_recording.cpp  record, stop, cancel
//   video_capture_dlg_saving.cpp     save into the folder of the day
//   video_capture_dlg_video_list.cpp the clip strip and its thumbnails
//   video_capture_dlg_playback.cpp   drop-to-play and the view switch
//   video_capture_dlg_layout.cpp     proportional layout
//   video_capture_dlg_exam.cpp       the exam: patient, visit and finger of each saved clip
//   video_capture_dlg_camera.cpp     camera settings: applied at each opening, the dialog
#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

#include "capture/camera_settings_store.h"
#include "capture/capture_window.h"
#include "capture/dscapture.h"
#include "controls/gdip_button.h"
#include "controls/my_picture_ctrl.h"
#include "platform/dialog.h"
#include "platform/image_list.h"
#include "platform/system.h"
#include "playback/drag_list_ctrl.h"
#include "playback/vlc_instance_warmer.h"
#include "playback/vlc_player.h"
#include "playback/vlc_player_retirer.h"
#include "res/resource.h"
#include "workstation/camera_settings_dlg.h"
#include "workstation/exam_session.h"
#include "workstation/first_frame_reader.h"
#include "workstation/live_pane.h"
#include "workstation/pacs_link.h"
#include "workstation/playback_review.h"
#include "workstation/report_job.h"
#include "workstation/thumbnail_cache.h"
#include "workstation/worklist_job.h"

class CExamDlg;
class QMenu;

class CVideoCaptureDlg : public platform::CDialog, public ICaptureWindow {
    Q_OBJECT
  public:
    CVideoCaptureDlg();
    ~CVideoCaptureDlg() override;

    // ICaptureWindow: what the frame callback on the camera thread reaches.
    HWND GetCaptureHwnd() const override { return GetSafeHwnd(); }
    CClipRecorder& Recorder() override { return m_recorder; }
    int FrameTargetId() const override { return IDC_LIVE_PANE; }

    // Handlers.
    LRESULT OnCaptureFrame(WPARAM wParam, LPARAM lParam);
    LRESULT OnListDrop(WPARAM wParam, LPARAM lParam);
    // Plays path in pane 0 (1007) or 1 (1008), its label showing labelText.
    void PlayInPane(int index, const QString& path, const QString& labelText);
    // Ctrl+E and the live pane's menu.
    void OnExamDialog();
    // What the exam dialog's buttons do in this window: clips into the strip, a report.
    void ConnectExamDlg(CExamDlg& dlg);
    // A visit's report as PDF in its day folder, opened with the desktop's viewer.
    void OnReport(const Visit& visit);
    // What opens a report once written; the desktop's viewer unless set.
    void SetReportOpener(std::function<void(const QString& path)> open) {
        m_openReport = std::move(open);
    }
    // The strip's menu: this clip in pane 1, the same finger of the latest earlier visit in
    // pane 2, in the dual view; a message when there is none.
    void OnCompareWithLastVisit(const QString& clip);
    // The recorder failed on the camera thread: it has closed the clip and stopped.
    LRESULT OnRecordFail(WPARAM wParam, LPARAM lParam);
    // The camera's stream ended because the device went away (posted by the camera thread).
    LRESULT OnDeviceLost(WPARAM wParam, LPARAM lParam);
    void OnRecord();
    void OnCancelRecording();
    // Stops a running recording without the user (a write failure, the camera gone): the clip
    // is closed whole and the buttons show the Stopped state, so Save saves it. The frames the
    // clip holds; -1 when no recording was running.
    long long AbortRecording();
    void OnSaveRecording();
    void OnDeleteSelectedVideo();
    void OnDeleteAllVideos();
    void OnOpenVideoFile();
    void OnToggleView();

    // The clip strip.
    void AddVideo(const QString& path);
    void AddVideoItem(QString path);
    // Asks for the first frame of path unless it is at hand or on its way; a file changed since
    // it was read is read again.
    void RequestFirstFrame(const QString& path);
    void SetStripCellSize(int w, int h);
    static QImage MakeThumbnailBitmap(const cv::Mat& frame, int width, int height);
    static int ThumbnailWidth(int height);
    // The size the strip's first frames are kept at: what the largest thumbnail needs on the
    // tallest screen, or on a screen screenHeight tall.
    cv::Size CachedFrameSize() const;
    cv::Size CachedFrameSize(int screenHeight) const;
    void RebuildVideoList(int h);
    // The strip at thumbnail height h after a resize: the entries stay, their pictures are
    // scaled again a few at a time from the event loop (RescaleStripStep), so that no turn of
    // it stalls the window.
    void ResizeStrip(int h);
    void RescaleStripStep();
    // First frames still being read for the strip.
    int PendingThumbnails() const { return m_thumbnails.PendingCount(); }

    // Layout.
    void StoreLayoutRects();

    // The exam chosen, the records of saves and measurements; made at set-up.
    CExamSession* Exam() { return m_exam.get(); }

    // Temporary recording file and the day folder's clip name for a clock reading.
    QString TempFilePath() const;
    static QString DayFolderPath(const QString& videoDir, int year, int month, int day);
    static QString ClipPath(const QString& dayFolder, int hour, int minute, int second);
    // The first of ClipPath, then "_2", "_3", ... before ".avi" that names no existing file.
    static QString UniqueClipPath(const QString& dayFolder, int hour, int minute, int second);

    // The playback panes and their players: 0 for pane 1007, 1 for pane 1008.
    CMyPictureCtrl& Pane(int index) { return index == 0 ? m_pane1 : m_pane2; }
    VlcPlayer* Player(int index) const { return (index == 0 ? m_pPlayer1 : m_pPlayer2).get(); }

  protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    platform::CtlColor OnCtlColor(QWidget* control) override;
    void resizeEvent(QResizeEvent* event) override;

    // Adds "Camera settings…" to a menu; it opens the dialog for the running camera.
    void AddCameraSettingsAction(QMenu& menu);
    // The exam's items of the live pane's menu, when exams are at hand.
    void AddExamActions(QMenu& menu);

  private:
    void OnSize();
    // The values kept for the running camera, applied auto modes first.
    void ApplyCameraSettings();
    void OpenCameraSettings();
    void InstallLivePaneMenu();
    // The list's client height (its frame excluded), valid before the list was first shown.
    int ListClientHeight() const;
    void StartCapture();
    // Opens the entry's camera and runs the start sequence up to its source: S_OK or the first
    // failure (the errno code of a camera that would not open).
    HRESULT OpenEngine(const CaptureDeviceEntry& entry);
    // OpenEngine and the rest of the start sequence, the camera's settle pause slept here.
    HRESULT StartEngine(const CaptureDeviceEntry& entry);
    // A tick of the device watch: once a supported camera is back, opens it and lets it settle
    // on m_settleTimer, so that the window's thread never sleeps through the pause.
    void OnDeviceWatch();
    // The replugged camera has settled: the graph is finished and run.
    void OnEngineSettled();
    // A restart failed: the engine goes, and the watch waits longer after each failure.
    void OnRestartFailed(HRESULT hr);
    // A first frame read for the strip arrived: its entries get their thumbnail.
    void OnFirstFrame(const QString& path, const cv::Mat& frame);
    // Starts making the panes' libVLC instances, before the first drop needs one.
    void PreparePlayback();
    // Hands the player's media player, unless idle, to the retirer, leaving it without one.
    void RetireMediaPlayer(VlcPlayer& player);
    void OnPlayerRetired(int pane);
    // 0 for the player of pane 1007, 1 for that of 1008.
    int PaneOf(const VlcPlayer& player) const;
    // Stop without waiting for libVLC: an idle media player takes the playing one's place.
    void StopPlayer(VlcPlayer& player);
    void SetLabelText(int id, const QString& text);
    void ShowControl(int id, bool show);
    // Closes a clip the camera thread has not closed since the stop; false (told to the user)
    // when the close failed.
    bool FinishRecordingFile();
    // The text for a camera that may not be opened, true for a build tree and an installed copy
    // (the executable's folder, appFolder).
    static QString AccessDeniedText(const QString& appFolder = platform::GetModuleFolder());
    // The Stopped state after a recording: the recorder's flag cleared, Save and Discard shown.
    // The frames the clip holds.
    long long StopRecording();
    // "IDS_WRITE_FAIL" in a message box; for a clip without frames, "IDS_EMPTY_CLIP" with it.
    void ReportWriteFailure(bool emptyClip = false);
    // The text of key, followed by that of "IDS_EMPTY_CLIP" when the stopped clip holds no frame.
    static QString StopMessage(const QString& key, bool emptyClip);
    // Set-up of the exam: clips without a record are logged when the database exists.
    void StartExamSession();
    // After a save: the clip's record, when an exam is chosen.
    void RecordSavedClip(const QString& clip);
    // The strip's entries of path show whether its objects wait for the archive, are in it, or
    // failed (the reason on hover).
    void ShowSendState(const QString& path);

    // Tests, benchmarks and the screenshot tool look at the state through it.
    friend class CVideoCaptureDlgUnderTest;

    std::vector<CaptureDeviceEntry> m_devices;
    std::unique_ptr<DsCapture, DsCaptureCloser> m_pCapture;
    QString m_videoDir;
    CClipRecorder m_recorder;
    int m_bRecording = 0;  // the buttons' state; the recorder keeps the camera thread's flag
    int m_bDualView = 0;
    // A recording stopped without the user while the dual view hid its buttons: back in the
    // single view they show the Stopped state, so the clip can still be saved.
    int m_bStoppedUnseen = 0;
    std::vector<QString> m_videoPaths;
    CDragListCtrl m_videoList;
    std::unique_ptr<platform::CImageList> m_imageList;
    CMyPictureCtrl m_pane1;
    CMyPictureCtrl m_pane2;
    CLivePane m_livePane;
    CGdipButton m_btnView;
    CGdipButton m_btnRecord;
    CGdipButton m_btnCancel;
    CGdipButton m_btnSave;
    CGdipButton m_btnDeleteOne;
    CGdipButton m_btnDeleteAll;
    CGdipButton m_btnOpen;
    QColor m_bkBrush;
    std::unique_ptr<VlcPlayer> m_pPlayer1;
    std::unique_ptr<VlcPlayer> m_pPlayer2;
    std::vector<QRect> m_layoutRects;
    // The strip's first frames, read once per path off the window's thread.
    CThumbnailCache m_thumbnails;
    std::unique_ptr<CFirstFrameReader> m_frameReader;
    // libVLC instances for the panes, made ahead once the strip lists a clip.
    std::unique_ptr<CVlcInstanceWarmer> m_vlcWarmer;
    // Stops the panes' replaced media players off the window's thread. Per pane (1007, 1008):
    // media players being retired, and whether a drop waits for them to free the pane.
    std::unique_ptr<CVlcPlayerRetirer> m_playerRetirer;
    int m_retiring[2] = {0, 0};
    bool m_playWhenRetired[2] = {false, false};
    // Pause, frame step and snapshot on the panes.
    std::unique_ptr<CPlaybackReview> m_review;
    std::unique_ptr<CExamSession> m_exam;
    // Sending to the picture archive; made after the exam, so it goes first.
    std::unique_ptr<CPacsLink> m_pacs;
    // Writes the chosen exam's report; made after the exam, so it goes first.
    std::unique_ptr<CReportJob> m_reportJob;
    std::function<void(const QString&)> m_openReport;
    // Outlives each exam dialog, so that closing one never waits for the network.
    std::unique_ptr<CWorklistJob> m_worklistJob;
    // A strip rebuild for the window's new size is queued (size changes coalesce into one).
    bool m_stripRebuildQueued = false;
    // The entries from this one on may still show pictures of an earlier size; a step of the
    // rescale is queued.
    int m_stripRescaleNext = 0;
    bool m_stripRescaleQueued = false;
    // Unplug and replug: set while the camera is gone; the watch looks for it once a second.
    int m_bDeviceLost = 0;
    QString m_lostDisplayName;
    QTimer m_deviceWatch;
    int m_watchFailures = 0;
    int m_watchWait = 0;  // ticks to let pass after a failed restart
    // A camera that came back is settling before its graph is finished; the list it came from.
    QTimer m_settleTimer;
    std::vector<CaptureDeviceEntry> m_restartDevices;
    QString m_restartName;
    // "IDS_DEVICE_DENIED" was shown since the camera went: once per loss, not per retry.
    bool m_deniedShown = false;
    CCameraSettingsStore m_cameraSettings;
    QPointer<CCameraSettingsDlg> m_cameraDlg;

    static constexpr int kDeviceWatchMs = 1000;
};
