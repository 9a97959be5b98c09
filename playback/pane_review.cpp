#include "playback/pane_review.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <opencv2/imgcodecs.hpp>
#include <vector>

#include "platform/system.h"
#include "platform/write_all.h"

namespace {

constexpr int kPollMs = 20;
constexpr int kPollTries = 150;  // three seconds for libVLC to pause
// A clip that states no rate is taken to run at the capture rate.
constexpr double kDefaultFps = 25.0;

}  // namespace

CPaneReview::CPaneReview(QWidget* pane, PlayerOf player)
    : m_pane(pane), m_player(std::move(player)) {
    m_poll.setInterval(kPollMs);
    QObject::connect(&m_poll, &QTimer::timeout, [this] { OnPausePoll(); });
}

CPaneReview::~CPaneReview() {
    m_poll.stop();
    if (m_view) m_view->SetTool(nullptr);
    delete m_view.data();
}

bool CPaneReview::HasClip() const {
    const VlcPlayer* player = m_player();
    if (!player || !player->m_player.get() || !player->m_media.get()) return false;
    if (m_state != State::Playing && player->m_player.get() == m_paused) return true;
    const libvlc_state_t state = libvlc_media_player_get_state(player->m_player.get());
    return state == libvlc_Playing || state == libvlc_Paused;
}

bool CPaneReview::IsLoaded() const {
    const VlcPlayer* player = m_player();
    return player && player->m_media.get() && player->GetState() != libvlc_Error;
}

int64_t CPaneReview::PlayTimeMs() const {
    const VlcPlayer* player = m_player();
    if (!player || !player->m_player.get() || !player->m_media.get()) return -1;
    return libvlc_media_player_get_time(player->m_player.get());
}

const libvlc_media_player_t* CPaneReview::MediaPlayer() const {
    const VlcPlayer* player = m_player();
    return player ? player->m_player.get() : nullptr;
}

bool CPaneReview::HasVideoOutput() const {
    const VlcPlayer* player = m_player();
    return player && player->m_player.get() &&
           libvlc_media_player_has_vout(player->m_player.get()) > 0;
}

bool CPaneReview::IsPaused() const {
    return m_state != State::Playing;
}

bool CPaneReview::StillSame() {
    const VlcPlayer* player = m_player();
    if (m_state != State::Playing && player && player->m_player.get() == m_paused &&
        player->m_media.get() && player->m_path == m_clip && m_pane)
        return true;
    Forget();
    return false;
}

void CPaneReview::TogglePause() {
    if (IsPaused() && StillSame())
        Resume();
    else
        Pause();
}

void CPaneReview::Pause() {
    if (IsPaused() || !HasClip()) return;
    VlcPlayer* player = m_player();
    libvlc_media_player_set_pause(player->m_player.get(), 1);
    m_state = State::Pausing;
    m_paused = player->m_player.get();
    m_clip = player->m_path;
    // libVLC pauses on its own threads: the position is read once it has.
    m_pollTries = 0;
    m_poll.start();
}

void CPaneReview::OnPausePoll() {
    if (!StillSame()) return;
    if (libvlc_media_player_get_state(m_paused) != libvlc_Paused) {
        if (++m_pollTries > kPollTries) {
            // This clip cannot be paused: it goes on playing as before.
            libvlc_media_player_set_pause(m_paused, 0);
            Forget();
        }
        return;
    }
    m_poll.stop();
    m_state = State::Paused;
    // Without a reader the pane keeps libVLC's own paused picture.
    m_reader.Open(m_clip);
    m_frame = FrameAt(libvlc_media_player_get_time(m_paused), Fps(), m_reader.FrameCount());
    ShowFrame();
}

void CPaneReview::Resume() {
    if (!IsPaused()) return;
    if (StillSame()) libvlc_media_player_set_pause(m_paused, 0);
    Forget();
}

void CPaneReview::Restart() {
    Resume();
    if (!HasClip()) return;
    // The same media player seeks back: a new one would take a while to show its first frame.
    libvlc_media_player_set_time(m_player()->m_player.get(), 0);
}

void CPaneReview::Step(int delta) {
    if (m_state != State::Paused || !StillSame() || delta == 0) return;
    int target = std::max(0, m_frame + delta);
    if (m_reader.FrameCount() > 0) target = std::min(target, m_reader.FrameCount() - 1);
    if (target == m_frame) return;
    // libVLC follows, so that resuming goes on from the frame shown.
    if (target == m_frame + 1)
        libvlc_media_player_next_frame(m_paused);
    else
        libvlc_media_player_set_time(m_paused, FrameTimeMs(target, Fps()));
    m_frame = target;
    // Lines drawn belong to the frame they were drawn on; the tool stays for this one.
    const CReviewTool::Kind tool = m_tool.Active();
    m_tool.Clear();
    m_tool.Start(tool);
    ShowFrame();
}

void CPaneReview::ShowFrame() {
    if (!m_reader.IsOpen() || !m_pane) return;
    const cv::Mat frame = m_reader.Read(m_frame);
    if (frame.empty()) return;  // the last frame shown stays
    m_tool.SetFrame(frame);
    if (!m_view) {
        m_view = new CPausedFrameView(m_pane);
        m_view->SetTool(&m_tool);
    }
    m_view->SetFrame(frame);
    m_view->ShowOverPane();
}

void CPaneReview::Forget() {
    m_poll.stop();
    m_state = State::Playing;
    m_paused = nullptr;
    m_reader.Close();
    m_tool.Clear();
    m_tool.SetFrame(cv::Mat());
    if (m_view) {
        m_view->SetHint(QString());
        m_view->hide();
        m_view->SetFrame(cv::Mat());
    }
}

bool CPaneReview::ShowsPausedFrame() const {
    return m_state == State::Paused && m_view && m_view->isVisible() && !m_view->Frame().isNull();
}

bool CPaneReview::StartTool(CReviewTool::Kind kind, const QString& hint) {
    if (!ShowsPausedFrame() || !StillSame()) return false;
    m_tool.Start(kind);
    m_view->SetHint(hint);
    return true;
}

void CPaneReview::LeaveTool() {
    m_tool.Leave();
    if (m_view) m_view->SetHint(QString());
}

double CPaneReview::Fps() const {
    return m_reader.Fps() > 0 ? m_reader.Fps() : kDefaultFps;
}

int CPaneReview::CurrentFrame() {
    if (m_state == State::Paused && StillSame()) return m_frame;
    if (!HasClip()) return -1;
    const VlcPlayer* player = m_player();
    CClipFrameReader reader;
    reader.Open(player->m_path);
    const double fps = reader.Fps() > 0 ? reader.Fps() : kDefaultFps;
    return FrameAt(libvlc_media_player_get_time(player->m_player.get()), fps, reader.FrameCount());
}

CPaneReview::SnapshotResult CPaneReview::SaveSnapshot() {
    SnapshotResult result;
    if (!HasClip()) {
        result.what = "no clip in the pane";
        return result;
    }
    const int frameIndex = CurrentFrame();
    const QString clip = m_state == State::Paused ? m_clip : m_player()->m_path;
    result.path = SnapshotPath(clip, frameIndex);
    cv::Mat frame;
    if (m_state == State::Paused && m_reader.IsOpen()) {
        frame = m_reader.Read(frameIndex);
    } else {
        CClipFrameReader reader;
        if (reader.Open(clip)) frame = reader.Read(frameIndex);
    }
    if (frame.empty()) {
        // The file may have gone since it started playing.
        const std::string narrow = platform::ToNarrowPath(clip);
        result.error = ::access(narrow.c_str(), R_OK) != 0 ? errno : 0;
        result.what = "frame " + std::to_string(frameIndex) + " could not be decoded";
        return result;
    }
    std::vector<uchar> png;
    try {
        if (!cv::imencode(".png", frame, png)) png.clear();
    } catch (const cv::Exception&) {
        png.clear();
    }
    if (png.empty()) {
        result.what = "the frame could not be encoded as PNG";
        return result;
    }
    const std::string narrow = platform::ToNarrowPath(result.path);
    result.error = narrow.empty() ? EILSEQ : platform::WriteNewFile(narrow, png.data(), png.size());
    if (result.error != 0) {
        result.what = "the file could not be written";
        return result;
    }
    result.ok = true;
    return result;
}

QString CPaneReview::SnapshotPath(const QString& clip, int frame) {
    const QFileInfo info(clip);
    return info.dir().filePath(QStringLiteral("%1_%2.png")
                                   .arg(info.completeBaseName())
                                   .arg(std::max(frame, 0), 6, 10, QLatin1Char('0')));
}

int CPaneReview::FrameAt(int64_t ms, double fps, int count) {
    if (ms <= 0 || fps <= 0) return 0;
    // A frame is shown from its own time until the next one's; the half millisecond absorbs
    // frame times rounded to whole milliseconds.
    int frame = static_cast<int>(std::floor((static_cast<double>(ms) + 0.5) * fps / 1000.0));
    if (count > 0) frame = std::min(frame, count - 1);
    return std::max(frame, 0);
}

int64_t CPaneReview::FrameTimeMs(int frame, double fps) {
    if (fps <= 0) return 0;
    return static_cast<int64_t>(std::llround(frame * 1000.0 / fps));
}
