// The review tools of the capture window's two playback panes: keys while the pointer is over a
// pane that has a clip (Space pause or resume, Right and Left a frame while paused, S snapshot,
// Y synchronized compare) and the same actions on the pane's right-click menu. Keys over anything
// else go where they went before.
#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <memory>

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
    // Pause or resume, and steps, of the pane, or of both panes while synchronized.
    void TogglePause(CPaneReview& pane);
    bool CanStep(CPaneReview& pane);
    void Step(CPaneReview& pane, int delta);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool OnKey(QObject* watched, QEvent* event);
    bool OnContextMenu(QObject* watched, QEvent* event);
    bool BothHaveClips() const;

    CVideoCaptureDlg& m_dlg;
    std::unique_ptr<CPaneReview> m_panes[2];
    QPointer<QMenu> m_menu;
    bool m_sync = false;
};
