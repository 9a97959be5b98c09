#include "playback/vlc_player.h"

#include <QStringEncoder>
#include <QWidget>
#include <cstdio>

#include "controls/my_picture_ctrl.h"
#include "playback/clip_probe.h"

namespace {
constexpr float kRate = 1.2f;
}  // namespace

VlcPlayer::VlcPlayer(QWidget* wnd) : VlcPlayer(wnd, VlcInstancePtr(libvlc_new(0, nullptr))) {}

VlcPlayer::VlcPlayer(QWidget* wnd, VlcInstancePtr instance)
    : m_pWnd(wnd),
      m_instance(std::move(instance)),
      m_ended([this](int generation) { RestartAfterEnd(generation); }) {}

VlcPlayer::~VlcPlayer() {
    m_refit.reset();
    UnwatchEnd();
    Stop();
    // The holders release the media player, then the engine instance.
}

QString VlcPlayer::AspectRatioText() const {
    char text[260] = {};
    const int w = m_pWnd ? m_pWnd->width() : 0;
    const int h = m_pWnd ? m_pWnd->height() : 0;
    std::snprintf(text, sizeof text, "%d:%d", w, h);
    return QString::fromLatin1(text);
}

void VlcPlayer::Play() {
    UnwatchEnd();
    if (m_player) {
        libvlc_media_player_stop(m_player.get());
        m_player.reset();
        // libVLC draws straight into the window: have the pane paint over the last picture.
        if (m_pWnd) m_pWnd->update();
    }
    m_media.reset();
    SetPaneLoaded(false);
    const std::string aspect = AspectRatioText().toStdString();
    const std::string path = ToUtf8(m_path);
    // Without an engine, or with a path that names no file, nothing is played: an empty path
    // would make libVLC open the working folder.
    if (!m_instance || !m_pWnd || path.empty()) return;
    // A clip without two frames, or one no demuxer reads, would keep libVLC restarting it
    // without end: the pane keeps its empty picture instead.
    if (!CClipProbe::IsLoopable(m_path)) return;
    m_media.reset(libvlc_media_new_path(m_instance.get(), path.c_str()));
    if (!m_media) return;
    const std::string repeat = ":input-repeat=" + std::to_string(m_repeats);
    libvlc_media_add_option(m_media.get(), repeat.c_str());
    m_player.reset(libvlc_media_player_new_from_media(m_media.get()));
    if (!m_player) {
        m_media.reset();
        return;
    }
    libvlc_video_set_aspect_ratio(m_player.get(), aspect.c_str());
    libvlc_video_set_scale(m_player.get(), 0);
    libvlc_media_player_set_rate(m_player.get(), kRate);
    libvlc_media_player_set_xwindow(m_player.get(), static_cast<uint32_t>(m_pWnd->winId()));
    WatchEnd();
    libvlc_media_player_play(m_player.get());
    m_started.start();
    SetPaneLoaded(true);
    RefitWhenOutputAppears();
}

void VlcPlayer::WatchEnd() {
    m_endWatch = std::make_unique<EndWatch>(EndWatch{&m_ended, ++m_generation});
    libvlc_event_attach(libvlc_media_player_event_manager(m_player.get()),
                        libvlc_MediaPlayerEndReached, &VlcPlayer::OnEndReached, m_endWatch.get());
}

void VlcPlayer::UnwatchEnd() {
    if (m_restartLater) m_restartLater->stop();
    if (!m_endWatch) return;
    // Detaching waits for a callback in progress, so the watch may go afterwards.
    if (m_player) {
        libvlc_event_detach(libvlc_media_player_event_manager(m_player.get()),
                            libvlc_MediaPlayerEndReached, &VlcPlayer::OnEndReached,
                            m_endWatch.get());
    }
    m_endWatch.reset();
}

void VlcPlayer::OnEndReached(const libvlc_event_t*, void* opaque) {
    // libVLC's thread: calling back into libVLC from here would deadlock.
    const auto* watch = static_cast<const EndWatch*>(opaque);
    watch->ended->Post(watch->generation);
}

void VlcPlayer::RestartAfterEnd(int generation) {
    // A clip replaced, stopped or handed over since is left alone.
    if (generation != m_generation || !m_endWatch || !m_player || !m_media) return;
    // A clip that ends at once (one without frames) would keep the UI thread restarting it:
    // at most one start a second.
    constexpr qint64 kMinPassMs = 1000;
    const qint64 wait = kMinPassMs - m_started.elapsed();
    if (wait > 0) {
        if (!m_restartLater) {
            m_restartLater = std::make_unique<QTimer>();
            m_restartLater->setSingleShot(true);
            // Any Play, Stop or hand-over stops the timer, so the clip is still the same.
            QObject::connect(m_restartLater.get(), &QTimer::timeout,
                             [this] { RestartAfterEnd(m_generation); });
        }
        m_restartLater->start(static_cast<int>(wait));
        return;
    }
    // An ended media player plays again only from stopped.
    libvlc_media_player_stop(m_player.get());
    libvlc_media_player_play(m_player.get());
    m_started.start();
    ++m_restarts;
    RefitWhenOutputAppears();
}

VlcMediaPlayerPtr VlcPlayer::TakeMediaPlayer() {
    UnwatchEnd();
    return std::move(m_player);
}

void VlcPlayer::SetPaneLoaded(bool loaded) {
    if (auto* pane = qobject_cast<CMyPictureCtrl*>(m_pWnd.data())) pane->SetLoaded(loaded);
}

void VlcPlayer::Stop() {
    UnwatchEnd();
    if (m_player) {
        libvlc_media_player_stop(m_player.get());
        if (m_pWnd) m_pWnd->update();  // no last picture left behind
    }
    m_media.reset();
    SetPaneLoaded(false);
}

void VlcPlayer::UpdateAspectRatio() {
    const std::string aspect = AspectRatioText().toStdString();
    if (!m_player) return;
    libvlc_video_set_aspect_ratio(m_player.get(), aspect.c_str());
    RefitWhenOutputAppears();
}

void VlcPlayer::RefitWhenOutputAppears() {
    constexpr int kIntervalMs = 50;
    constexpr int kMaxTries = 200;  // ten seconds for a slow start
    m_refitTries = 0;
    if (!m_refit) {
        m_refit = std::make_unique<QTimer>();
        m_refit->setInterval(kIntervalMs);
        QObject::connect(m_refit.get(), &QTimer::timeout, [this] {
            if (!m_player || ++m_refitTries > kMaxTries) {
                m_refit->stop();
            } else if (libvlc_media_player_has_vout(m_player.get()) > 0) {
                m_refit->stop();
                const std::string aspect = AspectRatioText().toStdString();
                libvlc_video_set_aspect_ratio(m_player.get(), aspect.c_str());
            }
        });
    }
    m_refit->start();
}

QString VlcPlayer::OutputAspectRatio() const {
    if (!m_player) return {};
    char* aspect = libvlc_video_get_aspect_ratio(m_player.get());
    const QString text = aspect ? QString::fromLatin1(aspect) : QString();
    libvlc_free(aspect);
    return text;
}

std::string VlcPlayer::ToUtf8(const QString& s) {
    QStringEncoder encoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder.encode(s);
    if (encoder.hasError()) return {};
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0) bytes.truncate(zero);
    return bytes.toStdString();
}

libvlc_state_t VlcPlayer::GetState() const {
    return m_player ? libvlc_media_player_get_state(m_player.get()) : libvlc_NothingSpecial;
}
