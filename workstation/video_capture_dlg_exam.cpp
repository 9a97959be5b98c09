// The exam: which patient, visit and finger a saved clip shows; the exam dialog; comparing a
// clip with the same finger at the last visit.
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QShortcut>
#include <QSysInfo>
#include <QUrl>
#include <algorithm>

#include "platform/app_paths.h"
#include "platform/message_box.h"
#include "platform/system.h"
#include "platform/win_app.h"
#include "workstation/exam_dlg.h"
#include "workstation/report_job.h"
#include "workstation/video_capture_dlg.h"

namespace {

QString Lang(const char* key) {
    return AfxGetApp().GetLangString(QString::fromLatin1(key));
}

}  // namespace

void CVideoCaptureDlg::StartExamSession() {
    m_exam = std::make_unique<CExamSession>(m_videoDir);
    m_exam->SetChangedHook([this] { m_livePane.SetOverlayText(m_exam->OverlayLine()); });
    m_pacs = std::make_unique<CPacsLink>(
        *m_exam, m_videoDir,
        QDir(platform::CAppPaths::ForModule().SettingsFolder()).filePath("Quorvel.ini"));
    m_pacs->SetStateChanged([this](const QString& path) { ShowSendState(path); });
    m_exam->CheckAtStart();

    auto* shortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+E")), this);
    connect(shortcut, &QShortcut::activated, this, [this] { OnExamDialog(); });
    m_videoList.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&m_videoList, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const int row = m_videoList.indexAt(at).row();
        if (row < 0 || row >= static_cast<int>(m_videoPaths.size())) return;
        const QString clip = m_videoPaths[row];
        QMenu menu(this);
        menu.addAction(Lang("IDS_EXAM_COMPARE"), this,
                       [this, clip] { OnCompareWithLastVisit(clip); });
        QAction* send =
            menu.addAction(m_pacs->MenuText(), this, [this, clip] { m_pacs->Send(clip); });
        send->setEnabled(m_pacs->Configured());
        menu.exec(m_videoList.viewport()->mapToGlobal(at));
    });
}

void CVideoCaptureDlg::AddExamActions(QMenu& menu) {
    if (!m_exam) return;
    menu.addAction(Lang("IDS_EXAM_MENU"), this, [this] { OnExamDialog(); });
    QAction* end = menu.addAction(Lang("IDS_EXAM_END"), this, [this] { m_exam->Clear(); });
    end->setEnabled(m_exam->Current().has_value());
    if (m_exam->Current())
        menu.addAction(Lang("IDS_REPORT_MENU"), this, [this] {
            if (m_exam->Current()) OnReport(m_exam->Current()->visit);
        });
    menu.addSeparator();
}

void CVideoCaptureDlg::RecordSavedClip(const QString& clip) {
    if (!m_exam) return;
    CExamSession::SavedClip saved;
    saved.path = clip;
    saved.frameCount = m_recorder.FramesWritten();
    saved.frameRate = m_recorder.RealFrameRate();
    saved.umPerPx = m_review->MicrometresPerPixel();
    m_exam->RecordSave(saved);
}

void CVideoCaptureDlg::ShowSendState(const QString& path) {
    if (!m_pacs) return;
    QString reason;
    const CPacsLink::State state = m_pacs->StateOf(path, &reason);
    QString text = QFileInfo(path).fileName();
    if (state == CPacsLink::State::Waiting)
        text += QStringLiteral(" \u00b7 ") + Lang("IDS_PACS_WAITING");
    if (state == CPacsLink::State::Sent) text += QStringLiteral(" \u00b7 ") + Lang("IDS_PACS_SENT");
    if (state == CPacsLink::State::Failed)
        text += QStringLiteral(" \u00b7 ") + Lang("IDS_PACS_FAILED");
    for (size_t i = 0; i < m_videoPaths.size(); ++i) {
        if (m_videoPaths[i] != path) continue;
        if (QListWidgetItem* item = m_videoList.item(static_cast<int>(i))) {
            item->setText(text);
            item->setToolTip(reason);
        }
    }
}

void CVideoCaptureDlg::OnExamDialog() {
    CExamStore* store = m_exam ? m_exam->Store(true) : nullptr;
    if (!store) return;
    const platform::SYSTEMTIME t = platform::GetLocalTime();
    const QString today = QString::asprintf("%04d-%02d-%02d", t.wYear, t.wMonth, t.wDay);
    CExamDlg dlg(*m_exam, *store, today, this);
    ConnectExamDlg(dlg);
    dlg.exec();
}

void CVideoCaptureDlg::ConnectExamDlg(CExamDlg& dlg) {
    dlg.SetPutIntoStrip([this](const QStringList& paths) {
        for (const QString& path : paths)
            if (std::find(m_videoPaths.begin(), m_videoPaths.end(), path) == m_videoPaths.end())
                AddVideo(path);
    });
    dlg.SetReport([this](const Visit& visit) { OnReport(visit); });
    if (!m_worklistJob) m_worklistJob = std::make_unique<CWorklistJob>();
    dlg.SetWorklist(m_worklistJob.get());
}

void CVideoCaptureDlg::OnReport(const Visit& visit) {
    CExamStore* store = m_exam ? m_exam->Store(false) : nullptr;
    if (!store) return;
    if (!m_reportJob)
        m_reportJob = std::make_unique<CReportJob>([this](CReportWriter::Result&& r) {
            if (r.ok) {
                if (m_openReport)
                    m_openReport(r.path);
                else
                    QDesktopServices::openUrl(QUrl::fromLocalFile(r.path));
                return;
            }
            // The folder only: the file's name holds the patient's ID.
            AfxGetApp().m_log.WriteLog("report not written in %s: %s\n",
                                       QFileInfo(r.path).path().toUtf8().constData(),
                                       r.error.toUtf8().constData());
            platform::AfxMessageBox(Lang("IDS_REPORT_FAIL") + QStringLiteral("\n") + r.error);
        });
    CReportWriter::Options options;
    options.host = QSysInfo::machineHostName();
    options.text = [](const char* key) { return Lang(key); };
    options.pageSize = CReportWriter::PageSizeFor(QLocale().measurementSystem());
    if (Lang("IDS_REPORT_TITLE").contains(QChar(0x62a5)))  // 报: the Chinese pack
        options.cjkFamily = QStringLiteral("Noto Sans CJK SC");
    m_reportJob->Start(*store, visit, std::move(options));
}

void CVideoCaptureDlg::OnCompareWithLastVisit(const QString& clip) {
    CExamStore* store = m_exam ? m_exam->Store(false) : nullptr;
    const std::string rel = store ? store->RelativePath(clip.toStdString()) : std::string();
    const auto current =
        rel.empty() ? ExamResult<Clip>{{ExamError::NotFound, {}}} : store->ClipByPath(rel);
    if (!current.ok()) {
        platform::AfxMessageBox(Lang("IDS_EXAM_NOT_RECORDED"));
        return;
    }
    const auto earlier = store->EarlierClip(rel);
    if (!earlier.ok()) {
        if (earlier.status.code != ExamError::NotFound)
            AfxGetApp().m_log.WriteLog("exam: compare failed: %s\n", earlier.status.detail.c_str());
        platform::AfxMessageBox(Lang("IDS_EXAM_NO_EARLIER"));
        return;
    }
    const QString other =
        m_videoDir + QLatin1Char('/') + QString::fromStdString(earlier.value.record.relPath);
    if (std::find(m_videoPaths.begin(), m_videoPaths.end(), other) == m_videoPaths.end())
        AddVideo(other);
    if (!m_bDualView) OnToggleView();
    auto label = [](const Clip& c, const QString& path) {
        return QString::fromStdString(c.visitDate) + QStringLiteral("  ") +
               platform::PathFindFileNameW(path);
    };
    PlayInPane(0, clip, label(current.value, clip));
    PlayInPane(1, other, label(earlier.value, other));
    AfxGetApp().m_log.WriteLog("exam: compare clip row %lld with row %lld\n", current.value.row,
                               earlier.value.row);
}
