#include "workstation/playback_review.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QKeySequence>
#include <QTimer>
#include <cstring>

#include "platform/message_box.h"
#include "platform/win_app.h"
#include "workstation/video_capture_dlg.h"

namespace {

QString MenuText(const char* key, Qt::Key shortcut) {
    // Text after a tab shows as the item's shortcut.
    return AfxGetApp().GetLangString(QString::fromLatin1(key)) + QLatin1Char('\t') +
           QKeySequence(shortcut).toString(QKeySequence::NativeText);
}

}  // namespace

CPlaybackReview::CPlaybackReview(CVideoCaptureDlg& dlg) : m_dlg(dlg) {
    m_panes[0] = std::make_unique<CPaneReview>(&dlg.Pane(0), [&dlg] { return dlg.Player(0); });
    m_panes[1] = std::make_unique<CPaneReview>(&dlg.Pane(1), [&dlg] { return dlg.Player(1); });
    // Keys go to whichever control has the focus: they are looked at before it gets them.
    qApp->installEventFilter(this);
}

CPlaybackReview::~CPlaybackReview() {
    qApp->removeEventFilter(this);
    delete m_menu.data();
}

CPaneReview* CPlaybackReview::UnderPointer() {
    const QPoint cursor = QCursor::pos();
    for (auto& pane : m_panes) {
        const QWidget* w = pane->Pane();
        if (w && w->isVisible() &&
            QRect(w->mapToGlobal(QPoint(0, 0)), w->size()).contains(cursor) && pane->HasClip())
            return pane.get();
    }
    return nullptr;
}

bool CPlaybackReview::eventFilter(QObject* watched, QEvent* event) {
    // Keys and menus go to widgets. Other objects receive the events that the camera thread and
    // the workers post, whose contents are theirs to read under their own locks.
    if (!watched->isWidgetType()) return false;
    switch (event->type()) {
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return OnKey(watched, event);
        case QEvent::ContextMenu:
            return OnContextMenu(watched, event);
        default:
            return false;
    }
}

bool CPlaybackReview::OnKey(QObject* watched, QEvent* event) {
    const auto* widget = qobject_cast<const QWidget*>(watched);
    // Only keys meant for this window; an open menu or box keeps its own.
    if (!widget || widget->window() != &m_dlg || QApplication::activePopupWidget()) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    const int code = key->key();
    if (code != Qt::Key_Space && code != Qt::Key_Right && code != Qt::Key_Left &&
        code != Qt::Key_S && code != Qt::Key_Y)
        return false;
    CPaneReview* pane = UnderPointer();
    if (!pane) return false;
    // Steps do nothing while the clip plays, nor Y with one pane empty: the keys then go on to
    // the focused control.
    const bool step = code == Qt::Key_Right || code == Qt::Key_Left;
    if (step && !CanStep(*pane)) return false;
    if (code == Qt::Key_Y && !BothHaveClips()) return false;
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();  // a key press, not a shortcut of some other control
        return true;
    }
    if (event->type() == QEvent::KeyRelease) return true;
    if (code == Qt::Key_Space) {
        // Held down, the key would pause and resume over and over.
        if (!key->isAutoRepeat()) TogglePause(*pane);
    } else if (step) {
        Step(*pane, code == Qt::Key_Right ? 1 : -1);
    } else if (key->isAutoRepeat()) {
        // Held down, S would write a picture per repeat and Y flip the comparison.
    } else if (code == Qt::Key_Y) {
        ToggleSync();
    } else {
        Snapshot(*pane);
    }
    return true;
}

bool CPlaybackReview::OnContextMenu(QObject* watched, QEvent* event) {
    for (auto& pane : m_panes) {
        QWidget* w = pane->Pane();
        if (!w || (watched != w && watched != pane->View()) || !pane->HasClip()) continue;
        delete m_menu.data();
        m_menu = MakeMenu(*pane).release();
        m_menu->setAttribute(Qt::WA_DeleteOnClose);
        // Shown once the click's own events are through: shown within them, a menu over the
        // paused frame could close again at once.
        const QPoint at = static_cast<const QContextMenuEvent*>(event)->globalPos();
        QTimer::singleShot(0, m_menu, [menu = m_menu, at] { menu->popup(at); });
        return true;
    }
    return false;
}

std::unique_ptr<QMenu> CPlaybackReview::MakeMenu(CPaneReview& pane) {
    auto menu = std::make_unique<QMenu>(&m_dlg);
    CPaneReview* p = &pane;
    // While synchronized the two are paused and resumed together.
    const bool paused =
        pane.IsPaused() || (IsSynced() && (m_panes[0]->IsPaused() || m_panes[1]->IsPaused()));
    menu->addAction(MenuText(paused ? "IDS_MENU_RESUME" : "IDS_MENU_PAUSE", Qt::Key_Space),
                    menu.get(), [this, p] { TogglePause(*p); });
    QAction* next = menu->addAction(MenuText("IDS_MENU_NEXT_FRAME", Qt::Key_Right), menu.get(),
                                    [this, p] { Step(*p, 1); });
    QAction* previous = menu->addAction(MenuText("IDS_MENU_PREVIOUS_FRAME", Qt::Key_Left),
                                        menu.get(), [this, p] { Step(*p, -1); });
    next->setEnabled(CanStep(pane));
    previous->setEnabled(CanStep(pane));
    QAction* sync = menu->addAction(MenuText("IDS_MENU_SYNC_COMPARE", Qt::Key_Y), menu.get(),
                                    [this] { ToggleSync(); });
    sync->setCheckable(true);
    sync->setChecked(IsSynced());
    sync->setEnabled(BothHaveClips());
    menu->addSeparator();
    menu->addAction(MenuText("IDS_MENU_SNAPSHOT", Qt::Key_S), menu.get(),
                    [this, p] { Snapshot(*p); });
    return menu;
}

bool CPlaybackReview::BothHaveClips() const {
    return m_panes[0]->HasClip() && m_panes[1]->HasClip();
}

bool CPlaybackReview::IsSynced() {
    if (m_sync && !BothHaveClips()) {
        m_sync = false;
        AfxGetApp().m_log.WriteLog("synchronized compare off: a pane has no clip\n");
    }
    return m_sync;
}

void CPlaybackReview::ToggleSync() {
    if (IsSynced()) {
        m_sync = false;
        AfxGetApp().m_log.WriteLog("synchronized compare off\n");
        return;
    }
    if (!BothHaveClips()) return;
    m_sync = true;
    AfxGetApp().m_log.WriteLog("synchronized compare on\n");
    for (auto& pane : m_panes) pane->Restart();
}

void CPlaybackReview::TogglePause(CPaneReview& pane) {
    if (!IsSynced()) {
        pane.TogglePause();
        return;
    }
    // Either paused resumes both, so that the two never drift apart by one playing alone.
    if (m_panes[0]->IsPaused() || m_panes[1]->IsPaused()) {
        for (auto& p : m_panes) p->Resume();
    } else {
        for (auto& p : m_panes) p->Pause();
    }
}

bool CPlaybackReview::CanStep(CPaneReview& pane) {
    if (!IsSynced()) return pane.IsPaused();
    return m_panes[0]->IsPaused() && m_panes[1]->IsPaused();
}

void CPlaybackReview::Step(CPaneReview& pane, int delta) {
    if (!IsSynced()) {
        pane.Step(delta);
        return;
    }
    for (auto& p : m_panes) p->Step(delta);
}

void CPlaybackReview::Snapshot(CPaneReview& pane) {
    const CPaneReview::SnapshotResult result = pane.SaveSnapshot();
    CWinApp& app = AfxGetApp();
    const QByteArray path = result.path.toUtf8();
    if (result.ok) {
        app.m_log.WriteLog("snapshot saved: %s\n", path.constData());
        return;
    }
    app.m_log.WriteLog("snapshot failed: %s: %s: %s\n", path.constData(), result.what.c_str(),
                       result.error ? std::strerror(result.error) : "no system error");
    platform::AfxMessageBox(app.GetLangString(QStringLiteral("IDS_SNAPSHOT_FAIL")));
}
