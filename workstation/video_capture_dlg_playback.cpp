// Drop-to-play and the switch between the single (live) and the dual (playback) view.
#include <QCursor>

#include "app/quorvel_app.h"
#include "platform/system.h"
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
    CMyPictureCtrl* pane = nullptr;
    std::unique_ptr<VlcPlayer>* player = nullptr;
    int label = 0;
    if (ScreenRect(&m_pane2).contains(cursor)) {
        pane = &m_pane2;
        player = &m_pPlayer2;
        label = 1013;
    } else if (ScreenRect(&m_pane1).contains(cursor)) {
        pane = &m_pane1;
        player = &m_pPlayer1;
        label = 1012;
    }
    if (!pane) return 0;
    SetLabelText(label, platform::PathFindFileNameW(*path));
    if (!*player) {
        // The engine instance was made ahead; only a drop right after the first clip was
        // listed (or of a clip that never was) waits for one here.
        PreparePlayback();
        *player = std::make_unique<VlcPlayer>(pane, m_vlcWarmer->Take());
    }
    (*player)->m_path = *path;
    (*player)->Play();
    return 0;
}

void CVideoCaptureDlg::PreparePlayback() {
    if (m_vlcWarmer) return;
    // One instance per pane that has no player yet.
    m_vlcWarmer = std::make_unique<CVlcInstanceWarmer>((m_pPlayer1 ? 0 : 1) + (m_pPlayer2 ? 0 : 1));
    // The panes' native windows, which libVLC draws into, are made now rather than at the drop.
    m_pane1.winId();
    m_pane2.winId();
}

void CVideoCaptureDlg::OnToggleView() {
    const bool toDual = m_bDualView == 0;
    ShowControl(1009, !toDual);
    ShowControl(1010, false);
    ShowControl(1011, false);
    ShowControl(1007, toDual);
    ShowControl(1008, toDual);
    ShowControl(1006, !toDual);
    ShowControl(1012, toDual);
    ShowControl(1013, toDual);
    m_btnView.SetCaption(AfxGetApp().GetLangString(toDual ? QStringLiteral("IDS_SINGLE")
                                                          : QStringLiteral("IDS_DUAL")),
                         18, RGB(255, 255, 255));
    m_bDualView = toDual ? 1 : 0;
}
