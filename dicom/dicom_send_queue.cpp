#include "dicom/dicom_send_queue.h"

#include <dcmtk/dcmdata/dcuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <chrono>
#include <ctime>

#include "dicom/clip_object_builder.h"
#include "dicom/dicom_uid.h"
#include "dicom/snapshot_object_builder.h"

namespace {

// UIDs below our root: studies .1.<visit>, series .2.<clip> and .3.<clip> (its snapshots),
// objects .4.<queue row>.
constexpr int kStudyArc = 1, kClipSeriesArc = 2, kSnapshotSeriesArc = 3, kObjectArc = 4;

std::string StationName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

// The frame a snapshot shows, from its name <clip>_<frame>.png; 0 when there is none.
int SnapshotFrame(const std::string& relPath) {
    static const QRegularExpression number(QStringLiteral("_(\\d+)\\.png$"));
    const QRegularExpressionMatch match = number.match(QString::fromStdString(relPath));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

}  // namespace

CDicomSendQueue::CDicomSendQueue(CExamStore& store, std::string outgoingDir, Report report)
    : m_store(store), m_outgoingDir(std::move(outgoingDir)), m_report(std::move(report)) {}

CDicomSendQueue::~CDicomSendQueue() {
    Stop();
}

ExamResult<std::vector<SendItem>> CDicomSendQueue::QueueClip(CExamStore& store,
                                                             const std::string& clipRelPath) {
    ExamResult<std::string> root = store.UidRoot(CDicomUid::NewRoot());
    if (!root.ok()) return {root.status};
    const std::string objectRoot = root.value + "." + std::to_string(kObjectArc);
    std::vector<SendItem> items;
    ExamResult<SendItem> clip = store.QueueSend(clipRelPath, {}, objectRoot);
    if (!clip.ok()) return {clip.status};
    items.push_back(clip.value);

    const QFileInfo info(QString::fromStdString(store.Root() + "/" + clipRelPath));
    const QString folder = QFileInfo(QString::fromStdString(clipRelPath)).path();
    const QStringList snapshots = info.dir().entryList(
        {info.completeBaseName() + QStringLiteral("_*.png")}, QDir::Files, QDir::Name);
    for (const QString& name : snapshots) {
        const std::string rel =
            (folder == QStringLiteral(".") ? name : folder + "/" + name).toStdString();
        ExamResult<SendItem> snapshot = store.QueueSend(clipRelPath, rel, objectRoot);
        if (!snapshot.ok()) return {snapshot.status, items};
        items.push_back(snapshot.value);
    }
    return {ExamStatus::Ok(), std::move(items)};
}

long long CDicomSendQueue::PauseAfter(int attempts) {
    constexpr long long kFirst = 30, kLongest = 3600;
    long long pause = kFirst;
    for (int i = 1; i < attempts && pause < kLongest; ++i) pause *= 2;
    return std::min(pause, kLongest);
}

void CDicomSendQueue::SetArchive(const DicomArchive& archive) {
    {
        std::lock_guard lock(m_mutex);
        m_archive = archive;
        m_retryNow = true;  // the failures so far may have been the old settings' fault
    }
    m_wake.notify_all();
}

void CDicomSendQueue::Start() {
    if (m_thread.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_stop = false;
    }
    m_thread = std::thread([this] { Run(); });
}

void CDicomSendQueue::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CDicomSendQueue::Wake() {
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_wake.notify_all();
}

void CDicomSendQueue::RetryNow() {
    {
        std::lock_guard lock(m_mutex);
        m_retryNow = true;
    }
    m_wake.notify_all();
}

void CDicomSendQueue::SetAfterStore(std::function<void(const SendItem&)> afterStore) {
    std::lock_guard lock(m_mutex);
    m_afterStore = std::move(afterStore);
}

void CDicomSendQueue::Run() {
    for (;;) {
        DicomArchive archive;
        bool retryAll;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop) return;
            archive = m_archive;
            retryAll = m_retryNow;
            m_retryNow = m_woken = false;
        }
        std::time_t nextDue = 0;
        ExamResult<std::vector<SendItem>> waiting = m_store.WaitingSends();
        if (waiting.ok() && archive.Missing().empty()) {
            for (const SendItem& item : waiting.value) {
                {
                    std::lock_guard lock(m_mutex);
                    if (m_stop) return;
                }
                if (!retryAll && item.nextTry > std::time(nullptr)) {
                    if (nextDue == 0 || item.nextTry < nextDue) nextDue = item.nextTry;
                    continue;
                }
                Process(item, archive);
            }
        }
        // Items failed just now are due later: the queue is read again then, or when woken.
        ExamResult<std::vector<SendItem>> later = m_store.WaitingSends();
        if (later.ok())
            for (const SendItem& item : later.value)
                if (nextDue == 0 || item.nextTry < nextDue) nextDue = item.nextTry;
        // An item that stays due (its failure could not be kept) is not tried in a tight loop.
        if (nextDue != 0 && nextDue <= std::time(nullptr))
            nextDue = std::time(nullptr) + PauseAfter(1);
        std::unique_lock lock(m_mutex);
        auto woken = [this] { return m_stop || m_woken || m_retryNow; };
        if (nextDue == 0)
            m_wake.wait(lock, woken);
        else
            m_wake.wait_until(lock, std::chrono::system_clock::from_time_t(nextDue), woken);
    }
}

bool CDicomSendQueue::Build(const SendItem& item, const std::string& path, std::string* sopClass,
                            std::string* syntax, std::string* error) {
    ExamResult<Clip> clip = m_store.ClipByPath(item.clipRelPath);
    if (!clip.ok()) {
        *error = clip.status.detail;
        return false;
    }
    ExamResult<Patient> patient = m_store.PatientByRow(clip.value.patientRow);
    if (!patient.ok()) {
        *error = patient.status.detail;
        return false;
    }
    if (m_uidRoot.empty()) {
        ExamResult<std::string> root = m_store.UidRoot(CDicomUid::NewRoot());
        if (!root.ok()) {
            *error = root.status.detail;
            return false;
        }
        m_uidRoot = root.value;
    }
    const long long visit = clip.value.record.visitRow;
    ExamResult<std::string> study =
        m_store.StudyUid(visit, CDicomUid::Below(m_uidRoot, kStudyArc, visit));
    if (!study.ok()) {
        *error = study.status.detail;
        return false;
    }

    const bool isClip = item.kind == "clip";
    DicomExamInfo info;
    info.patient = patient.value;
    info.visitDate = clip.value.visitDate;
    ExamResult<std::vector<Visit>> visits = m_store.VisitsOf(clip.value.patientRow);
    if (visits.ok())
        for (const Visit& v : visits.value)
            if (v.row == visit) info.accessionNumber = v.accessionNumber;
    info.studyUid = study.value;
    info.studyId = std::to_string(visit);
    info.seriesUid =
        CDicomUid::Below(m_uidRoot, isClip ? kClipSeriesArc : kSnapshotSeriesArc, clip.value.row);
    info.sopInstanceUid = item.sopInstanceUid;
    info.seriesNumber = static_cast<int>(2 * clip.value.row - (isClip ? 1 : 0));
    info.instanceNumber = isClip ? 1 : SnapshotFrame(item.relPath) + 1;
    info.finger = clip.value.record.finger;
    info.takenAt = clip.value.record.savedAt;
    info.umPerPx = clip.value.record.umPerPx;
    info.stationName = StationName();

    const std::string source = m_store.Root() + "/" + item.relPath;
    if (isClip) {
        CClipObjectBuilder builder;
        if (!builder.Build(source, info, clip.value.record.frameRate, path)) {
            *error = builder.Error();
            return false;
        }
        *sopClass = UID_MultiframeTrueColorSecondaryCaptureImageStorage;
        *syntax = UID_JPEGProcess1TransferSyntax;
        return true;
    }
    CSnapshotObjectBuilder builder;
    if (!builder.Build(source, info, path)) {
        *error = builder.Error();
        return false;
    }
    *sopClass = UID_VLPhotographicImageStorage;
    *syntax = UID_LittleEndianExplicitTransferSyntax;
    return true;
}

void CDicomSendQueue::Process(const SendItem& item, const DicomArchive& archive) {
    DicomSendReport report;
    report.itemRow = item.row;
    report.clipRelPath = item.clipRelPath;
    report.kind = item.kind;

    ::mkdir(m_outgoingDir.c_str(), 0700);
    const std::string path = m_outgoingDir + "/" + std::to_string(item.row) + ".dcm";
    std::string sopClass, syntax;
    DicomSendOutcome outcome;
    if (Build(item, path, &sopClass, &syntax, &outcome.error))
        outcome = CDicomSender::Send(archive, path, sopClass, syntax);
    ::unlink(path.c_str());

    if (outcome.stored) {
        std::function<void(const SendItem&)> afterStore;
        {
            std::lock_guard lock(m_mutex);
            afterStore = m_afterStore;
        }
        if (afterStore) afterStore(item);
        const ExamStatus marked = m_store.MarkSent(item.row);
        report.sent = marked.ok();
        report.status = outcome.status;
        if (!marked.ok()) report.error = marked.detail;
    } else {
        report.refused = outcome.refused;
        report.status = outcome.status;
        report.error = outcome.error;
        m_store.MarkSendFailed(item.row, outcome.error,
                               std::time(nullptr) + PauseAfter(item.attempts + 1));
    }
    if (m_report) m_report(std::move(report));
}
