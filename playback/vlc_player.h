// A looping libVLC player bound to one window: the clip is stretched to the window's shape and
// runs at 1.2 times normal speed, over and over, for as long as it is loaded.
#pragma once

#include <vlc/vlc.h>

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

#include "platform/posted_queue.h"
#include "playback/vlc_handles.h"

struct VlcPlayer {
    // Binds the player to wnd (not owned) with an engine instance of its own.
    explicit VlcPlayer(QWidget* wnd);
    // Takes an instance made elsewhere (null stands for one that could not be made).
    VlcPlayer(QWidget* wnd, VlcInstancePtr instance);
    ~VlcPlayer();
    VlcPlayer(const VlcPlayer&) = delete;
    VlcPlayer& operator=(const VlcPlayer&) = delete;

    // (Re)starts looping playback of m_path in m_pWnd. A clip with fewer than two frames, or
    // one that cannot be read, is not played: the pane shows its empty picture.
    void Play();
    // Stops playback and gives up the current media; the media player stays.
    void Stop();
    // Gives an existing media player the window's present shape.
    void UpdateAspectRatio();
    // The shape libVLC's video output draws with; empty while it has none.
    QString OutputAspectRatio() const;

    // UTF-8 bytes of s up to the first zero; empty when s is not valid UTF-16.
    static std::string ToUtf8(const QString& s);
    // "width:height" of the window's client area.
    QString AspectRatioText() const;
    // The media player's state; libvlc_NothingSpecial without a media player.
    libvlc_state_t GetState() const;
    // Hands the media player over (to be stopped elsewhere): its end no longer restarts the
    // clip here.
    VlcMediaPlayerPtr TakeMediaPlayer();

    // Not owned; goes null if the window is destroyed before the player.
    QPointer<QWidget> m_pWnd;
    QString m_path;
    VlcInstancePtr m_instance;
    VlcMediaPtr m_media;
    VlcMediaPlayerPtr m_player;
    // Passes libVLC itself repeats the clip before it ends; the clip then starts again.
    int m_repeats = 65535;
    // How many times the clip was started again after libVLC's repeats ran out.
    int m_restarts = 0;

  private:
    // libVLC's end-of-clip callback: from its own thread to the UI thread, where the clip
    // starts again if this media player still plays it.
    struct EndWatch {
        platform::CPostedQueue<int>* ended;
        int generation;
    };
    static void OnEndReached(const libvlc_event_t* event, void* opaque);
    void WatchEnd();
    void UnwatchEnd();
    void RestartAfterEnd(int generation);

    // libVLC drops a shape set while its video output is being made, and that output then keeps
    // the older one: the shape is set again once the output is there.
    void RefitWhenOutputAppears();
    // The pane shows its empty outline while no clip is loaded.
    void SetPaneLoaded(bool loaded);

    std::unique_ptr<QTimer> m_refit;
    int m_refitTries = 0;
    int m_generation = 0;
    std::unique_ptr<EndWatch> m_endWatch;  // while an end callback is attached
    QElapsedTimer m_started;               // since the clip last started
    std::unique_ptr<QTimer> m_restartLater;
    platform::CPostedQueue<int> m_ended;
};
