#include "workstation/playback_review.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QKeySequence>
#include <QTimer>
#include <cstring>

#include "platform/win_app.h"
#include "platform/message_box.h"
#include "workstation/video_capture_dlg.h"

namespace {

QString MenuText(const char* key, Qt::Key shortcut) {
    // Text after a tab shows as the item's shortcut.
    return AfxGetApp().GetLangString(QString::fromLatin1(key)) + QLatin1Char('\t') +
           QKeySequence(shortcut).toString(QKeySequence::NativeText);
}

}  // namespace

CPlaybackReview::CPlaybackReview(CVideoCaptureDlg& dlg) : m_dlg(dlg) {
    m_panes[0] =
        std::make_unique<CPaneReview>(&dlg.m_pane1, [&dlg] { return dlg.m_pPlayer1.get(); });
    m_panes[1] =
        std::make_unique<CPaneReview>(&dlg.m_pane2, [&dlg] { return dlg.m_pPlayer2.get(); });
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
    if (code != Qt::Key_Space && code != Qt::Key_Right && code != Qt::Key_Left && code != Qt::Key_S)
        return false;
    CPaneReview* pane = UnderPointer();
    if (!pane) return false;
    // Steps do nothing while the clip plays: the keys then go on to the focused control.
    const bool step = code == Qt::Key_Right || code == Qt::Key_Left;
    if (step && !pane->IsPaused()) return false;
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();  // a key press, not a shortcut of some other control
        return true;
    }
    if (event->type() == QEvent::KeyRelease) return true;
    if (code == Qt::Key_Space) {
        // Held down, the key would pause and resume over and over.
        if (!key->isAutoRepeat()) pane->TogglePause();
    } else if (step) {
        pane->Step(code == Qt::Key_Right ? 1 : -1);
    } else if (!key->isAutoRepeat()) {
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
    const bool paused = pane.IsPaused();
    menu->addAction(MenuText(paused ? "IDS_MENU_RESUME" : "IDS_MENU_PAUSE", Qt::Key_Space),
                    menu.get(), [p] { p->TogglePause(); });
    QAction* next = menu->addAction(MenuText("IDS_MENU_NEXT_FRAME", Qt::Key_Right), menu.get(),
                                    [p] { p->Step(1); });
    QAction* previous = menu->addAction(MenuText("IDS_MENU_PREVIOUS_FRAME", Qt::Key_Left),
                                        menu.get(), [p] { p->Step(-1); });
    next->setEnabled(paused);
    previous->setEnabled(paused);
    menu->addSeparator();
    menu->addAction(MenuText("IDS_MENU_SNAPSHOT", Qt::Key_S), menu.get(),
                    [this, p] { Snapshot(*p); });
    return menu;
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
