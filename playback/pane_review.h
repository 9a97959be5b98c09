// Pause, frame step and snapshot for one playback pane. Pause and step go through libVLC; while
// the pane is paused, a view over it shows the paused frame decoded from the file, since nothing
// can be painted over libVLC's own window. UI thread only; libVLC is polled, never called back.
#pragma once

#include <vlc/vlc.h>

#include <QPointer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>

#include "playback/clip_frame_reader.h"
#include "playback/paused_frame_view.h"
#include "playback/review_tool.h"
#include "playback/vlc_player.h"

class CPaneReview {
  public:
    // The pane's player may come and go: it is asked for each time.
    using PlayerOf = std::function<VlcPlayer*()>;
    CPaneReview(QWidget* pane, PlayerOf player);
    ~CPaneReview();
    CPaneReview(const CPaneReview&) = delete;
    CPaneReview& operator=(const CPaneReview&) = delete;

    QWidget* Pane() const { return m_pane; }
    // Where libVLC plays the pane's clip, in ms, and the media player that plays it (for
    // identity only); -1 and null without a clip.
    int64_t PlayTimeMs() const;
    const libvlc_media_player_t* MediaPlayer() const;
    // libVLC has made the video output that shows the clip: the clip has really started.
    bool HasVideoOutput() const;
    // A clip plays or is paused in the pane: the tools act on it.
    bool HasClip() const;
    // A clip is loaded in the pane, also while a new one is being started there.
    bool IsLoaded() const;
    // Paused by the user, including the moment until libVLC has paused.
    bool IsPaused() const;
    void TogglePause();
    void Pause();
    void Resume();
    // Plays the clip again from its first frame, paused or not.
    void Restart();
    // One frame forward (+1) or back (-1) while paused.
    void Step(int delta);
    // The frame the pane shows: the paused one, or where libVLC plays; -1 without a clip.
    int CurrentFrame();
    // The view over the paused pane; null until the first pause.
    CPausedFrameView* View() const { return m_view; }
    // Forgets the pause without calling libVLC: the clip was replaced or stopped.
    void Forget();

    // The path of the clip paused in the pane; empty while it plays.
    QString PausedClip() const { return IsPaused() ? m_clip : QString(); }
    // A review tool on the paused frame, with a line of help; false while the pane shows no
    // paused frame of its clip.
    bool StartTool(CReviewTool::Kind kind, const QString& hint);
    // Paused, with the frame from the file on show: the tools can start.
    bool ShowsPausedFrame() const;
    void LeaveTool();
    // The tool and its lines; they go with the paused frame.
    CReviewTool& Tool() { return m_tool; }

    struct SnapshotResult {
        bool ok = false;
        QString path;   // the file written or meant to be
        int error = 0;  // errno where there is one
        std::string what;
    };
    // The shown frame, from the file at the clip's size, as PNG beside the clip.
    SnapshotResult SaveSnapshot();

    // <clip name>_<frame, 6 digits>.png in the clip's folder.
    static QString SnapshotPath(const QString& clip, int frame);
    // The frame shown at ms into a clip of fps; count bounds it when known (> 0).
    static int FrameAt(int64_t ms, double fps, int count);
    static int64_t FrameTimeMs(int frame, double fps);

  private:
    enum class State { Playing, Pausing, Paused };
    // The player still plays the clip that was paused; otherwise the pause is forgotten.
    bool StillSame();
    void OnPausePoll();
    void ShowFrame();
    double Fps() const;

    QPointer<QWidget> m_pane;
    PlayerOf m_player;
    State m_state = State::Playing;
    libvlc_media_player_t* m_paused = nullptr;  // the media player paused, for identity only
    QString m_clip;
    CClipFrameReader m_reader;
    int m_frame = 0;
    QPointer<CPausedFrameView> m_view;
    QTimer m_poll;
    int m_pollTries = 0;
    CReviewTool m_tool;
};
