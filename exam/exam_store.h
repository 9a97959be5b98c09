// The exam records: which patient, visit and finger each saved clip shows, in one SQLite file,
// Quorvel.db, at the root of the video folder (clip paths are stored relative to that root).
// The file is owner-only; WAL journal; foreign keys on; every change is one transaction, so a
// process killed at any moment leaves the file at the state before or after that change.
//
// A clip's file is written before its row, and a row is only made for a file that exists: a
// crash leaves at most a file without a row, which FindOrphans lists.
//
// Calls may come from any thread; one lock serialises them.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "exam/exam_types.h"

class CSqlStatement;

class CExamStore {
  public:
    static constexpr const char* kFileName = "Quorvel.db";
    // How long a write waits for another process's lock before it gives up.
    static constexpr int kBusyTimeoutMs = 250;

    CExamStore();
    ~CExamStore();
    CExamStore(const CExamStore&) = delete;
    CExamStore& operator=(const CExamStore&) = delete;

    // Opens <root>/Quorvel.db, creating it (0600) when there is none, and brings its tables up
    // to date. A file that is read-only, locked, corrupt or of a newer version is left as it is.
    ExamStatus Open(const std::string& root);
    void Close();
    bool IsOpen() const;
    std::string Root() const;
    // <root>/Quorvel.db.
    static std::string PathIn(const std::string& root);

    // Flushes each clip file to the disk before its row is written (on by default), so a power
    // cut cannot keep the row and lose the file.
    void SetSyncClipFiles(bool sync);

    // Validates and adds a patient; the new row's number.
    ExamResult<long long> CreatePatient(const Patient& patient);
    ExamResult<Patient> PatientByRow(long long row);
    // Patients whose ID or name starts with text (those first) or contains it, ignoring ASCII
    // case; the latest added when text is empty.
    ExamResult<std::vector<Patient>> SearchPatients(const std::string& text, int limit = 50);

    // The patient's visit of date (YYYY-MM-DD), made when there is none yet.
    ExamResult<Visit> VisitOn(long long patientRow, const std::string& date);
    // The patient's visits, the latest first.
    ExamResult<std::vector<Visit>> VisitsOf(long long patientRow);
    // Stores the worklist's order on a visit; NotFound when there is no such visit.
    ExamStatus SetVisitOrder(long long visitRow, const std::string& accessionNumber,
                             const std::string& requestedProcedure);

    // Records a clip whose file is already written; FileMissing, and nothing changed, when the
    // file is not there.
    ExamResult<long long> SaveClip(const ClipRecord& clip);
    ExamResult<std::vector<Clip>> ClipsOfVisit(long long visitRow);
    // NotFound when the clip has no row.
    ExamResult<Clip> ClipByPath(const std::string& relPath);
    // For comparing: the same patient's same finger at the latest earlier visit that filmed it
    // (the clip of the same place in that visit's order of that finger, else its last);
    // NotFound when there is none.
    ExamResult<Clip> EarlierClip(const std::string& relPath);

    // Stores a measurement against the clip's row; NotFound when the clip has none.
    ExamResult<long long> AddMeasurement(const std::string& relPath, const Measurement& m);
    ExamResult<std::vector<Measurement>> MeasurementsOf(const std::string& relPath);

    // The root of the UIDs made for this database's objects: the one kept, or fresh, kept now
    // when there is none yet.
    ExamResult<std::string> UidRoot(const std::string& fresh);
    // The visit's Study Instance UID: the one kept, or fresh, kept now; NotFound without visit.
    ExamResult<std::string> StudyUid(long long visitRow, const std::string& fresh);

    // Queues the clip's object, or its snapshot's at snapshotRelPath when that is not empty, for
    // the archive. An item queued before waits again with the SOP Instance UID it had; a new one
    // gets uidRoot.<its row>. NotFound when the clip has no row.
    ExamResult<SendItem> QueueSend(const std::string& clipRelPath,
                                   const std::string& snapshotRelPath, const std::string& uidRoot);
    // Items not yet confirmed, those due first.
    ExamResult<std::vector<SendItem>> WaitingSends();
    // Every item of the clip (the clip's and its snapshots').
    ExamResult<std::vector<SendItem>> SendsOfClip(const std::string& clipRelPath);
    ExamStatus MarkSent(long long itemRow);
    // Counts a failed attempt, keeps why and when to try again.
    ExamStatus MarkSendFailed(long long itemRow, const std::string& error, long long nextTry);

    // Clip files under the day folders that have no row: saved while no exam was chosen, or
    // cut off by a crash between the file and its row.
    ExamResult<std::vector<std::string>> FindOrphans();

    // The path below the root for an absolute path inside it; empty when it lies elsewhere.
    std::string RelativePath(const std::string& absolutePath) const;

    // Whether date is a real calendar date written YYYY-MM-DD.
    static bool IsValidDate(const std::string& date);
    // Today's local date, YYYY-MM-DD.
    static std::string Today();

  private:
    struct DbCloser {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };

    ExamStatus OpenLocked(const std::string& root);
    ExamStatus Error(int rc, const char* what) const;
    ExamStatus NotOpen() const;
    ExamResult<Clip> ClipByPathLocked(const std::string& relPath);
    // Runs one INSERT in a transaction of its own; the new row's number. A unique or foreign
    // key constraint that fails gives the status given for it, unless that is Ok.
    ExamResult<long long> InsertLocked(CSqlStatement& insert, const char* what,
                                       const ExamStatus& onUnique, const ExamStatus& onForeignKey);
    // Every row of query, each through read.
    template <typename T, typename Read>
    ExamResult<std::vector<T>> CollectLocked(CSqlStatement& query, const char* what, Read read);

    mutable std::mutex m_mutex;
    std::unique_ptr<sqlite3, DbCloser> m_db;  // guarded by m_mutex
    std::string m_root;                       // guarded by m_mutex
    bool m_syncClipFiles = true;              // guarded by m_mutex
};
