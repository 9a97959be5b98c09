// The review tools of the capture window's two playback panes: keys while the pointer is over a
// pane that has a clip (Space pause or resume, Right and Left a frame while paused, S snapshot,
// Y synchronized compare; on a paused frame C calibrate, M measure, N count, W width, Enter keep,
// Esc leave) and the same actions on the pane's right-click menu. Keys over anything else go where
// they went before. Kept measurements go to the clip's CSV file, the calibration to Quorvel.ini.
#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "playback/measurement_csv.h"
#include "playback/pane_review.h"

class CVideoCaptureDlg;

class CPlaybackReview : public QObject {
    Q_OBJECT
  public:
    explicit CPlaybackReview(CVideoCaptureDlg& dlg);
    ~CPlaybackReview() override;

    // 0 for pane 1007, 1 for pane 1008.
    CPaneReview& Pane(int index) { return *m_panes[index]; }
    // The review of the shown pane under the pointer, if a clip plays or is paused there.
    CPaneReview* UnderPointer();
    // The pane's menu, with texts from the language pack.
    std::unique_ptr<QMenu> MakeMenu(CPaneReview& pane);
    // The right-click menu shown now, if any.
    QMenu* OpenMenu() const { return m_menu; }
    // Saves the pane's frame; a failure goes to the log and to the user.
    void Snapshot(CPaneReview& pane);

    // Synchronized compare: both panes start again together, and pause, resume and steps act
    // on both. Only with a clip in each pane; it ends by itself when one has none.
    bool IsSynced();
    void ToggleSync();
    // While synchronized, a clip that starts over (it looped, or another was dropped in its
    // pane) takes the other pane back to its first frame with it, so that clips of different
    // lengths do not drift apart.
    void WatchSync();
    // Pause or resume, and steps, of the pane, or of both panes while synchronized.
    void TogglePause(CPaneReview& pane);
    bool CanStep(CPaneReview& pane);
    void Step(CPaneReview& pane, int delta);

    // A tool on the pane's paused frame; the calibration in Quorvel.ini is read afresh for it.
    void StartTool(CPaneReview& pane, CReviewTool::Kind kind);
    // Enter: the pending line is kept, written to the clip's CSV file and, for a calibration,
    // to Quorvel.ini after the user has typed its length.
    void KeepLine(CPaneReview& pane);
    // The calibration in force; none when there is none.
    std::optional<double> MicrometresPerPixel();
    // The calibration file; by default Quorvel.ini in the settings folder.
    QString SettingsFile();
    void SetSettingsFile(const QString& path) { m_settingsFile = path; }
    // Asks for the true length, in µm, of a line of lengthPx clip pixels; none when cancelled.
    using LengthPrompt = std::function<std::optional<double>(double lengthPx)>;
    void SetLengthPrompt(LengthPrompt prompt) { m_askLength = std::move(prompt); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool OnKey(QObject* watched, QEvent* event);
    bool OnContextMenu(QObject* watched, QEvent* event);
    bool BothHaveClips() const;
    // The pane a tool key acts on: the one under the pointer, else one with a tool active.
    CPaneReview* ToolPane();
    CCalibration ReadCalibration();
    // For both panes from now on, and into Quorvel.ini; the user hears when it could not be.
    void SaveCalibration(const CCalibration& calibration, double um, double lengthPx);
    // The row into the clip's CSV file (the user hears of a failure) and, with an exam, the
    // database; marks are a count's, which only the database keeps.
    void WriteRow(const QString& clip, const CMeasurementCsv::Row& row,
                  const std::vector<QPointF>& marks);

    CVideoCaptureDlg& m_dlg;
    std::unique_ptr<CPaneReview> m_panes[2];
    QPointer<QMenu> m_menu;
    bool m_sync = false;
    QTimer m_syncWatch;
    struct SyncSeen {
        const libvlc_media_player_t* player = nullptr;
        int64_t timeMs = -1;
        int quietTicks = 0;    // ticks left in which its own restart is not taken for a loop
        bool newClip = false;  // a new media player whose clip has not started to run yet
    } m_syncSeen[2];
    QString m_settingsFile;
    LengthPrompt m_askLength;
    // A calibration made while Quorvel.ini could not be written, used until the end of the run.
    std::optional<CCalibration> m_unsavedCalibration;
};
