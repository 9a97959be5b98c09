// A looping libVLC player bound to one window: the clip is stretched to the window's shape and
// runs at 1.2 times normal speed, over and over.
#pragma once

#include <vlc/vlc.h>

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

struct VlcPlayer {
    // Binds the player to wnd (not owned) with an engine instance of its own.
    explicit VlcPlayer(QWidget* wnd);
    // Takes an instance made elsewhere (owned from now on; null stands for one that could not
    // be made).
    VlcPlayer(QWidget* wnd, libvlc_instance_t* instance);
    ~VlcPlayer();
    VlcPlayer(const VlcPlayer&) = delete;
    VlcPlayer& operator=(const VlcPlayer&) = delete;

    // (Re)starts looping playback of m_path in m_pWnd.
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

    // Not owned; goes null if the window is destroyed before the player.
    QPointer<QWidget> m_pWnd;
    QString m_path;
    libvlc_instance_t* m_instance;
    libvlc_media_t* m_media = nullptr;
    libvlc_media_player_t* m_player = nullptr;

  private:
    // libVLC drops a shape set while its video output is being made, and that output then keeps
    // the older one: the shape is set again once the output is there.
    void RefitWhenOutputAppears();
    // The pane shows its empty outline while no clip is loaded.
    void SetPaneLoaded(bool loaded);

    std::unique_ptr<QTimer> m_refit;
    int m_refitTries = 0;
};
