// What the exam store holds and answers: patients, their visits, the clips of a visit and the
// measurements kept on a clip, and the outcome of every call.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class ExamError {
    None,
    EmptyPatientId,
    DuplicatePatientId,
    BadDate,  // not a real YYYY-MM-DD date
    BirthDateInFuture,
    BadInput,     // an unknown finger code, sex or measurement kind, a bad clip path
    FileMissing,  // the clip's file is not there: no row may point at it
    NotFound,     // no such patient, visit or clip
    ReadOnly,
    Locked,       // another process holds the database past the busy timeout
    Corrupt,      // not a database, or not one of ours
    NewerSchema,  // written by a later Quorvel
    Failed,       // anything else (disk full, I/O)
};

struct ExamStatus {
    ExamError code = ExamError::None;
    // For the log: what failed, with the library's or errno's text; never patient data.
    std::string detail;

    bool ok() const { return code == ExamError::None; }
    static ExamStatus Ok() { return {}; }
};

template <typename T>
struct ExamResult {
    ExamStatus status;
    T value{};
    bool ok() const { return status.ok(); }
};

struct Patient {
    long long row = 0;  // the internal number, the only one the log may name
    std::string patientId;
    std::string name;
    std::string birthDate;  // YYYY-MM-DD, or empty when not known
    std::string sex;        // "F", "M", "O", or empty when not known
};

struct Visit {
    long long row = 0;
    long long patientRow = 0;
    std::string date;  // YYYY-MM-DD
    // The worklist's order the visit was made for; empty when it came from none.
    std::string accessionNumber;
    std::string requestedProcedure;
};

// A clip to record: its file lies at relPath below the video folder.
struct ClipRecord {
    long long visitRow = 0;
    std::string finger;  // R1..R5, L1..L5
    std::string relPath;
    std::string savedAt;  // local time, YYYY-MM-DD HH:MM:SS
    std::optional<long long> frameCount;
    std::optional<double> frameRate;  // frames over the time from the first to the last one
    std::optional<double> umPerPx;    // the calibration in force
};

struct Clip {
    long long row = 0;
    ClipRecord record;
    long long patientRow = 0;
    std::string visitDate;
};

// A count mark, in the clip's pixels.
struct MarkPoint {
    double x = 0;
    double y = 0;
    bool operator==(const MarkPoint&) const = default;
};

struct Measurement {
    int frame = 0;
    std::string kind;                          // "measure", "count", "calibrate" or "width"
    std::optional<double> x1, y1, x2, y2;      // width: the line across the vessel
    std::optional<double> lengthPx, lengthUm;  // width: the vessel's width
    std::optional<int> count;
    std::optional<double> perMm;
    // The assisted tools: how many marks (a count) or lines (a width) were proposed, and how
    // many of them the clinician added or took back.
    std::optional<int> proposed;
    std::optional<int> changed;
    std::vector<MarkPoint> marks;  // a count's kept marks
};

// One object waiting for, or confirmed by, the picture archive: a clip or one of its snapshots.
struct SendItem {
    long long row = 0;
    long long clipRow = 0;
    std::string kind;     // "clip" or "snapshot"
    std::string relPath;  // the file the object is made from, below the video folder
    std::string clipRelPath;
    std::string sopInstanceUid;
    bool sent = false;
    int attempts = 0;       // failed attempts since it was last queued
    long long nextTry = 0;  // seconds since the epoch; not before then
    std::string lastError;  // the last failure, for the operator; empty when none
};
