#include "exam/exam_schema.h"

#include <string>

#include "exam/sql_statement.h"
#include "exam/sql_transaction.h"

const char* CExamSchema::Step(int toVersion) {
    switch (toVersion) {
        case 1:
            return R"sql(
CREATE TABLE patients (
    id INTEGER PRIMARY KEY,
    patient_id TEXT NOT NULL UNIQUE CHECK (length(patient_id) > 0),
    name TEXT NOT NULL DEFAULT '',
    birth_date TEXT,
    sex TEXT NOT NULL DEFAULT '' CHECK (sex IN ('', 'F', 'M', 'O')));
CREATE TABLE visits (
    id INTEGER PRIMARY KEY,
    patient INTEGER NOT NULL REFERENCES patients (id),
    visit_date TEXT NOT NULL,
    UNIQUE (patient, visit_date));
CREATE TABLE clips (
    id INTEGER PRIMARY KEY,
    visit INTEGER NOT NULL REFERENCES visits (id),
    finger TEXT NOT NULL CHECK (finger IN ('R1', 'R2', 'R3', 'R4', 'R5',
                                           'L1', 'L2', 'L3', 'L4', 'L5')),
    rel_path TEXT NOT NULL UNIQUE,
    saved_at TEXT NOT NULL,
    frame_count INTEGER,
    frame_rate REAL,
    um_per_px REAL);
CREATE INDEX clips_visit ON clips (visit, finger);
)sql";
        case 2:
            // Search as the operator types: folded copies of the ID and the name, indexed for
            // prefixes; and the review tools' measurements.
            return R"sql(
ALTER TABLE patients ADD COLUMN id_fold TEXT NOT NULL DEFAULT '';
ALTER TABLE patients ADD COLUMN name_fold TEXT NOT NULL DEFAULT '';
UPDATE patients SET id_fold = lower(patient_id), name_fold = lower(name);
CREATE INDEX patients_id_fold ON patients (id_fold);
CREATE INDEX patients_name_fold ON patients (name_fold);
CREATE TABLE measurements (
    id INTEGER PRIMARY KEY,
    clip INTEGER NOT NULL REFERENCES clips (id) ON DELETE CASCADE,
    frame INTEGER NOT NULL,
    kind TEXT NOT NULL CHECK (kind IN ('measure', 'count', 'calibrate')),
    x1 REAL, y1 REAL, x2 REAL, y2 REAL,
    length_px REAL, length_um REAL,
    count INTEGER,
    per_mm REAL);
CREATE INDEX measurements_clip ON measurements (clip);
)sql";
        case 3:
            // Width rows and what the assisted tools proposed need a wider kind check, which
            // SQLite can only change by copying the table. Visits take the worklist's order.
            return R"sql(
CREATE TABLE measurements_v3 (
    id INTEGER PRIMARY KEY,
    clip INTEGER NOT NULL REFERENCES clips (id) ON DELETE CASCADE,
    frame INTEGER NOT NULL,
    kind TEXT NOT NULL CHECK (kind IN ('measure', 'count', 'calibrate', 'width')),
    x1 REAL, y1 REAL, x2 REAL, y2 REAL,
    length_px REAL, length_um REAL,
    count INTEGER,
    per_mm REAL,
    proposed INTEGER,
    changed INTEGER,
    marks TEXT);
INSERT INTO measurements_v3 (id, clip, frame, kind, x1, y1, x2, y2, length_px, length_um, count,
                             per_mm)
    SELECT id, clip, frame, kind, x1, y1, x2, y2, length_px, length_um, count, per_mm
    FROM measurements;
DROP TABLE measurements;
ALTER TABLE measurements_v3 RENAME TO measurements;
CREATE INDEX measurements_clip ON measurements (clip);
ALTER TABLE visits ADD COLUMN accession_number TEXT NOT NULL DEFAULT '';
ALTER TABLE visits ADD COLUMN requested_procedure TEXT NOT NULL DEFAULT '';
)sql";
        case 4:
            // Sending to a picture archive: the root of our DICOM UIDs, each visit's study UID
            // and the queue of objects until the archive has confirmed them.
            return R"sql(
CREATE TABLE dicom_uid_root (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    root TEXT NOT NULL CHECK (length(root) > 0));
ALTER TABLE visits ADD COLUMN study_uid TEXT;
CREATE TABLE send_queue (
    id INTEGER PRIMARY KEY,
    clip INTEGER NOT NULL REFERENCES clips (id) ON DELETE CASCADE,
    kind TEXT NOT NULL CHECK (kind IN ('clip', 'snapshot')),
    rel_path TEXT NOT NULL UNIQUE,
    sop_uid TEXT UNIQUE,
    sent INTEGER NOT NULL DEFAULT 0,
    attempts INTEGER NOT NULL DEFAULT 0,
    next_try INTEGER NOT NULL DEFAULT 0,
    last_error TEXT NOT NULL DEFAULT '');
CREATE INDEX send_queue_clip ON send_queue (clip);
)sql";
        default:
            return nullptr;
    }
}

int CExamSchema::Migrate(sqlite3* db, int from, int to) {
    if (to > kVersion) return SQLITE_MISUSE;
    for (int version = from + 1; version <= to; ++version) {
        CSqlTransaction transaction(db);
        if (transaction.BeginResult() != SQLITE_OK) return transaction.BeginResult();
        int rc = CSqlStatement::Exec(db, Step(version));
        if (rc != SQLITE_OK) return rc;
        const std::string stamp = "PRAGMA user_version = " + std::to_string(version) +
                                  "; PRAGMA application_id = " + std::to_string(kApplicationId);
        rc = CSqlStatement::Exec(db, stamp.c_str());
        if (rc != SQLITE_OK) return rc;
        rc = transaction.Commit();
        if (rc != SQLITE_OK) return rc;
    }
    return SQLITE_OK;
}
