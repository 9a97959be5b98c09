#include "workstation/exam_session.h"

#include <QFile>

#include "exam/finger.h"
#include "platform/message_box.h"
#include "platform/system.h"
#include "platform/win_app.h"

CExamSession::CExamSession(const QString& videoDir)
    : m_videoDir(videoDir),
      m_failures([this](Failure&& f) {
          if (!f.opening)
              Tell("IDS_EXAM_SAVE_FAIL");
          else
              Tell(f.status.code == ExamError::NewerSchema ? "IDS_EXAM_DB_NEWER"
                                                           : "IDS_EXAM_DB_FAIL");
      }),
      m_worker([this] { Work(); }) {}

CExamSession::~CExamSession() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    // Records still queued are written before the worker ends: nothing the user saved is left
    // without its record when the window closes.
    m_worker.join();
}

void CExamSession::Tell(const char* key) {
    platform::AfxMessageBox(AfxGetApp().GetLangString(QString::fromLatin1(key)));
}

ExamStatus CExamSession::OpenOnce() {
    {
        std::lock_guard lock(m_mutex);
        if (m_openFailed) return {ExamError::Failed, "opening failed before"};
    }
    if (m_store.IsOpen()) return ExamStatus::Ok();
    const ExamStatus status = m_store.Open(m_videoDir.toStdString());
    if (status.ok()) return status;
    {
        std::lock_guard lock(m_mutex);
        m_openFailed = true;
    }
    AfxGetApp().m_log.WriteLog("exam database not opened: %s\n", status.detail.c_str());
    m_failures.Post({true, status});
    return status;
}

CExamStore* CExamSession::Store(bool create) {
    {
        // The start's look opens the database; a second opening must not run beside it.
        std::unique_lock lock(m_mutex);
        m_checked.wait(lock, [this] { return !m_checking; });
        if (m_openFailed) return nullptr;
    }
    if (m_store.IsOpen()) return &m_store;
    const std::string root = m_videoDir.toStdString();
    if (!create && !QFile::exists(QString::fromStdString(CExamStore::PathIn(root)))) return nullptr;
    return OpenOnce().ok() ? &m_store : nullptr;
}

void CExamSession::CheckAtStart() {
    if (!QFile::exists(QString::fromStdString(CExamStore::PathIn(m_videoDir.toStdString()))))
        return;
    {
        std::lock_guard lock(m_mutex);
        m_checking = true;
    }
    m_wake.notify_one();
}

void CExamSession::CheckExisting() {
    CLogFile& log = AfxGetApp().m_log;
    if (OpenOnce().ok()) {
        const auto orphans = m_store.FindOrphans();
        if (!orphans.ok())
            log.WriteLog("exam: clips without a record not listed: %s\n",
                         orphans.status.detail.c_str());
        for (const std::string& path : orphans.value)
            log.WriteLog("exam: clip not assigned: %s\n", path.c_str());
        Recorded({});
    }
    {
        std::lock_guard lock(m_mutex);
        m_checking = false;
    }
    m_checked.notify_all();
}

void CExamSession::Choose(Choice choice) {
    if (!exam::IsFingerCode(choice.finger)) choice.finger = exam::FingerOrder().front();
    AfxGetApp().m_log.WriteLog("exam chosen: patient %lld, visit %lld\n", choice.patient.row,
                               choice.visit.row);
    m_choice = std::move(choice);
    Changed();
}

void CExamSession::Clear() {
    if (!m_choice) return;
    m_choice.reset();
    AfxGetApp().m_log.WriteLog("exam ended\n");
    Changed();
}

void CExamSession::SetFinger(const std::string& finger) {
    if (!m_choice || !exam::IsFingerCode(finger)) return;
    m_choice->finger = finger;
    Changed();
}

void CExamSession::Changed() {
    if (m_changed) m_changed();
}

QString CExamSession::OverlayLine() const {
    if (!m_choice) return {};
    const QString dot = QStringLiteral(" \u00b7 ");
    QString line = QString::fromStdString(m_choice->patient.patientId);
    if (!m_choice->patient.name.empty())
        line += dot + QString::fromStdString(m_choice->patient.name);
    return line + dot + QString::fromStdString(m_choice->finger);
}

void CExamSession::RecordSave(const SavedClip& clip) {
    if (!m_choice || !m_store.IsOpen()) return;
    ClipRecord record;
    record.visitRow = m_choice->visit.row;
    record.finger = m_choice->finger;
    record.relPath = m_store.RelativePath(clip.path.toStdString());
    const platform::SYSTEMTIME t = platform::GetLocalTime();
    record.savedAt = QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay,
                                       t.wHour, t.wMinute, t.wSecond)
                         .toStdString();
    record.frameCount = clip.frameCount;
    record.frameRate = clip.frameRate;
    record.umPerPx = clip.umPerPx;
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(record));
        ++m_pending;
    }
    m_wake.notify_one();
    SetFinger(exam::NextFinger(m_choice->finger));
}

void CExamSession::Work() {
    for (;;) {
        ClipRecord record;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_checking || !m_jobs.empty(); });
            if (m_checking) {
                lock.unlock();
                CheckExisting();
                continue;
            }
            if (m_jobs.empty()) return;
            record = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        const ExamResult<long long> saved = m_store.SaveClip(record);
        CLogFile& log = AfxGetApp().m_log;
        if (saved.ok())
            log.WriteLog("exam: clip %s recorded as row %lld (visit %lld, %s)\n",
                         record.relPath.c_str(), saved.value, record.visitRow,
                         record.finger.c_str());
        else
            log.WriteLog("exam: clip %s not recorded: %s\n", record.relPath.c_str(),
                         saved.status.detail.c_str());
        {
            std::lock_guard lock(m_mutex);
            --m_pending;
        }
        if (!saved.ok()) m_failures.Post({false, saved.status});
        if (saved.ok()) Recorded(record.relPath);
    }
}

void CExamSession::SetRecordedHook(std::function<void(const std::string& relPath)> hook) {
    std::lock_guard lock(m_mutex);
    m_recorded = std::move(hook);
}

void CExamSession::Recorded(const std::string& relPath) {
    // Under the lock, so that a hook being taken away waits for a call in progress.
    std::lock_guard lock(m_mutex);
    if (m_recorded) m_recorded(relPath);
}

int CExamSession::PendingSaves() const {
    std::lock_guard lock(m_mutex);
    return m_pending;
}

void CExamSession::RecordMeasurement(const QString& clipPath, const Measurement& measurement) {
    CExamStore* store = Store(false);
    if (!store) return;
    const std::string rel = store->RelativePath(clipPath.toStdString());
    if (rel.empty()) return;
    const auto added = store->AddMeasurement(rel, measurement);
    if (added.ok())
        AfxGetApp().m_log.WriteLog("exam: measurement row %lld for %s\n", added.value, rel.c_str());
    else if (added.status.code != ExamError::NotFound)
        AfxGetApp().m_log.WriteLog("exam: measurement for %s not stored: %s\n", rel.c_str(),
                                   added.status.detail.c_str());
}
