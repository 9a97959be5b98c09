// The exam store: schema and upgrade, what a save records, bad input, comparing with an earlier
// visit, clips without a record.
#include "exam/exam_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

#include "exam/exam_schema.h"
#include "exam/finger.h"
#include "exam_test_support.h"

using testing_support::CExamFolder;

namespace {

ClipRecord Record(long long visit, const std::string& finger, const std::string& rel) {
    ClipRecord clip;
    clip.visitRow = visit;
    clip.finger = finger;
    clip.relPath = rel;
    clip.savedAt = "2026-12-11 10:15:30";
    return clip;
}

class ExamStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_store.Open(m_folder.Root()).ok());
        m_store.SetSyncClipFiles(false);
    }

    long long AddPatient(const std::string& id, const std::string& name = "YAMADA Hanako") {
        auto r = m_store.CreatePatient({0, id, name, "1970-04-01", "F"});
        EXPECT_TRUE(r.ok()) << r.status.detail;
        return r.value;
    }

    long long Save(long long visit, const std::string& finger, const std::string& rel) {
        m_folder.WriteClipFile(rel);
        ClipRecord clip{visit, finger, rel, "2026-12-11 10:15:30", 301, 29.97, 1.25};
        auto r = m_store.SaveClip(clip);
        EXPECT_TRUE(r.ok()) << r.status.detail;
        return r.value;
    }

    long long Count(const char* table) {
        return m_folder.Query(std::string("SELECT count(*) FROM ") + table);
    }

    CExamFolder m_folder;
    CExamStore m_store;
};

TEST_F(ExamStoreTest, NewFileIsOwnerOnlyWalAtTheCurrentVersion) {
    AddPatient("1234");  // a write, so the WAL file exists
    struct stat st {};
    ASSERT_EQ(::stat(m_folder.DbPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((m_folder.DbPath() + "-wal").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(m_folder.Query("PRAGMA user_version"), CExamSchema::kVersion);
    EXPECT_EQ(m_folder.Query("PRAGMA application_id"), CExamSchema::kApplicationId);
    EXPECT_EQ(m_folder.Query("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name "
                             "IN ('patients', 'visits', 'clips', 'measurements')"),
              4);
    EXPECT_EQ(m_folder.Query("SELECT count(*) FROM pragma_journal_mode WHERE journal_mode = 'wal'"),
              1);
}

TEST(ExamSchemaTest, FirstVersionFileIsUpgradedWithItsRows) {
    CExamFolder folder;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(folder.DbPath().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(CExamSchema::Migrate(db, 0, 1), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "INSERT INTO patients (id, patient_id, name) VALUES (7, 'P-7', "
                           "'YAMADA Hanako');"
                           "INSERT INTO visits (id, patient, visit_date) VALUES (3, 7, "
                           "'2026-01-10');"
                           "INSERT INTO clips (visit, finger, rel_path, saved_at) VALUES "
                           "(3, 'L2', '2026-01-10/090000.avi', '2026-01-10 09:00:00')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    ASSERT_EQ(folder.Query("PRAGMA user_version"), 1);

    CExamStore store;
    ASSERT_TRUE(store.Open(folder.Root()).ok());
    EXPECT_EQ(folder.Query("PRAGMA user_version"), CExamSchema::kVersion);
    // The search columns were filled from the rows already there.
    auto found = store.SearchPatients("hana");
    ASSERT_TRUE(found.ok());
    ASSERT_EQ(found.value.size(), 1u);
    EXPECT_EQ(found.value[0].row, 7);
    auto clip = store.ClipByPath("2026-01-10/090000.avi");
    ASSERT_TRUE(clip.ok());
    EXPECT_EQ(clip.value.record.finger, "L2");
    EXPECT_EQ(clip.value.patientRow, 7);
    // And the new table works against the old rows.
    Measurement m;
    m.kind = "measure";
    m.lengthPx = 12.5;
    EXPECT_TRUE(store.AddMeasurement("2026-01-10/090000.avi", m).ok());
}

TEST(ExamSchemaTest, SecondVersionMeasurementsSurviveTheWiderKinds) {
    CExamFolder folder;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(folder.DbPath().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(CExamSchema::Migrate(db, 0, 2), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "PRAGMA foreign_keys = ON;"
                           "INSERT INTO patients (id, patient_id) VALUES (7, 'P-7');"
                           "INSERT INTO visits (id, patient, visit_date) VALUES (3, 7, "
                           "'2026-01-10');"
                           "INSERT INTO clips (id, visit, finger, rel_path, saved_at) VALUES "
                           "(5, 3, 'L2', '2026-01-10/090000.avi', '2026-01-10 09:00:00');"
                           "INSERT INTO measurements (id, clip, frame, kind, count, per_mm) "
                           "VALUES (11, 5, 40, 'count', 6, 7.5)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    // A version 2 file refuses width rows: the reason for the copy.
    EXPECT_NE(
        sqlite3_exec(db, "INSERT INTO measurements (clip, frame, kind) VALUES (5, 1, 'width')",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);

    CExamStore store;
    ASSERT_TRUE(store.Open(folder.Root()).ok());
    EXPECT_EQ(folder.Query("PRAGMA user_version"), CExamSchema::kVersion);
    auto rows = store.MeasurementsOf("2026-01-10/090000.avi");
    ASSERT_TRUE(rows.ok());
    ASSERT_EQ(rows.value.size(), 1u);
    EXPECT_EQ(rows.value[0].count, 6);
    EXPECT_EQ(rows.value[0].perMm, 7.5);
    EXPECT_FALSE(rows.value[0].proposed.has_value());
    EXPECT_TRUE(rows.value[0].marks.empty());
    Measurement width;
    width.kind = "width";
    width.lengthPx = 9.4;
    EXPECT_TRUE(store.AddMeasurement("2026-01-10/090000.avi", width).ok());
    // The copy kept the cascade: the clip's rows go with it.
    EXPECT_EQ(folder.Query("SELECT count(*) FROM measurements"), 2);
    EXPECT_EQ(folder.Query("SELECT count(*) FROM pragma_foreign_key_list('measurements') "
                           "WHERE \"table\" = 'clips' AND on_delete = 'CASCADE'"),
              1);
    auto visits = store.VisitsOf(7);
    ASSERT_TRUE(visits.ok());
    ASSERT_EQ(visits.value.size(), 1u);
    EXPECT_EQ(visits.value[0].accessionNumber, "");
}

TEST_F(ExamStoreTest, ForeignKeysHold) {
    m_folder.WriteClipFile("2026-12-11/101530.avi");
    auto clip = m_store.SaveClip(Record(999, "R3", "2026-12-11/101530.avi"));
    EXPECT_EQ(clip.status.code, ExamError::NotFound);
    EXPECT_EQ(m_store.VisitOn(999, "2026-12-11").status.code, ExamError::NotFound);
    EXPECT_EQ(Count("clips"), 0);
    EXPECT_EQ(Count("visits"), 0);
    EXPECT_EQ(m_folder.Query("SELECT count(*) FROM pragma_foreign_key_check"), 0);
}

TEST_F(ExamStoreTest, SaveRecordsTheClipItsVisitAndFinger) {
    const long long patient = AddPatient("1234");
    auto visit = m_store.VisitOn(patient, "2026-12-11");
    ASSERT_TRUE(visit.ok());
    // The same day gives the same visit.
    EXPECT_EQ(m_store.VisitOn(patient, "2026-12-11").value.row, visit.value.row);
    const long long row = Save(visit.value.row, "R3", "2026-12-11/101530.avi");

    auto clip = m_store.ClipByPath("2026-12-11/101530.avi");
    ASSERT_TRUE(clip.ok());
    EXPECT_EQ(clip.value.row, row);
    EXPECT_EQ(clip.value.patientRow, patient);
    EXPECT_EQ(clip.value.visitDate, "2026-12-11");
    EXPECT_EQ(clip.value.record.finger, "R3");
    EXPECT_EQ(clip.value.record.savedAt, "2026-12-11 10:15:30");
    EXPECT_EQ(clip.value.record.frameCount, 301);
    EXPECT_DOUBLE_EQ(*clip.value.record.frameRate, 29.97);
    EXPECT_DOUBLE_EQ(*clip.value.record.umPerPx, 1.25);
    EXPECT_EQ(m_store.ClipsOfVisit(visit.value.row).value.size(), 1u);
    EXPECT_EQ(m_store.RelativePath(m_folder.Root() + "/2026-12-11/101530.avi"),
              "2026-12-11/101530.avi");
    EXPECT_EQ(m_store.RelativePath("/elsewhere/2026-12-11/101530.avi"), "");
}

TEST_F(ExamStoreTest, BadInputIsRefusedAndChangesNothing) {
    const long long patient = AddPatient("1234");
    const long long visit = m_store.VisitOn(patient, "2026-12-11").value.row;
    const std::string before =
        std::to_string(Count("patients")) + "/" + std::to_string(Count("clips"));

    EXPECT_EQ(m_store.CreatePatient({0, "  ", "A", "", ""}).status.code, ExamError::EmptyPatientId);
    EXPECT_EQ(m_store.CreatePatient({0, " 1234 ", "B", "", ""}).status.code,
              ExamError::DuplicatePatientId);
    EXPECT_EQ(m_store.CreatePatient({0, "77", "C", "2999-01-01", ""}).status.code,
              ExamError::BirthDateInFuture);
    EXPECT_EQ(m_store.CreatePatient({0, "78", "D", "2001-02-29", ""}).status.code,
              ExamError::BadDate);
    EXPECT_EQ(m_store.CreatePatient({0, "79", "E", "", "X"}).status.code, ExamError::BadInput);
    // No row for a file that is not there.
    EXPECT_EQ(m_store.SaveClip(Record(visit, "R3", "2026-12-11/101530.avi")).status.code,
              ExamError::FileMissing);
    m_folder.WriteClipFile("2026-12-11/101531.avi");
    EXPECT_EQ(m_store.SaveClip(Record(visit, "R6", "2026-12-11/101531.avi")).status.code,
              ExamError::BadInput);
    EXPECT_EQ(m_store.SaveClip(Record(visit, "R3", "../outside.avi")).status.code,
              ExamError::BadInput);
    EXPECT_EQ(m_store.VisitOn(patient, "2026-13-01").status.code, ExamError::BadDate);

    EXPECT_EQ(std::to_string(Count("patients")) + "/" + std::to_string(Count("clips")), before);
}

TEST_F(ExamStoreTest, AnotherProcessHoldingTheWriteLockGivesLockedAndChangesNothing) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(m_folder.DbPath().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(m_store.CreatePatient({0, "1234", "A", "", ""}).status.code, ExamError::Locked);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(Count("patients"), 0);
    EXPECT_TRUE(m_store.CreatePatient({0, "1234", "A", "", ""}).ok());
}

TEST(ExamOpenTest, CorruptForeignAndNewerFilesAreLeftAlone) {
    {
        CExamFolder folder;
        std::ofstream(folder.DbPath(), std::ios::binary) << std::string(4096, '\x5a');
        const std::string bytes = folder.FileBytes();
        CExamStore store;
        EXPECT_EQ(store.Open(folder.Root()).code, ExamError::Corrupt);
        EXPECT_FALSE(store.IsOpen());
        EXPECT_EQ(folder.FileBytes(), bytes);
    }
    for (const char* sql : {"PRAGMA application_id = 7; PRAGMA user_version = 1",
                            "PRAGMA application_id = 1364610097; PRAGMA user_version = 99"}) {
        CExamFolder folder;
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(folder.DbPath().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        const std::string bytes = folder.FileBytes();
        CExamStore store;
        const ExamError expected = std::string(sql).find("= 7") != std::string::npos
                                       ? ExamError::Corrupt
                                       : ExamError::NewerSchema;
        EXPECT_EQ(store.Open(folder.Root()).code, expected) << sql;
        EXPECT_EQ(folder.FileBytes(), bytes);
        EXPECT_FALSE(std::filesystem::exists(folder.DbPath() + "-wal"));
    }
}

TEST_F(ExamStoreTest, CompareTakesTheSameFingerOfTheLatestEarlierVisit) {
    const long long a = AddPatient("A-1");
    const long long b = AddPatient("B-2", "SATO Ken");
    const long long jan = m_store.VisitOn(a, "2026-01-10").value.row;
    const long long jun = m_store.VisitOn(a, "2026-06-01").value.row;
    const long long dec = m_store.VisitOn(a, "2026-12-11").value.row;
    const long long other = m_store.VisitOn(b, "2026-11-01").value.row;
    Save(jan, "R3", "2026-01-10/090000.avi");
    Save(jun, "R3", "2026-06-01/090000.avi");
    Save(jun, "R4", "2026-06-01/090100.avi");
    Save(jun, "R3", "2026-06-01/090200.avi");  // a second field of R3
    Save(other, "R3", "2026-11-01/090000.avi");
    Save(dec, "R3", "2026-12-11/090000.avi");
    Save(dec, "R3", "2026-12-11/090100.avi");
    Save(dec, "R3", "2026-12-11/090200.avi");
    Save(dec, "R5", "2026-12-11/090300.avi");

    auto earlier = [&](const std::string& rel) {
        auto r = m_store.EarlierClip(rel);
        return r.ok() ? r.value.record.relPath + " " + r.value.visitDate : std::string("none");
    };
    EXPECT_EQ(earlier("2026-12-11/090000.avi"), "2026-06-01/090000.avi 2026-06-01");
    EXPECT_EQ(earlier("2026-12-11/090100.avi"), "2026-06-01/090200.avi 2026-06-01");
    // June had only two fields of R3: the third takes its last.
    EXPECT_EQ(earlier("2026-12-11/090200.avi"), "2026-06-01/090200.avi 2026-06-01");
    EXPECT_EQ(earlier("2026-06-01/090000.avi"), "2026-01-10/090000.avi 2026-01-10");
    // June's R4 was never filmed before; R5 neither; January is the first visit.
    EXPECT_EQ(earlier("2026-06-01/090100.avi"), "none");
    EXPECT_EQ(earlier("2026-12-11/090300.avi"), "none");
    EXPECT_EQ(earlier("2026-01-10/090000.avi"), "none");
    EXPECT_EQ(m_store.EarlierClip("2026-12-11/090300.avi").status.code, ExamError::NotFound);
}

TEST_F(ExamStoreTest, ClipFilesWithoutARowAreFound) {
    const long long visit = m_store.VisitOn(AddPatient("1234"), "2026-12-11").value.row;
    Save(visit, "R2", "2026-12-11/101530.avi");
    m_folder.WriteClipFile("2026-12-11/101530_2.avi");
    m_folder.WriteClipFile("2026-12-10/235959.avi");
    // Not clips as the save names them.
    m_folder.WriteClipFile("temp.avi");
    m_folder.WriteClipFile("2026-12-11/101530.csv");
    m_folder.WriteClipFile("2026-12-11/copy of 101530.avi");
    m_folder.WriteClipFile("holiday/101530.avi");

    auto orphans = m_store.FindOrphans();
    ASSERT_TRUE(orphans.ok());
    EXPECT_EQ(orphans.value,
              (std::vector<std::string>{"2026-12-10/235959.avi", "2026-12-11/101530_2.avi"}));
    // Assigned, it is no orphan any more.
    ASSERT_TRUE(m_store.SaveClip(Record(visit, "R3", "2026-12-10/235959.avi")).ok());
    EXPECT_EQ(m_store.FindOrphans().value.size(), 1u);
}

TEST_F(ExamStoreTest, MeasurementsGoAgainstTheirClip) {
    const long long visit = m_store.VisitOn(AddPatient("1234"), "2026-12-11").value.row;
    Save(visit, "R2", "2026-12-11/101530.avi");
    Measurement count;
    count.frame = 42;
    count.kind = "count";
    count.x1 = 10;
    count.y1 = 20;
    count.x2 = 110;
    count.y2 = 20;
    count.lengthPx = 100;
    count.count = 6;
    count.perMm = 7.5;
    ASSERT_TRUE(m_store.AddMeasurement("2026-12-11/101530.avi", count).ok());
    EXPECT_EQ(m_store.AddMeasurement("2026-12-11/999999.avi", count).status.code,
              ExamError::NotFound);
    count.kind = "guess";
    EXPECT_EQ(m_store.AddMeasurement("2026-12-11/101530.avi", count).status.code,
              ExamError::BadInput);

    auto rows = m_store.MeasurementsOf("2026-12-11/101530.avi");
    ASSERT_TRUE(rows.ok());
    ASSERT_EQ(rows.value.size(), 1u);
    EXPECT_EQ(rows.value[0].frame, 42);
    EXPECT_EQ(rows.value[0].count, 6);
    EXPECT_EQ(rows.value[0].x2, 110);
    EXPECT_FALSE(rows.value[0].lengthUm.has_value());
}

TEST_F(ExamStoreTest, AssistedRowsKeepTheirMarksAndWidths) {
    const long long visit = m_store.VisitOn(AddPatient("1234"), "2026-12-11").value.row;
    Save(visit, "R2", "2026-12-11/101530.avi");
    Measurement count;
    count.frame = 3;
    count.kind = "count";
    count.count = 3;
    count.proposed = 4;
    count.changed = 1;
    count.marks = {{12.25, 40}, {-0.5, 1e4}, {639.99, 479.01}};
    ASSERT_TRUE(m_store.AddMeasurement("2026-12-11/101530.avi", count).ok());
    Measurement width;
    width.kind = "width";
    width.x1 = 100;
    width.y1 = 50;
    width.x2 = 112.5;
    width.y2 = 52;
    width.lengthPx = 12.6;
    width.lengthUm = 31.5;
    width.proposed = 1;
    width.changed = 0;
    ASSERT_TRUE(m_store.AddMeasurement("2026-12-11/101530.avi", width).ok());
    Measurement bad = count;
    bad.marks = {{std::nan(""), 3}};
    EXPECT_EQ(m_store.AddMeasurement("2026-12-11/101530.avi", bad).status.code,
              ExamError::BadInput);

    auto rows = m_store.MeasurementsOf("2026-12-11/101530.avi");
    ASSERT_TRUE(rows.ok());
    ASSERT_EQ(rows.value.size(), 2u);
    EXPECT_EQ(rows.value[0].marks, count.marks);
    EXPECT_EQ(rows.value[0].proposed, 4);
    EXPECT_EQ(rows.value[0].changed, 1);
    EXPECT_EQ(rows.value[1].kind, "width");
    EXPECT_EQ(rows.value[1].lengthUm, 31.5);
    EXPECT_EQ(rows.value[1].x2, 112.5);
    EXPECT_EQ(rows.value[1].changed, 0);
    EXPECT_TRUE(rows.value[1].marks.empty());

    // A damaged marks text loses the bad points, never the row.
    ASSERT_TRUE(m_folder.Exec(
        "UPDATE measurements SET marks = '1,2;x,3;;4.5,6,7;8,9' WHERE kind = 'count'"));
    rows = m_store.MeasurementsOf("2026-12-11/101530.avi");
    ASSERT_TRUE(rows.ok());
    EXPECT_EQ(rows.value[0].marks, (std::vector<MarkPoint>{{1, 2}, {8, 9}}));
}

TEST_F(ExamStoreTest, VisitKeepsTheWorklistOrder) {
    const long long patient = AddPatient("1234");
    const long long visit = m_store.VisitOn(patient, "2026-12-11").value.row;
    ASSERT_TRUE(m_store.SetVisitOrder(visit, " ACC-77 ", "Nailfold capillaroscopy").ok());
    EXPECT_EQ(m_store.SetVisitOrder(visit + 100, "A", "B").code, ExamError::NotFound);
    auto again = m_store.VisitOn(patient, "2026-12-11");
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again.value.row, visit);
    EXPECT_EQ(again.value.accessionNumber, "ACC-77");
    EXPECT_EQ(again.value.requestedProcedure, "Nailfold capillaroscopy");
    EXPECT_EQ(m_store.VisitsOf(patient).value.at(0).accessionNumber, "ACC-77");
}

TEST_F(ExamStoreTest, SearchFindsPrefixesFirstThenInsideIgnoringCase) {
    AddPatient("1234", "YAMADA Hanako");
    AddPatient("5123", "SATO Ken");
    AddPatient("9000", "HANADA Aoi");
    auto names = [&](const std::string& text) {
        std::string out;
        for (const Patient& p : m_store.SearchPatients(text).value) out += p.patientId + ";";
        return out;
    };
    EXPECT_EQ(names("123"), "1234;5123;");
    EXPECT_EQ(names("hana"), "9000;1234;");
    EXPECT_EQ(names("ken"), "5123;");
    EXPECT_EQ(names("zz"), "");
    EXPECT_EQ(m_store.SearchPatients("", 2).value.size(), 2u);
}

TEST(FingerTest, OrderGoesThroughAllTenAndRoundAgain) {
    std::string walk = "R2";
    for (int i = 0; i < 10; ++i) walk += " " + exam::NextFinger(walk.substr(walk.size() - 2));
    EXPECT_EQ(walk, "R2 R3 R4 R5 L2 L3 L4 L5 R1 L1 R2");
    EXPECT_FALSE(exam::IsFingerCode("L6"));
}

}  // namespace
