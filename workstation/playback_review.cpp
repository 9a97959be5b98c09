#include "workstation/playback_review.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QKeySequence>
#include <QTimer>
#include <algorithm>
#include <cstring>

#include "platform/app_paths.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "platform/win_app.h"
#include "workstation/video_capture_dlg.h"

namespace {

QString MenuText(const char* key, Qt::Key shortcut) {
    // Text after a tab shows as the item's shortcut.
    return AfxGetApp().GetLangString(QString::fromLatin1(key)) + QLatin1Char('\t') +
           QKeySequence(shortcut).toString(QKeySequence::NativeText);
}

constexpr int kSyncWatchMs = 40;
// A restart takes libVLC a few ticks to carry out; a time going back by less is no loop.
constexpr int kSyncQuietTicks = 15;
constexpr int64_t kLoopJumpMs = 300;

const QString kCalibrationSection = QStringLiteral("Calibration");
const QString kCalibrationKey = QStringLiteral("MicrometresPerPixel");

// The tools on a paused frame: key, menu text and help line of each.
struct ToolEntry {
    CReviewTool::Kind kind;
    Qt::Key key;
    const char* menuText;
    const char* hint;
};
constexpr ToolEntry kTools[] = {
    {CReviewTool::Kind::Calibrate, Qt::Key_C, "IDS_MENU_CALIBRATE", "IDS_TOOL_CALIBRATE_HINT"},
    {CReviewTool::Kind::Measure, Qt::Key_M, "IDS_MENU_MEASURE", "IDS_TOOL_MEASURE_HINT"},
    {CReviewTool::Kind::Count, Qt::Key_N, "IDS_MENU_COUNT", "IDS_TOOL_COUNT_HINT"},
    {CReviewTool::Kind::Width, Qt::Key_W, "IDS_MENU_WIDTH", "IDS_TOOL_WIDTH_HINT"}};

const ToolEntry* ToolFor(int key) {
    for (const ToolEntry& t : kTools)
        if (t.key == key) return &t;
    return nullptr;
}

}  // namespace

CPlaybackReview::CPlaybackReview(CVideoCaptureDlg& dlg) : m_dlg(dlg) {
    m_panes[0] = std::make_unique<CPaneReview>(&dlg.Pane(0), [&dlg] { return dlg.Player(0); });
    m_panes[1] = std::make_unique<CPaneReview>(&dlg.Pane(1), [&dlg] { return dlg.Player(1); });
    // Keys go to whichever control has the focus: they are looked at before it gets them.
    qApp->installEventFilter(this);
    m_syncWatch.setInterval(kSyncWatchMs);
    connect(&m_syncWatch, &QTimer::timeout, this, &CPlaybackReview::WatchSync);
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
    const bool step = code == Qt::Key_Right || code == Qt::Key_Left;
    const ToolEntry* tool = ToolFor(code);
    const bool line = code == Qt::Key_Return || code == Qt::Key_Enter || code == Qt::Key_Escape;
    if (code != Qt::Key_Space && code != Qt::Key_S && code != Qt::Key_Y && !step && !tool && !line)
        return false;
    CPaneReview* pane = line ? ToolPane() : UnderPointer();
    if (!pane) return false;
    // Steps do nothing while the clip plays, nor Y with one pane empty, nor the tools without a
    // paused frame: the keys then go on to the focused control (Enter and Esc to the window).
    if (step && !CanStep(*pane)) return false;
    if (code == Qt::Key_Y && !IsSynced() && !BothHaveClips()) return false;
    if (tool && !pane->ShowsPausedFrame()) return false;
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
    } else if (code == Qt::Key_S) {
        Snapshot(*pane);
    } else if (code == Qt::Key_Escape) {
        pane->LeaveTool();
    } else if (line) {
        KeepLine(*pane);
    } else {
        StartTool(*pane, tool->kind);
    }
    return true;
}

CPaneReview* CPlaybackReview::ToolPane() {
    auto active = [](CPaneReview* p) {
        return p && p->Tool().Active() != CReviewTool::Kind::None && p->ShowsPausedFrame();
    };
    if (CPaneReview* p = UnderPointer(); active(p)) return p;
    for (auto& p : m_panes)
        if (active(p.get())) return p.get();
    return nullptr;
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
    sync->setEnabled(IsSynced() || BothHaveClips());
    menu->addSeparator();
    for (const ToolEntry& t : kTools) {
        QAction* action = menu->addAction(MenuText(t.menuText, t.key), menu.get(),
                                          [this, p, kind = t.kind] { StartTool(*p, kind); });
        action->setCheckable(true);
        action->setChecked(pane.Tool().Active() == t.kind);
        action->setEnabled(pane.ShowsPausedFrame());
    }
    menu->addSeparator();
    menu->addAction(MenuText("IDS_MENU_SNAPSHOT", Qt::Key_S), menu.get(),
                    [this, p] { Snapshot(*p); });
    return menu;
}

bool CPlaybackReview::BothHaveClips() const {
    return m_panes[0]->HasClip() && m_panes[1]->HasClip();
}

bool CPlaybackReview::IsSynced() {
    // A drop into either pane keeps the comparison: the new clip starts both again.
    if (m_sync && !(m_panes[0]->IsLoaded() && m_panes[1]->IsLoaded())) {
        m_sync = false;
        m_syncWatch.stop();
        AfxGetApp().m_log.WriteLog("synchronized compare off: a pane has no clip\n");
    }
    return m_sync;
}

void CPlaybackReview::ToggleSync() {
    if (IsSynced()) {
        m_sync = false;
        m_syncWatch.stop();
        AfxGetApp().m_log.WriteLog("synchronized compare off\n");
        return;
    }
    if (!BothHaveClips()) return;
    m_sync = true;
    AfxGetApp().m_log.WriteLog("synchronized compare on\n");
    for (int i = 0; i < 2; ++i) {
        m_panes[i]->Restart();
        m_syncSeen[i] = {m_panes[i]->MediaPlayer(), 0, kSyncQuietTicks, false};
    }
    m_syncWatch.start();
}

void CPlaybackReview::WatchSync() {
    if (!IsSynced()) return;
    bool startedOver[2] = {false, false};
    for (int i = 0; i < 2; ++i) {
        SyncSeen& seen = m_syncSeen[i];
        const libvlc_media_player_t* player = m_panes[i]->MediaPlayer();
        const int64_t time = m_panes[i]->PlayTimeMs();
        // A new media player is a new clip, or the same one started again after its end; it
        // counts once it shows pictures, since making its video output takes libVLC a while.
        if (player != seen.player) seen.newClip = true;
        const bool looped = time >= 0 && time + kLoopJumpMs < seen.timeMs;
        const bool started = seen.newClip && time > 0 && m_panes[i]->HasVideoOutput();
        if (started) seen.newClip = false;
        // Our own seek back is no loop; a new clip that starts meanwhile still counts.
        if ((looped && seen.quietTicks == 0) || started) startedOver[i] = true;
        seen.quietTicks = std::max(0, seen.quietTicks - 1);
        seen.player = player;
        seen.timeMs = time;
    }
    // Paused panes are stepped together by the user: they stay where they are.
    if (m_panes[0]->IsPaused() || m_panes[1]->IsPaused()) return;
    if (!startedOver[0] && !startedOver[1]) return;
    // Both seek back, the one that started over too: seeks take libVLC about as long in
    // each, so the two come out together.
    for (int i = 0; i < 2; ++i) {
        m_panes[i]->Restart();
        m_syncSeen[i].timeMs = 0;
        m_syncSeen[i].quietTicks = kSyncQuietTicks;
    }
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

QString CPlaybackReview::SettingsFile() {
    if (m_settingsFile.isEmpty())
        m_settingsFile =
            QDir(platform::CAppPaths::ForModule().SettingsFolder()).filePath("Quorvel.ini");
    return m_settingsFile;
}

CCalibration CPlaybackReview::ReadCalibration() {
    if (m_unsavedCalibration) return *m_unsavedCalibration;
    const QString value = platform::GetPrivateProfileStringW(kCalibrationSection, kCalibrationKey,
                                                             QString(), 64, SettingsFile());
    // A value that is not a positive number leaves the clip uncalibrated.
    return CCalibration(value.toDouble());
}

std::optional<double> CPlaybackReview::MicrometresPerPixel() {
    const CCalibration calibration = ReadCalibration();
    if (!calibration.IsCalibrated()) return std::nullopt;
    return calibration.MicrometresPerPixel();
}

void CPlaybackReview::StartTool(CPaneReview& pane, CReviewTool::Kind kind) {
    pane.Tool().SetCalibration(ReadCalibration());
    pane.Tool().SetGiantText(AfxGetApp().GetLangString(QStringLiteral("IDS_TOOL_WIDTH_GIANT")));
    for (const ToolEntry& t : kTools)
        if (t.kind == kind)
            pane.StartTool(kind, AfxGetApp().GetLangString(QString::fromLatin1(t.hint)));
}

void CPlaybackReview::KeepLine(CPaneReview& pane) {
    CReviewTool& tool = pane.Tool();
    const QString clip = pane.PausedClip();
    const double lengthPx = tool.PendingLengthPx();
    if (clip.isEmpty() || lengthPx <= 0) return;
    CMeasurementCsv::Row row;
    row.clip = QFileInfo(clip).fileName();
    row.frame = pane.CurrentFrame();
    row.from = tool.Pending()->from;
    row.to = tool.Pending()->to;
    row.lengthPx = lengthPx;
    CCalibration calibration = tool.Calibration();
    const std::vector<QPointF> marks = tool.Active() == CReviewTool::Kind::Count
                                           ? tool.Pending()->crossings
                                           : std::vector<QPointF>();
    QString label;
    switch (tool.Active()) {
        case CReviewTool::Kind::Measure:
            row.kind = QStringLiteral("measure");
            row.lengthUm = calibration.Micrometres(lengthPx);
            label = CReviewTool::LengthText(lengthPx, calibration);
            break;
        case CReviewTool::Kind::Count: {
            const int count = static_cast<int>(tool.Pending()->crossings.size());
            row.kind = QStringLiteral("count");
            row.lengthUm = calibration.Micrometres(lengthPx);
            row.count = count;
            row.perMm = calibration.PerMillimetre(count, lengthPx);
            row.proposed = static_cast<int>(tool.Pending()->proposed.size());
            row.changed = tool.Pending()->Changed();
            label = row.perMm
                        ? QStringLiteral("n = %1, %2 /mm").arg(count).arg(*row.perMm, 0, 'f', 1)
                        : QStringLiteral("n = %1").arg(count);
            break;
        }
        case CReviewTool::Kind::Width:
            row.kind = QStringLiteral("width");
            row.lengthUm = calibration.Micrometres(lengthPx);
            // The probe's line, or one the clinician drew instead.
            row.proposed = tool.Pending()->measured ? 1 : 0;
            row.changed = tool.Pending()->measured ? 0 : 1;
            label = tool.PendingLabel();
            break;
        case CReviewTool::Kind::Calibrate: {
            const LengthPrompt ask = m_askLength ? m_askLength : [this](double) {
                bool ok = false;
                CWinApp& app = AfxGetApp();
                const double um = QInputDialog::getDouble(
                    &m_dlg, app.GetLangString(QStringLiteral("IDS_CALIBRATE_TITLE")),
                    app.GetLangString(QStringLiteral("IDS_CALIBRATE_PROMPT")), 100.0, 0.01, 1e6, 2,
                    &ok);
                return ok ? std::optional<double>(um) : std::nullopt;
            };
            const std::optional<double> um = ask(lengthPx);
            // The prompt ran its own event loop: the pane may have lost its frame meanwhile.
            if (!um || pane.PausedClip() != clip || tool.Active() != CReviewTool::Kind::Calibrate ||
                tool.PendingLengthPx() != lengthPx)
                return;
            const std::optional<CCalibration> made = CCalibration::FromLine(lengthPx, *um);
            if (!made) return;
            calibration = *made;
            SaveCalibration(calibration, *um, lengthPx);
            row.kind = QStringLiteral("calibrate");
            row.lengthUm = *um;
            label = QStringLiteral("%1 µm").arg(*um, 0, 'f', 1);
            break;
        }
        default:
            return;
    }
    tool.Keep(label);
    if (pane.View()) pane.View()->update();
    const QByteArray name = row.clip.toUtf8();
    AfxGetApp().m_log.WriteLog("%s kept: %s frame %d: %s\n", row.kind.toUtf8().constData(),
                               name.constData(), row.frame, label.toUtf8().constData());
    WriteRow(clip, row, marks);
}

void CPlaybackReview::SaveCalibration(const CCalibration& calibration, double um, double lengthPx) {
    for (auto& p : m_panes) p->Tool().SetCalibration(calibration);
    CWinApp& app = AfxGetApp();
    const QString file = SettingsFile();
    app.m_log.WriteLog("calibration: %.2f um over %.2f px, %.6f um per pixel\n", um, lengthPx,
                       calibration.MicrometresPerPixel());
    // An installed copy's settings folder may not exist yet.
    QDir().mkpath(QFileInfo(file).absolutePath());
    const int error = platform::WritePrivateProfileStringW(
        kCalibrationSection, kCalibrationKey,
        QString::number(calibration.MicrometresPerPixel(), 'g', 12), file);
    if (error == 0) {
        m_unsavedCalibration.reset();
        return;
    }
    m_unsavedCalibration = calibration;
    app.m_log.WriteLog("calibration not saved: %s: %s\n", file.toUtf8().constData(),
                       std::strerror(error));
    platform::AfxMessageBox(app.GetLangString(QStringLiteral("IDS_CALIBRATION_SAVE_FAIL")));
}

void CPlaybackReview::WriteRow(const QString& clip, const CMeasurementCsv::Row& row,
                               const std::vector<QPointF>& marks) {
    if (CExamSession* exam = m_dlg.Exam()) {
        Measurement m;
        m.frame = row.frame;
        m.kind = row.kind.toStdString();
        if (row.from) m.x1 = row.from->x(), m.y1 = row.from->y();
        if (row.to) m.x2 = row.to->x(), m.y2 = row.to->y();
        m.lengthPx = row.lengthPx;
        m.lengthUm = row.lengthUm;
        m.count = row.count;
        m.perMm = row.perMm;
        m.proposed = row.proposed;
        m.changed = row.changed;
        for (const QPointF& p : marks) m.marks.push_back({p.x(), p.y()});
        exam->RecordMeasurement(clip, m);
    }
    const int error = CMeasurementCsv::Append(clip, row);
    if (error == 0) return;
    CWinApp& app = AfxGetApp();
    app.m_log.WriteLog("measurement not written: %s: %s\n",
                       CMeasurementCsv::PathFor(clip).toUtf8().constData(), std::strerror(error));
    platform::AfxMessageBox(app.GetLangString(QStringLiteral("IDS_MEASURE_SAVE_FAIL")));
}
