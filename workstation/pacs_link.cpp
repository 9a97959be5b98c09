#include "workstation/pacs_link.h"

#include "platform/message_box.h"
#include "platform/profile.h"
#include "platform/win_app.h"

namespace {

QString Lang(const char* key) {
    return AfxGetApp().GetLangString(QString::fromLatin1(key));
}

const QString kSection = QStringLiteral("PACS");

}  // namespace

CPacsLink::CPacsLink(CExamSession& session, const QString& videoDir, const QString& settingsFile)
    : m_session(session),
      m_videoDir(videoDir),
      m_recorded([this](std::string&& rel) { OnRecorded(rel); }),
      m_reports([this](DicomSendReport&& report) { OnReport(std::move(report)); }) {
    m_archive = ReadSettings(settingsFile, &m_autoSend);
    m_session.SetRecordedHook([this](const std::string& rel) { m_recorded.Post(rel); });
    AfxGetApp().m_log.WriteLog("PACS: %s, AutoSend %d\n",
                               Configured() ? "configured" : "settings missing",
                               m_autoSend ? 1 : 0);
}

CPacsLink::~CPacsLink() {
    m_session.SetRecordedHook(nullptr);
    // A send in progress ends first; what it did not finish waits in the database.
    if (m_queue) m_queue->Stop();
}

DicomArchive CPacsLink::ReadSettings(const QString& file, bool* autoSend) {
    auto read = [&file](const char* key) {
        return platform::GetPrivateProfileStringW(kSection, QString::fromLatin1(key), QString(),
                                                  256, file)
            .trimmed();
    };
    DicomArchive archive;
    archive.host = read("Host").toStdString();
    const QString port = read("Port");
    bool numeric = true;
    archive.port = port.isEmpty() ? 104 : port.toInt(&numeric);
    if (!numeric) archive.port = 0;
    archive.calledAeTitle = read("CalledAETitle").toStdString();
    const QString calling = read("CallingAETitle");
    if (!calling.isEmpty()) archive.callingAeTitle = calling.toStdString();
    *autoSend = read("AutoSend") == QStringLiteral("1");
    return archive;
}

QString CPacsLink::MenuText() const {
    if (Configured()) return Lang("IDS_PACS_SEND");
    return Lang("IDS_PACS_SETTINGS_MISSING").arg(QString::fromStdString(m_archive.Missing()));
}

CDicomSendQueue* CPacsLink::Queue() {
    if (m_queue) return m_queue.get();
    CExamStore* store = m_session.Store(false);
    if (!store) return nullptr;
    m_queue = std::make_unique<CDicomSendQueue>(
        *store, m_videoDir.toStdString() + "/.outgoing",
        [this](DicomSendReport report) { m_reports.Post(std::move(report)); });
    m_queue->SetArchive(m_archive);
    m_queue->Start();
    return m_queue.get();
}

void CPacsLink::Send(const QString& clipPath) {
    CExamStore* store = m_session.Store(false);
    const std::string rel = store ? store->RelativePath(clipPath.toStdString()) : std::string();
    if (!store || rel.empty() || !store->ClipByPath(rel).ok()) {
        platform::AfxMessageBox(Lang("IDS_PACS_NO_EXAM"));
        return;
    }
    const ExamResult<std::vector<SendItem>> queued = CDicomSendQueue::QueueClip(*store, rel);
    if (!queued.ok()) {
        AfxGetApp().m_log.WriteLog("PACS: %s not queued: %s\n", rel.c_str(),
                                   queued.status.detail.c_str());
        platform::AfxMessageBox(Lang("IDS_PACS_QUEUE_FAIL"));
        return;
    }
    AfxGetApp().m_log.WriteLog("PACS: %s queued with %zu snapshot(s)\n", rel.c_str(),
                               queued.value.size() - 1);
    for (const SendItem& item : queued.value) m_toldRefused.erase(item.row);
    if (CDicomSendQueue* queue = Queue()) queue->RetryNow();
    if (m_stateChanged) m_stateChanged(clipPath);
}

void CPacsLink::OnRecorded(const std::string& relPath) {
    CDicomSendQueue* queue = Queue();
    if (!queue) return;
    if (!relPath.empty() && m_autoSend && Configured()) {
        CExamStore* store = m_session.Store(false);
        const auto queued = CDicomSendQueue::QueueClip(*store, relPath);
        if (!queued.ok())
            AfxGetApp().m_log.WriteLog("PACS: %s not queued: %s\n", relPath.c_str(),
                                       queued.status.detail.c_str());
        if (m_stateChanged)
            m_stateChanged(m_videoDir + QLatin1Char('/') + QString::fromStdString(relPath));
    }
    queue->Wake();
}

void CPacsLink::OnReport(DicomSendReport&& report) {
    CLogFile& log = AfxGetApp().m_log;
    if (report.sent)
        log.WriteLog("PACS: %s of %s stored (item %lld)\n", report.kind.c_str(),
                     report.clipRelPath.c_str(), report.itemRow);
    else
        log.WriteLog("PACS: %s of %s not stored (item %lld): %s\n", report.kind.c_str(),
                     report.clipRelPath.c_str(), report.itemRow, report.error.c_str());
    if (m_stateChanged)
        m_stateChanged(m_videoDir + QLatin1Char('/') + QString::fromStdString(report.clipRelPath));
    // A refusal is told once per item; failures to reach the archive only show on the strip.
    if (report.refused && m_toldRefused.insert(report.itemRow).second)
        platform::AfxMessageBox(
            Lang("IDS_PACS_REFUSED")
                .arg(QStringLiteral("0x") +
                     QStringLiteral("%1").arg(report.status, 4, 16, QLatin1Char('0')).toUpper()));
}

CPacsLink::State CPacsLink::StateOf(const QString& clipPath, QString* reason) const {
    CExamStore* store = m_session.Store(false);
    const std::string rel = store ? store->RelativePath(clipPath.toStdString()) : std::string();
    if (rel.empty()) return State::None;
    const ExamResult<std::vector<SendItem>> items = store->SendsOfClip(rel);
    if (!items.ok() || items.value.empty()) return State::None;
    State state = State::Sent;
    for (const SendItem& item : items.value) {
        if (item.sent) continue;
        if (!item.lastError.empty()) {
            if (reason) *reason = QString::fromStdString(item.lastError);
            return State::Failed;
        }
        state = State::Waiting;
    }
    return state;
}
