#include "exam/exam_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>

#include "exam/clip_file_scan.h"
#include "exam/exam_schema.h"
#include "exam/finger.h"
#include "exam/sql_statement.h"
#include "exam/sql_transaction.h"

namespace {

std::string Fold(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

ExamStatus Status(ExamError code, std::string detail) {
    return {code, std::move(detail)};
}

std::string ErrnoText(const char* what, int err) {
    return std::string(what) + ": " + std::strerror(err);
}

// A clip path as the save makes it: relative, '/'-separated, no way out of the root.
bool IsSafeRelativePath(const std::string& path) {
    if (path.empty() || path.front() == '/') return false;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

// Count marks as "x,y;x,y;...", in clip pixels to a hundredth.
std::string EncodeMarks(const std::vector<MarkPoint>& marks) {
    std::string text;
    char point[64];
    for (const MarkPoint& p : marks) {
        std::snprintf(point, sizeof point, "%s%.2f,%.2f", text.empty() ? "" : ";", p.x, p.y);
        text += point;
    }
    return text;
}

// A point that does not read as two finite numbers is left out rather than made up.
std::vector<MarkPoint> DecodeMarks(const std::string& text) {
    std::vector<MarkPoint> marks;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find(';', start), text.size());
        const std::string item = text.substr(start, end - start);
        double x = 0, y = 0;
        char tail = 0;
        if (std::sscanf(item.c_str(), "%lf,%lf%c", &x, &y, &tail) == 2 && std::isfinite(x) &&
            std::isfinite(y))
            marks.push_back({x, y});
        start = end + 1;
    }
    return marks;
}

constexpr const char* kClipColumns =
    "c.id, c.visit, c.finger, c.rel_path, c.saved_at, c.frame_count, c.frame_rate, c.um_per_px, "
    "v.patient, v.visit_date";

Clip ReadClip(const CSqlStatement& s) {
    Clip clip;
    clip.row = s.Int(0);
    clip.record.visitRow = s.Int(1);
    clip.record.finger = s.Text(2);
    clip.record.relPath = s.Text(3);
    clip.record.savedAt = s.Text(4);
    clip.record.frameCount = s.OptInt(5);
    clip.record.frameRate = s.OptReal(6);
    clip.record.umPerPx = s.OptReal(7);
    clip.patientRow = s.Int(8);
    clip.visitDate = s.Text(9);
    return clip;
}

Patient ReadPatient(const CSqlStatement& s) {
    Patient p;
    p.row = s.Int(0);
    p.patientId = s.Text(1);
    p.name = s.Text(2);
    p.birthDate = s.Text(3);
    p.sex = s.Text(4);
    return p;
}

constexpr const char* kPatientColumns = "id, patient_id, name, ifnull(birth_date, ''), sex";

}  // namespace

CExamStore::CExamStore() = default;
CExamStore::~CExamStore() = default;

std::string CExamStore::PathIn(const std::string& root) {
    return root + "/" + kFileName;
}

bool CExamStore::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_db != nullptr;
}

std::string CExamStore::Root() const {
    std::lock_guard lock(m_mutex);
    return m_root;
}

void CExamStore::SetSyncClipFiles(bool sync) {
    std::lock_guard lock(m_mutex);
    m_syncClipFiles = sync;
}

void CExamStore::Close() {
    std::lock_guard lock(m_mutex);
    m_db.reset();
    m_root.clear();
}

ExamStatus CExamStore::Error(int rc, const char* what) const {
    std::string detail =
        std::string(what) + ": " + (m_db ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(rc));
    switch (rc & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return Status(ExamError::Locked, detail);
        case SQLITE_READONLY:
        case SQLITE_PERM:
            return Status(ExamError::ReadOnly, detail);
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return Status(ExamError::Corrupt, detail);
        default:
            return Status(ExamError::Failed, detail);
    }
}

ExamStatus CExamStore::NotOpen() const {
    return Status(ExamError::Failed, "the exam database is not open");
}

ExamStatus CExamStore::Open(const std::string& root) {
    std::lock_guard lock(m_mutex);
    m_db.reset();
    m_root.clear();
    ExamStatus status = OpenLocked(root);
    if (!status.ok()) m_db.reset();
    return status;
}

ExamStatus CExamStore::OpenLocked(const std::string& root) {
    const std::string path = PathIn(root);
    // Made here, owner-only, before SQLite sees it; SQLite gives its -wal and -shm files the
    // same mode.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    } else if (errno != EEXIST) {
        const int err = errno;
        return Status(err == EROFS || err == EACCES ? ExamError::ReadOnly : ExamError::Failed,
                      ErrnoText("creating the exam database", err));
    } else if (::access(path.c_str(), R_OK | W_OK) != 0) {
        const int err = errno;
        return Status(err == EROFS || err == EACCES ? ExamError::ReadOnly : ExamError::Failed,
                      ErrnoText("opening the exam database", err));
    }

    sqlite3* raw = nullptr;
    const int openRc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    m_db.reset(raw);
    if (openRc != SQLITE_OK) return Error(openRc, "opening the exam database");
    if (sqlite3_db_readonly(raw, "main") == 1)
        return Status(ExamError::ReadOnly, "the exam database is read-only");
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);

    // Read before anything is written, so a file we must not touch stays as it is.
    int version = 0, applicationId = 0;
    {
        CSqlStatement s(raw, "PRAGMA user_version");
        const int rc = s.Step();
        if (rc != SQLITE_ROW) return Error(rc, "reading the exam database's version");
        version = static_cast<int>(s.Int(0));
    }
    {
        CSqlStatement s(raw, "PRAGMA application_id");
        const int rc = s.Step();
        if (rc != SQLITE_ROW) return Error(rc, "reading the exam database's version");
        applicationId = static_cast<int>(s.Int(0));
    }
    if (version > 0 && applicationId != CExamSchema::kApplicationId)
        return Status(ExamError::Corrupt, "the file is a database of another program");
    if (version > CExamSchema::kVersion)
        return Status(ExamError::NewerSchema,
                      "the exam database has version " + std::to_string(version) +
                          ", this Quorvel knows " + std::to_string(CExamSchema::kVersion));

    {
        CSqlStatement s(raw, "PRAGMA journal_mode = WAL");
        const int rc = s.Step();
        if (rc != SQLITE_ROW) return Error(rc, "switching the exam database to WAL");
        if (Fold(s.Text(0)) != "wal")
            return Status(ExamError::Failed, "the exam database cannot use a WAL journal");
    }
    int rc = CSqlStatement::Exec(raw, "PRAGMA foreign_keys = ON; PRAGMA synchronous = NORMAL");
    if (rc != SQLITE_OK) return Error(rc, "setting up the exam database");
    if (version < CExamSchema::kVersion) {
        rc = CExamSchema::Migrate(raw, version, CExamSchema::kVersion);
        if (rc != SQLITE_OK) return Error(rc, "upgrading the exam database");
    }
    m_root = root;
    return ExamStatus::Ok();
}

ExamResult<long long> CExamStore::InsertLocked(CSqlStatement& insert, const char* what,
                                               const ExamStatus& onUnique,
                                               const ExamStatus& onForeignKey) {
    CSqlTransaction transaction(m_db.get());
    if (transaction.BeginResult() != SQLITE_OK) return {Error(transaction.BeginResult(), what)};
    int rc = insert.Step();
    if (rc == SQLITE_CONSTRAINT_UNIQUE && !onUnique.ok()) return {onUnique};
    if (rc == SQLITE_CONSTRAINT_FOREIGNKEY && !onForeignKey.ok()) return {onForeignKey};
    if (rc != SQLITE_DONE) return {Error(rc, what)};
    const long long row = sqlite3_last_insert_rowid(m_db.get());
    rc = transaction.Commit();
    if (rc != SQLITE_OK) return {Error(rc, what)};
    return {ExamStatus::Ok(), row};
}

template <typename T, typename Read>
ExamResult<std::vector<T>> CExamStore::CollectLocked(CSqlStatement& query, const char* what,
                                                     Read read) {
    std::vector<T> rows;
    int rc;
    while ((rc = query.Step()) == SQLITE_ROW) rows.push_back(read(query));
    if (rc != SQLITE_DONE) return {Error(rc, what)};
    return {ExamStatus::Ok(), std::move(rows)};
}

bool CExamStore::IsValidDate(const std::string& date) {
    if (date.size() != 10 || date[4] != '-' || date[7] != '-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (date[i] < '0' || date[i] > '9') return false;
    const int year = std::stoi(date.substr(0, 4));
    const int month = std::stoi(date.substr(5, 2));
    const int day = std::stoi(date.substr(8, 2));
    if (year < 1800 || month < 1 || month > 12 || day < 1) return false;
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::string CExamStore::Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

ExamResult<long long> CExamStore::CreatePatient(const Patient& patient) {
    const std::string id = Trim(patient.patientId);
    if (id.empty()) return {Status(ExamError::EmptyPatientId, "the patient ID is empty")};
    if (!patient.birthDate.empty()) {
        if (!IsValidDate(patient.birthDate))
            return {Status(ExamError::BadDate, "the birth date is not a date")};
        if (patient.birthDate > Today())
            return {Status(ExamError::BirthDateInFuture, "the birth date lies in the future")};
    }
    if (patient.sex != "" && patient.sex != "F" && patient.sex != "M" && patient.sex != "O")
        return {Status(ExamError::BadInput, "unknown sex code")};

    std::lock_guard lock(m_mutex);
    if (!m_db) return {NotOpen()};
    const std::string name = Trim(patient.name);
    CSqlStatement s(m_db.get(),
                    "INSERT INTO patients (patient_id, name, birth_date, sex, id_fold, name_fold) "
                    "VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    const std::optional<std::string> birthDate =
        patient.birthDate.empty() ? std::nullopt : std::optional(patient.birthDate);
    s.BindAll(id, name, birthDate, patient.sex, Fold(id), Fold(name));
    return InsertLocked(s, "adding a patient",
                        Status(ExamError::DuplicatePatientId, "a patient with this ID exists"),
                        ExamStatus::Ok());
}

ExamResult<Patient> CExamStore::PatientByRow(long long row) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return {NotOpen()};
    CSqlStatement s(
        m_db.get(),
        (std::string("SELECT ") + kPatientColumns + " FROM patients WHERE id = ?1").c_str());
    s.Bind(1, row);
    const int rc = s.Step();
    if (rc == SQLITE_DONE) return {Status(ExamError::NotFound, "no such patient")};
    if (rc != SQLITE_ROW) return {Error(rc, "reading a patient")};
    return {ExamStatus::Ok(), ReadPatient(s)};
}

ExamResult<std::vector<Patient>> CExamStore::SearchPatients(const std::string& text, int limit) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return {NotOpen()};
    const std::string key = Fold(Trim(text));
    std::vector<Patient> found;
    std::set<long long> seen;
    auto run = [&](const std::string& where, auto bind) -> ExamStatus {
        CSqlStatement s(m_db.get(), (std::string("SELECT ") + kPatientColumns +
                                     " FROM patients WHERE " + where + " LIMIT ?9")
                                        .c_str());
        bind(s);
        s.Bind(9, static_cast<long long>(limit));
        int rc;
        while ((rc = s.Step()) == SQLITE_ROW && static_cast<int>(found.size()) < limit) {
            Patient p = ReadPatient(s);
            if (seen.insert(p.row).second) found.push_back(std::move(p));
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Error(rc, "searching patients");
        return ExamStatus::Ok();
    };
    if (key.empty()) {
        ExamStatus st = run("1 ORDER BY id DESC", [](CSqlStatement&) {});
        return {st, std::move(found)};
    }
    // Prefixes through the indexes: every string that starts with key sorts between key and
    // key followed by a byte no UTF-8 text holds.
    const std::string upper = key + "\xff";
    auto bindRange = [&](CSqlStatement& s) { s.BindAll(key, upper); };
    for (const char* where : {"id_fold >= ?1 AND id_fold < ?2 ORDER BY id_fold",
                              "name_fold >= ?1 AND name_fold < ?2 ORDER BY name_fold"}) {
        ExamStatus st = run(where, bindRange);
        if (!st.ok()) return {st};
        if (static_cast<int>(found.size()) >= limit) return {ExamStatus::Ok(), std::move(found)};
    }
    // Then anywhere inside: a scan, short enough for a clinic's patients.
    ExamStatus st = run("instr(id_fold, ?1) > 0 OR instr(name_fold, ?1) > 0 ORDER BY id_fold",
                        [&](CSqlStatement& s) { s.Bind(1, key); });
    return {st, std::move(found)};
}

ExamResult<Visit> CExamStore::VisitOn(long long patientRow, const std::string& date) {
    if (!IsValidDate(date)) return {Status(ExamError::BadDate, "the visit date is not a date")};
    std::lock_guard lock(m_mutex);
    if (!m_db) return {NotOpen()};
    auto find = [&](Visit* visit) -> int {
        CSqlStatement s(m_db.get(),
                        "SELECT id, accession_number, requested_procedure FROM visits "
                        "WHERE patient = ?1 AND visit_date = ?2");
        s.BindAll(patientRow, date);
        const int rc = s.Step();
        if (rc == SQLITE_ROW) {
            visit->row = s.Int(0);
            visit->accessionNumber = s.Text(1);
            visit->requestedProcedure = s.Text(2);
        }
        return rc;
    };
    Visit visit;
    visit.patientRow = patientRow;
    visit.date = date;
    const int rc = find(&visit);
    if (rc == SQLITE_ROW) return {ExamStatus::Ok(), visit};
    if (rc != SQLITE_DONE) return {Error(rc, "reading a visit")};

    CSqlStatement s(m_db.get(), "INSERT INTO visits (patient, visit_date) VALUES (?1, ?2)");
    s.BindAll(patientRow, date);
    ExamResult<long long> row = InsertLocked(s, "starting a visit", ExamStatus::Ok(),
                                             Status(ExamError::NotFound, "no such patient"));
    if (!row.ok()) return {row.status};
    visit.row = row.value;
    return {ExamStatus::Ok(), visit};
}

ExamResult<std::vector<Visit>> CExamStore::VisitsOf(long long patientRow) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return {NotOpen()};
    CSqlStatement s(m_db.get(),
                    "SELECT id, visit_date, accession_number, requested_procedure FROM visits "
                    "WHERE patient = ?1 ORDER BY visit_date DESC");
    s.Bind(1, patientRow);
    return CollectLocked<Visit>(s, "reading visits", [&](const CSqlStatement& row) {
        Visit visit;
        visit.row = row.Int(0);
        visit.patientRow = patientRow;
        visit.date = row.Text(1);
        visit.accessionNumber = row.Text(2);
        visit.requestedProcedure = row.Text(3);
        return visit;
    });
}

ExamStatus CExamStore::SetVisitOrder(long long visitRow, const std::string& accessionNumber,
                                     const std::string& requestedProcedure) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return NotOpen();
    CSqlTransaction transaction(m_db.get());
    if (transaction.BeginResult() != SQLITE_OK)
        return Error(transaction.BeginResult(), "storing a visit's order");
    CSqlStatement s(m_db.get(),
                    "UPDATE visits SET accession_number = ?1, requested_procedure = ?2 "
                    "WHERE id = ?3");
    s.BindAll(Trim(accessionNumber), Trim(requestedProcedure), visitRow);
    const int rc = s.Step();
    if (rc != SQLITE_DONE) return Error(rc, "storing a visit's order");
    if (sqlite3_changes(m_db.get()) == 0) return Status(ExamError::NotFound, "no such visit");
    const int commit = transaction.Commit();
    if (commit != SQLITE_OK) return Error(commit, "storing a visit's order");
    return ExamStatus::Ok();
}

ExamResult<long long> CExamStore::SaveClip(const ClipRecord& clip) {
    if (!exam::IsFingerCode(clip.finger))
        return {Status(ExamError::BadInput, "unknown finger code")};
    if (!IsSafeRelativePath(clip.relPath))
        return {Status(ExamError::BadInput, "the clip path is not one below the video folder")};

    std::string root;
    bool sync;
    {
        std::lock_guard lock(m_mutex);
        if (!m_db) return {NotOpen()};
        root = m_root;
        sync = m_syncClipFiles;
    }
    // The flush may take a while for a long clip: other calls need not wait for it.
    const std::string file = root + "/" + clip.relPath;
    if (sync) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && ::fsync(fd) != 0) {
            const int err = errno;
            ::close(fd);
            return {Status(ExamError::Failed, ErrnoText("flushing the clip file", err))};
        }
        if (fd >= 0) ::close(fd);
    }

    std::lock_guard lock(m_mutex);
    if (!m_db || m_root != root) return {NotOpen()};
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {Status(ExamError::FileMissing, ErrnoText("the clip file", errno ? errno : ENOENT))};
    CSqlStatement s(m_db.get(),
                    "INSERT INTO clips (visit, finger, rel_path, saved_at, frame_count, "
                    "frame_rate, um_per_px) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    s.BindAll(clip.visitRow, clip.finger, clip.relPath, clip.savedAt, clip.frameCount,
              clip.frameRate, clip.umPerPx);
    return InsertLocked(s, "recording a clip",
                        Status(ExamError::BadInput, "the clip is recorded already"),
                        Status(ExamError::NotFound, "no such visit"));
}

ExamResult<std::vector<Clip>> CExamStore::ClipsOfVisit(long long visitRow) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return {NotOpen()};
    CSqlStatement s(m_db.get(), (std::string("SELECT ") + kClipColumns +
                                 " FROM clips c JOIN visits v ON v.id = c.visit "
                                 "WHERE c.visit = ?1 ORDER BY c.id")
                                    .c_str());
    s.Bind(1, visitRow);
    return CollectLocked<Clip>(s, "reading a visit's clips", ReadClip);
}

ExamResult<Clip> CExamStore::ClipByPathLocked(const std::string& relPath) {
    if (!m_db) return {NotOpen()};
    CSqlStatement s(m_db.get(), (std::string("SELECT ") + kClipColumns +
                                 " FROM clips c JOIN visits v ON v.id = c.visit "
                                 "WHERE c.rel_path = ?1")
                                    .c_str());
    s.Bind(1, relPath);
    const int rc = s.Step();
    if (rc == SQLITE_DONE) return {Status(ExamError::NotFound, "the clip has no exam record")};
    if (rc != SQLITE_ROW) return {Error(rc, "reading a clip")};
    return {ExamStatus::Ok(), ReadClip(s)};
}

ExamResult<Clip> CExamStore::ClipByPath(const std::string& relPath) {
    std::lock_guard lock(m_mutex);
    return ClipByPathLocked(relPath);
}

ExamResult<Clip> CExamStore::EarlierClip(const std::string& relPath) {
    std::lock_guard lock(m_mutex);
    ExamResult<Clip> current = ClipByPathLocked(relPath);
    if (!current.ok()) return current;
    const Clip& clip = current.value;

    // Where this clip stands among its visit's clips of the same finger (fields 1, 2, ...).
    long long place = 0;
    {
        CSqlStatement s(m_db.get(),
                        "SELECT count(*) FROM clips WHERE visit = ?1 AND finger = ?2 AND id < ?3");
        s.BindAll(clip.record.visitRow, clip.record.finger, clip.row);
        const int rc = s.Step();
        if (rc != SQLITE_ROW) return {Error(rc, "comparing clips")};
        place = s.Int(0);
    }
    CSqlStatement s(m_db.get(), (std::string("SELECT ") + kClipColumns +
                                 " FROM clips c JOIN visits v ON v.id = c.visit "
                                 "WHERE c.visit = (SELECT v2.id FROM visits v2 "
                                 "  WHERE v2.patient = ?1 AND v2.visit_date < ?2 AND EXISTS "
                                 "  (SELECT 1 FROM clips c2 WHERE c2.visit = v2.id "
                                 "   AND c2.finger = ?3) ORDER BY v2.visit_date DESC LIMIT 1) "
                                 "AND c.finger = ?3 ORDER BY c.id")
                                    .c_str());
    s.BindAll(clip.patientRow, clip.visitDate, clip.record.finger);
    std::optional<Clip> chosen;
    int rc;
    for (long long i = 0; (rc = s.Step()) == SQLITE_ROW; ++i) {
        chosen = ReadClip(s);
        if (i == place) break;
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return {Error(rc, "comparing clips")};
    if (!chosen) return {Status(ExamError::NotFound, "no earlier visit filmed this finger")};
    return {ExamStatus::Ok(), *chosen};
}

ExamResult<long long> CExamStore::AddMeasurement(const std::string& relPath, const Measurement& m) {
    if (m.kind != "measure" && m.kind != "count" && m.kind != "calibrate" && m.kind != "width")
        return {Status(ExamError::BadInput, "unknown measurement kind")};
    for (const MarkPoint& p : m.marks)
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            return {Status(ExamError::BadInput, "a count mark is not a point")};
    std::lock_guard lock(m_mutex);
    ExamResult<Clip> clip = ClipByPathLocked(relPath);
    if (!clip.ok()) return {clip.status};
    CSqlStatement s(m_db.get(),
                    "INSERT INTO measurements (clip, frame, kind, x1, y1, x2, y2, length_px, "
                    "length_um, count, per_mm, proposed, changed, marks) VALUES (?1, ?2, ?3, ?4, "
                    "?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)");
    std::optional<std::string> marks;
    if (!m.marks.empty()) marks = EncodeMarks(m.marks);
    s.BindAll(clip.value.row, m.frame, m.kind, m.x1, m.y1, m.x2, m.y2, m.lengthPx, m.lengthUm,
              m.count, m.perMm, m.proposed, m.changed, marks);
    return InsertLocked(s, "storing a measurement", ExamStatus::Ok(), ExamStatus::Ok());
}

ExamResult<std::vector<Measurement>> CExamStore::MeasurementsOf(const std::string& relPath) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return {NotOpen()};
    CSqlStatement s(m_db.get(),
                    "SELECT m.frame, m.kind, m.x1, m.y1, m.x2, m.y2, m.length_px, m.length_um, "
                    "m.count, m.per_mm, m.proposed, m.changed, m.marks FROM measurements m "
                    "JOIN clips c ON c.id = m.clip WHERE c.rel_path = ?1 ORDER BY m.id");
    s.Bind(1, relPath);
    return CollectLocked<Measurement>(s, "reading measurements", [](const CSqlStatement& row) {
        auto optInt = [&](int column) -> std::optional<int> {
            if (row.IsNull(column)) return std::nullopt;
            return static_cast<int>(row.Int(column));
        };
        Measurement m;
        m.frame = static_cast<int>(row.Int(0));
        m.kind = row.Text(1);
        m.x1 = row.OptReal(2);
        m.y1 = row.OptReal(3);
        m.x2 = row.OptReal(4);
        m.y2 = row.OptReal(5);
        m.lengthPx = row.OptReal(6);
        m.lengthUm = row.OptReal(7);
        m.count = optInt(8);
        m.perMm = row.OptReal(9);
        m.proposed = optInt(10);
        m.changed = optInt(11);
        if (!row.IsNull(12)) m.marks = DecodeMarks(row.Text(12));
        return m;
    });
}

ExamResult<std::vector<std::string>> CExamStore::FindOrphans() {
    std::lock_guard lock(m_mutex);
    if (!m_db) return {NotOpen()};
    std::vector<std::string> orphans;
    CSqlStatement s(m_db.get(), "SELECT 1 FROM clips WHERE rel_path = ?1");
    for (const std::string& path : CClipFileScan::List(m_root)) {
        s.Reset();
        s.Bind(1, path);
        const int rc = s.Step();
        if (rc == SQLITE_DONE)
            orphans.push_back(path);
        else if (rc != SQLITE_ROW)
            return {Error(rc, "looking for clips without a record")};
    }
    return {ExamStatus::Ok(), std::move(orphans)};
}

std::string CExamStore::RelativePath(const std::string& absolutePath) const {
    std::lock_guard lock(m_mutex);
    if (m_root.empty()) return {};
    const std::string prefix = m_root.back() == '/' ? m_root : m_root + "/";
    if (absolutePath.compare(0, prefix.size(), prefix) != 0) return {};
    const std::string rel = absolutePath.substr(prefix.size());
    return IsSafeRelativePath(rel) ? rel : std::string();
}

ExamResult<std::string> CExamStore::UidRoot(const std::string& fresh) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return {NotOpen()};
    CSqlStatement insert(m_db.get(),
                         "INSERT OR IGNORE INTO dicom_uid_root (id, root) VALUES (1, ?1)");
    insert.Bind(1, fresh);
    ExamResult<long long> done =
        InsertLocked(insert, "keeping the UID root", ExamStatus::Ok(), ExamStatus::Ok());
    if (!done.ok()) return {done.status};
    CSqlStatement s(m_db.get(), "SELECT root FROM dicom_uid_root WHERE id = 1");
    const int rc = s.Step();
    if (rc != SQLITE_ROW) return {Error(rc, "reading the UID root")};
    return {ExamStatus::Ok(), s.Text(0)};
}

ExamResult<std::string> CExamStore::StudyUid(long long visitRow, const std::string& fresh) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return {NotOpen()};
    CSqlStatement update(m_db.get(),
                         "UPDATE visits SET study_uid = ?2 WHERE id = ?1 AND study_uid IS NULL");
    update.BindAll(visitRow, fresh);
    ExamResult<long long> done =
        InsertLocked(update, "keeping a study UID", ExamStatus::Ok(), ExamStatus::Ok());
    if (!done.ok()) return {done.status};
    CSqlStatement s(m_db.get(), "SELECT study_uid FROM visits WHERE id = ?1");
    s.Bind(1, visitRow);
    const int rc = s.Step();
    if (rc == SQLITE_DONE) return {Status(ExamError::NotFound, "no such visit")};
    if (rc != SQLITE_ROW) return {Error(rc, "reading a study UID")};
    return {ExamStatus::Ok(), s.Text(0)};
}

namespace {

constexpr const char* kSendColumns =
    "q.id, q.clip, q.kind, q.rel_path, ifnull(q.sop_uid, ''), q.sent, q.attempts, q.next_try, "
    "q.last_error, c.rel_path FROM send_queue q JOIN clips c ON c.id = q.clip";

SendItem ReadSendItem(const CSqlStatement& s) {
    SendItem item;
    item.row = s.Int(0);
    item.clipRow = s.Int(1);
    item.kind = s.Text(2);
    item.relPath = s.Text(3);
    item.sopInstanceUid = s.Text(4);
    item.sent = s.Int(5) != 0;
    item.attempts = static_cast<int>(s.Int(6));
    item.nextTry = s.Int(7);
    item.lastError = s.Text(8);
    item.clipRelPath = s.Text(9);
    return item;
}

}  // namespace

ExamResult<SendItem> CExamStore::QueueSend(const std::string& clipRelPath,
                                           const std::string& snapshotRelPath,
                                           const std::string& uidRoot) {
    const bool snapshot = !snapshotRelPath.empty();
    const std::string path = snapshot ? snapshotRelPath : clipRelPath;
    if (!IsSafeRelativePath(path))
        return {Status(ExamError::BadInput, "the file is not one below the video folder")};
    if (uidRoot.empty()) return {Status(ExamError::BadInput, "no UID root")};
    std::lock_guard lock(m_mutex);
    ExamResult<Clip> clip = ClipByPathLocked(clipRelPath);
    if (!clip.ok()) return {clip.status};

    CSqlTransaction transaction(m_db.get());
    if (transaction.BeginResult() != SQLITE_OK)
        return {Error(transaction.BeginResult(), "queueing an object")};
    CSqlStatement upsert(m_db.get(),
                         "INSERT INTO send_queue (clip, kind, rel_path) VALUES (?1, ?2, ?3) "
                         "ON CONFLICT (rel_path) DO UPDATE SET sent = 0, attempts = 0, "
                         "next_try = 0, last_error = ''");
    upsert.BindAll(clip.value.row, std::string(snapshot ? "snapshot" : "clip"), path);
    int rc = upsert.Step();
    if (rc != SQLITE_DONE) return {Error(rc, "queueing an object")};
    CSqlStatement uid(m_db.get(),
                      "UPDATE send_queue SET sop_uid = ?1 || '.' || id "
                      "WHERE rel_path = ?2 AND sop_uid IS NULL");
    uid.BindAll(uidRoot, path);
    rc = uid.Step();
    if (rc != SQLITE_DONE) return {Error(rc, "queueing an object")};
    CSqlStatement s(m_db.get(),
                    (std::string("SELECT ") + kSendColumns + " WHERE q.rel_path = ?1").c_str());
    s.Bind(1, path);
    rc = s.Step();
    if (rc != SQLITE_ROW) return {Error(rc, "queueing an object")};
    SendItem item = ReadSendItem(s);
    rc = transaction.Commit();
    if (rc != SQLITE_OK) return {Error(rc, "queueing an object")};
    return {ExamStatus::Ok(), std::move(item)};
}

ExamResult<std::vector<SendItem>> CExamStore::WaitingSends() {
    std::lock_guard lock(m_mutex);
    if (!m_db) return {NotOpen()};
    CSqlStatement s(m_db.get(), (std::string("SELECT ") + kSendColumns +
                                 " WHERE q.sent = 0 ORDER BY q.next_try, q.id")
                                    .c_str());
    return CollectLocked<SendItem>(s, "reading the send queue", ReadSendItem);
}

ExamResult<std::vector<SendItem>> CExamStore::SendsOfClip(const std::string& clipRelPath) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return {NotOpen()};
    CSqlStatement s(
        m_db.get(),
        (std::string("SELECT ") + kSendColumns + " WHERE c.rel_path = ?1 ORDER BY q.id").c_str());
    s.Bind(1, clipRelPath);
    return CollectLocked<SendItem>(s, "reading the send queue", ReadSendItem);
}

ExamStatus CExamStore::MarkSent(long long itemRow) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return NotOpen();
    CSqlStatement s(m_db.get(), "UPDATE send_queue SET sent = 1, last_error = '' WHERE id = ?1");
    s.Bind(1, itemRow);
    ExamResult<long long> done =
        InsertLocked(s, "marking an object sent", ExamStatus::Ok(), ExamStatus::Ok());
    if (done.ok() && sqlite3_changes(m_db.get()) == 0)
        return Status(ExamError::NotFound, "no such queued object");
    return done.status;
}

ExamStatus CExamStore::MarkSendFailed(long long itemRow, const std::string& error,
                                      long long nextTry) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return NotOpen();
    CSqlStatement s(m_db.get(),
                    "UPDATE send_queue SET attempts = attempts + 1, last_error = ?2, "
                    "next_try = ?3 WHERE id = ?1 AND sent = 0");
    s.BindAll(itemRow, error, nextTry);
    return InsertLocked(s, "keeping a failed send", ExamStatus::Ok(), ExamStatus::Ok()).status;
}
