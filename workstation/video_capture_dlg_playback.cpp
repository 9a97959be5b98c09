// Drop-to-play and the switch between the single (live) and the dual (playback) view.
#include <QCursor>

#include "platform/system.h"
#include "platform/win_app.h"
#include "workstation/video_capture_dlg.h"

namespace {

QRect ScreenRect(const QWidget* w) {
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

}  // namespace

LRESULT CVideoCaptureDlg::OnListDrop(WPARAM wParam, LPARAM) {
    const auto* path = reinterpret_cast<const QString*>(wParam);
    if (!path) return 0;
    // Where the cursor is now decides, hidden panes included; the right pane wins an overlap.
    const QPoint cursor = QCursor::pos();
    int index = -1;
    if (ScreenRect(&m_pane2).contains(cursor))
        index = 1;
    else if (ScreenRect(&m_pane1).contains(cursor))
        index = 0;
    if (index < 0) return 0;
    PlayInPane(index, *path, platform::PathFindFileNameW(*path));
    return 0;
}

void CVideoCaptureDlg::PlayInPane(int index, const QString& path, const QString& labelText) {
    CMyPictureCtrl* pane = index == 0 ? &m_pane1 : &m_pane2;
    std::unique_ptr<VlcPlayer>* player = index == 0 ? &m_pPlayer1 : &m_pPlayer2;
    SetLabelText(index == 0 ? IDC_LABEL1 : IDC_LABEL2, labelText);
    if (!*player) {
        // The engine instance was made ahead; only a drop right after the first clip was
        // listed (or of a clip that never was) waits for one here.
        PreparePlayback();
        *player = std::make_unique<VlcPlayer>(pane, m_vlcWarmer->Take());
    }
    (*player)->m_path = path;
    m_review->Pane(index).Forget();  // a paused frame no longer belongs there
    // Play would stop the old clip here and wait for libVLC. The new clip may take the pane
    // only once the old output has left it: libVLC refuses a window another output holds.
    RetireMediaPlayer(**player);
    m_playWhenRetired[index] = m_retiring[index] > 0;
    if (!m_playWhenRetired[index]) (*player)->Play();
}

void CVideoCaptureDlg::PreparePlayback() {
    if (m_vlcWarmer) return;
    // One instance per pane that has no player yet.
    m_vlcWarmer = std::make_unique<CVlcInstanceWarmer>((m_pPlayer1 ? 0 : 1) + (m_pPlayer2 ? 0 : 1));
    // The panes' native windows, which libVLC draws into, are made now rather than at the drop.
    m_pane1.winId();
    m_pane2.winId();
}

int CVideoCaptureDlg::PaneOf(const VlcPlayer& player) const {
    return &player == m_pPlayer1.get() ? 0 : 1;
}

void CVideoCaptureDlg::RetireMediaPlayer(VlcPlayer& player) {
    const libvlc_state_t state = player.GetState();
    // An idle media player has no threads: Play and Stop release it at once.
    if (!player.m_player || state == libvlc_NothingSpecial || state == libvlc_Stopped) return;
    if (!m_playerRetirer) m_playerRetirer = std::make_unique<CVlcPlayerRetirer>();
    const int pane = PaneOf(player);
    ++m_retiring[pane];
    m_playerRetirer->Retire(player.TakeMediaPlayer(), [this, pane] { OnPlayerRetired(pane); });
}

void CVideoCaptureDlg::OnPlayerRetired(int pane) {
    VlcPlayer* player = (pane == 0 ? m_pPlayer1 : m_pPlayer2).get();
    if (--m_retiring[pane] > 0 || !player) return;
    if (m_playWhenRetired[pane]) {
        m_playWhenRetired[pane] = false;
        player->Play();
    } else if (player->m_pWnd) {
        player->m_pWnd->update();  // no last picture left behind
    }
}

void CVideoCaptureDlg::StopPlayer(VlcPlayer& player) {
    m_playWhenRetired[PaneOf(player)] = false;  // a drop still waiting is stopped too
    m_review->Pane(PaneOf(player)).Forget();
    if (player.m_player && player.m_instance) {
        RetireMediaPlayer(player);
        // A stopped player keeps a media player: an idle one stands in for the retired one.
        if (!player.m_player)
            player.m_player.reset(libvlc_media_player_new(player.m_instance.get()));
    }
    player.Stop();
}

void CVideoCaptureDlg::OnToggleView() {
    const bool toDual = m_bDualView == 0;
    // A clip stopped by a failure while the dual view showed waits for Save or Discard.
    const bool stopped = !toDual && m_bStoppedUnseen != 0;
    if (!toDual) m_bStoppedUnseen = 0;
    ShowControl(IDC_BTN_RECORD, !toDual && !stopped);
    ShowControl(IDC_BTN_CANCEL, stopped);
    ShowControl(IDC_BTN_SAVE, stopped);
    ShowControl(IDC_PANE1, toDual);
    ShowControl(IDC_PANE2, toDual);
    ShowControl(IDC_LIVE_PANE, !toDual);
    ShowControl(IDC_LABEL1, toDual);
    ShowControl(IDC_LABEL2, toDual);
    m_btnView.SetCaption(AfxGetApp().GetLangString(toDual ? QStringLiteral("IDS_SINGLE")
                                                          : QStringLiteral("IDS_DUAL")),
                         18, RGB(255, 255, 255));
    m_bDualView = toDual ? 1 : 0;
}
