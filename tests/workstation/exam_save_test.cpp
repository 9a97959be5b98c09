// The exam in the capture window: a save records its clip, a save without an exam writes
// nothing but the clip, a database that cannot be opened is told once, and the exam's line is
// drawn on the live pane only, never into the recorded frames.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QTest>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "tests/workstation/capture_window_fixture.h"
#include "workstation/exam_dlg.h"

using platform::v4l2::EmulatedCameraConfig;
using workstation_testing::CaptureWindowTest;

namespace {

const QString kDay = QStringLiteral("2025-03-05");

class ExamWindowTest : public CaptureWindowTest {
  protected:
    void SetUp() override {
        CaptureWindowTest::SetUp();
        const platform::SYSTEMTIME t = testing_support::LocalTime(2025, 3, 5, 9, 4, 3);
        platform::SetLocalTimeForTesting(&t);
        Install({EmulatedCameraConfig::Microscope()});
    }

    // Chooses patient 1234, the visit of day, finger R3.
    void ChooseExam(const QString& day = kDay) {
        CExamStore* store = m_dlg->Exam()->Store(true);
        ASSERT_NE(store, nullptr);
        Patient patient{0, "1234", "YAMADA Hanako", "1970-04-01", "F"};
        auto found = store->SearchPatients("1234");
        patient.row =
            found.value.empty() ? store->CreatePatient(patient).value : found.value.front().row;
        const Visit visit = store->VisitOn(patient.row, day.toStdString()).value;
        ASSERT_GT(visit.row, 0);
        m_dlg->Exam()->Choose({patient, visit, "R3"});
    }

    void RecordAndSave() {
        Click(&m_dlg->m_btnRecord);
        ASSERT_TRUE(WaitFrames(6));
        Click(&m_dlg->m_btnRecord);
        ASSERT_TRUE(WaitFrames(2));
        Click(&m_dlg->m_btnSave);
    }

    // Patient 1234 filmed on R3 at 09:00 on 2025-01-10, then on 2025-03-05 at 09:04:03; the
    // March visit is the exam's.
    void TwoVisits() {
        const platform::SYSTEMTIME january = testing_support::LocalTime(2025, 1, 10, 9, 0, 0);
        platform::SetLocalTimeForTesting(&january);
        ChooseExam(QStringLiteral("2025-01-10"));
        RecordAndSave();
        const platform::SYSTEMTIME march = testing_support::LocalTime(2025, 3, 5, 9, 4, 3);
        platform::SetLocalTimeForTesting(&march);
        ChooseExam();
        RecordAndSave();
        ASSERT_TRUE(testing_support::WaitUntil([&] { return m_dlg->Exam()->PendingSaves() == 0; }));
    }

    QStringList FilesUnderVideo() const {
        QStringList files;
        for (QDirIterator it(VideoDir(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            files << QDir(VideoDir()).relativeFilePath(it.next());
        files.sort();
        return files;
    }

    QString LabelText(int id) const {
        const auto* label = qobject_cast<const QLabel*>(m_dlg->GetDlgItem(id));
        return label ? label->text() : QString();
    }

    static QByteArray Bytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

// Mean brightness of the bottom tenth of an image, over that of the whole.
double BottomShare(const cv::Mat& bgr) {
    cv::Mat gray;
    cv::cvtColor(bgr, gray, cv::COLOR_BGR2GRAY);
    const cv::Rect bottom(0, gray.rows * 9 / 10, gray.cols, gray.rows - gray.rows * 9 / 10);
    return cv::mean(gray(bottom))[0] / std::max(1.0, cv::mean(gray)[0]);
}

}  // namespace

TEST_F(ExamWindowTest, SaveWithAnExamRecordsTheClipAndMovesToTheNextFinger) {
    ASSERT_TRUE(Open());
    ChooseExam();
    EXPECT_EQ(m_dlg->m_livePane.OverlayText(), QStringLiteral("1234 · YAMADA Hanako · R3"));
    RecordAndSave();
    const QString clip = VideoDir() + QStringLiteral("/2025-03-05/090403.avi");
    ASSERT_TRUE(testing_support::WaitUntil([&] { return m_dlg->Exam()->PendingSaves() == 0; }));

    // The clip is the copy it always was.
    EXPECT_EQ(Bytes(clip), Bytes(m_dlg->TempFilePath()));
    auto row = m_dlg->Exam()->Store(false)->ClipByPath("2025-03-05/090403.avi");
    ASSERT_TRUE(row.ok()) << row.status.detail;
    EXPECT_EQ(row.value.record.finger, "R3");
    EXPECT_EQ(row.value.visitDate, "2025-03-05");
    EXPECT_EQ(row.value.record.savedAt, "2025-03-05 09:04:03");
    EXPECT_EQ(row.value.record.frameCount, m_dlg->m_recorder.FramesWritten());
    EXPECT_GE(*row.value.record.frameCount, 6);
    ASSERT_TRUE(row.value.record.frameRate.has_value());
    EXPECT_GT(*row.value.record.frameRate, 0);
    // The next finger of the usual order, on the pane too.
    EXPECT_EQ(m_dlg->Exam()->Current()->finger, "R4");
    EXPECT_EQ(m_dlg->m_livePane.OverlayText(), QStringLiteral("1234 · YAMADA Hanako · R4"));
    // The log names rows by number only.
    for (const QString& line : LogLines()) {
        EXPECT_FALSE(line.contains(QStringLiteral("YAMADA"))) << line.toStdString();
        EXPECT_FALSE(line.contains(QStringLiteral("1970-04-01"))) << line.toStdString();
    }
}

TEST_F(ExamWindowTest, SaveWithoutAnExamWritesOnlyTheClip) {
    ASSERT_TRUE(Open());
    RecordAndSave();
    EXPECT_EQ(FilesUnderVideo(), (QStringList{"2025-03-05/090403.avi", "temp.avi"}));
    EXPECT_TRUE(m_dlg->m_livePane.OverlayText().isEmpty());
}

TEST_F(ExamWindowTest, DatabaseThatCannotBeOpenedIsToldOnceAndSavingGoesOn) {
    QDir().mkpath(VideoDir());
    QFile bad(VideoDir() + QStringLiteral("/Quorvel.db"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(4096, 'z'));
    bad.close();
    ASSERT_TRUE(Open());
    // Looked at off the window's thread: the message comes once the look is done.
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !m_boxes.empty(); }));
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_EXAM_DB_FAIL"));
    EXPECT_EQ(m_dlg->Exam()->Store(true), nullptr);
    RecordAndSave();
    testing_support::Pump(100);
    EXPECT_TRUE(QFile::exists(VideoDir() + QStringLiteral("/2025-03-05/090403.avi")));
    EXPECT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(Bytes(VideoDir() + QStringLiteral("/Quorvel.db")), QByteArray(4096, 'z'));
}

TEST_F(ExamWindowTest, ExamLineIsOnTheLivePaneAndNotInTheRecordedFrames) {
    ASSERT_TRUE(Open());
    ChooseExam();
    ASSERT_TRUE(WaitFrames(3));
    // What the pane shows and the frame it shows, at one moment.
    const QImage shown =
        m_dlg->m_livePane.grab().toImage().convertToFormat(QImage::Format_RGB888).rgbSwapped();
    const cv::Mat frame = m_dlg->m_livePane.LastFrame().clone();
    const cv::Mat shownMat(shown.height(), shown.width(), CV_8UC3,
                           const_cast<uchar*>(shown.constBits()),
                           static_cast<size_t>(shown.bytesPerLine()));
    // The band darkens the pane's bottom; the frame under it is as bright there as before.
    EXPECT_LT(BottomShare(shownMat), 0.75 * BottomShare(frame));

    RecordAndSave();
    cv::VideoCapture reader((VideoDir() + QStringLiteral("/2025-03-05/090403.avi")).toStdString());
    cv::Mat recorded;
    ASSERT_TRUE(reader.read(recorded));
    EXPECT_GT(BottomShare(recorded), 0.9 * BottomShare(frame));
    EXPECT_LT(BottomShare(shownMat), 0.75 * BottomShare(recorded));
}

TEST_F(ExamWindowTest, DialogFindsAddsChoosesAndAssignsAsTheOperatorDoes) {
    ASSERT_TRUE(Open());
    CExamStore* store = m_dlg->Exam()->Store(true);
    ASSERT_NE(store, nullptr);
    ASSERT_TRUE(store->CreatePatient({0, "1234", "YAMADA Hanako", "", "F"}).ok());
    ASSERT_TRUE(store->CreatePatient({0, "5678", "SATO Ken", "", "M"}).ok());
    // A clip saved the day before without an exam.
    QDir().mkpath(VideoDir() + QStringLiteral("/2025-03-04"));
    QFile(VideoDir() + QStringLiteral("/2025-03-04/101010.avi")).open(QIODevice::WriteOnly);

    CExamDlg dlg(*m_dlg->Exam(), *store, kDay, m_dlg.get());
    dlg.show();
    QTest::keyClicks(&dlg.Search(), QStringLiteral("yam"));
    ASSERT_EQ(dlg.Patients().count(), 1);
    EXPECT_TRUE(dlg.Patients().item(0)->text().startsWith(QStringLiteral("1234")));

    dlg.NewId().setText(QStringLiteral("9"));
    dlg.NewBirthDate().setText(QStringLiteral("2999-01-01"));
    QTest::mouseClick(&dlg.CreateButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.Status().text(), Lang("IDS_EXAM_ERR_FUTURE"));
    EXPECT_EQ(store->SearchPatients("").value.size(), 2u);
    dlg.NewName().setText(QStringLiteral("KATO Mei"));
    dlg.NewBirthDate().setText(QStringLiteral("1980-01-31"));
    QTest::mouseClick(&dlg.CreateButton(), Qt::LeftButton);
    ASSERT_EQ(dlg.Patients().currentRow(), 0);
    EXPECT_TRUE(dlg.Patients().currentItem()->text().startsWith(QStringLiteral("9 · KATO Mei")));

    ASSERT_EQ(dlg.Orphans().count(), 1);
    QTest::mouseClick(dlg.FingerButton("L2"), Qt::LeftButton);
    dlg.Orphans().setCurrentRow(0);
    QTest::mouseClick(&dlg.AssignButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.Orphans().count(), 0);
    auto assigned = store->ClipByPath("2025-03-04/101010.avi");
    ASSERT_TRUE(assigned.ok());
    EXPECT_EQ(assigned.value.visitDate, "2025-03-04");
    EXPECT_EQ(assigned.value.record.finger, "L2");
    // That day's visit is listed now; its clips go into the strip.
    QStringList put;
    dlg.SetPutIntoStrip([&](const QStringList& paths) { put = paths; });
    ASSERT_EQ(dlg.Visits().count(), 1);
    EXPECT_EQ(dlg.Visits().item(0)->text(), QStringLiteral("2025-03-04"));
    dlg.Visits().setCurrentRow(0);
    QTest::mouseClick(&dlg.ToStripButton(), Qt::LeftButton);
    EXPECT_EQ(put, QStringList{VideoDir() + QStringLiteral("/2025-03-04/101010.avi")});

    QTest::mouseClick(&dlg.TodayButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_TRUE(m_dlg->Exam()->Current().has_value());
    EXPECT_EQ(m_dlg->Exam()->Current()->visit.date, "2025-03-05");
    EXPECT_EQ(m_dlg->m_livePane.OverlayText(), QStringLiteral("9 · KATO Mei · L2"));
}

// The report is of the visit chosen in the list, an earlier one too, not only of the exam's.
TEST_F(ExamWindowTest, ReportIsOfTheVisitChosenInTheDialog) {
    ASSERT_TRUE(Open());
    TwoVisits();
    QStringList opened;
    m_dlg->SetReportOpener([&](const QString& path) { opened << path; });

    CExamDlg dlg(*m_dlg->Exam(), *m_dlg->Exam()->Store(false), kDay, m_dlg.get());
    m_dlg->ConnectExamDlg(dlg);
    dlg.show();
    // The exam's own visit is chosen as the dialog opens; the earlier one below it.
    ASSERT_EQ(dlg.Visits().count(), 2);
    EXPECT_EQ(dlg.Visits().currentItem()->text(), QStringLiteral("2025-03-05"));
    ASSERT_TRUE(dlg.ReportButton().isVisible());
    dlg.Visits().setCurrentRow(1);
    ASSERT_EQ(dlg.Visits().currentItem()->text(), QStringLiteral("2025-01-10"));
    QTest::mouseClick(&dlg.ReportButton(), Qt::LeftButton);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !opened.isEmpty(); }));
    const QString pdf = VideoDir() + QStringLiteral("/2025-01-10/1234_2025-01-10.pdf");
    EXPECT_EQ(opened, QStringList{pdf});
    EXPECT_FALSE(QFile::exists(VideoDir() + QStringLiteral("/2025-03-05/1234_2025-03-05.pdf")));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(60000));
    const QString got = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(got.contains(QStringLiteral("YAMADA Hanako"))) << got.toStdString();
    EXPECT_TRUE(got.contains(QStringLiteral("2025-01-10"))) << got.toStdString();
    EXPECT_FALSE(got.contains(QStringLiteral("2025-03-05"))) << got.toStdString();
    // The January clip is the one the report lists, not March's.
    EXPECT_TRUE(got.contains(QStringLiteral("090000.avi"))) << got.toStdString();
    EXPECT_FALSE(got.contains(QStringLiteral("090403.avi"))) << got.toStdString();
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(ExamWindowTest, CompareWithTheLastVisitPlaysBothWithTheirVisitDates) {
    ASSERT_TRUE(Open());
    TwoVisits();
    const QString before = VideoDir() + QStringLiteral("/2025-01-10/090000.avi");
    const QString now = VideoDir() + QStringLiteral("/2025-03-05/090403.avi");
    // Only this visit's clip is in the strip.
    m_dlg->OnDeleteAllVideos();
    m_dlg->AddVideo(now);

    m_dlg->OnCompareWithLastVisit(now);
    EXPECT_EQ(m_dlg->m_bDualView, 1);
    ASSERT_NE(m_dlg->Player(0), nullptr);
    ASSERT_NE(m_dlg->Player(1), nullptr);
    EXPECT_EQ(m_dlg->Player(0)->m_path, now);
    EXPECT_EQ(m_dlg->Player(1)->m_path, before);
    EXPECT_EQ(LabelText(IDC_LABEL1), QStringLiteral("2025-03-05  090403.avi"));
    EXPECT_EQ(LabelText(IDC_LABEL2), QStringLiteral("2025-01-10  090000.avi"));
    EXPECT_EQ(m_dlg->m_videoPaths, (std::vector<QString>{now, before}));
    EXPECT_TRUE(m_boxes.empty());

    m_dlg->OnCompareWithLastVisit(before);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_EXAM_NO_EARLIER"));
}

TEST_F(ExamWindowTest, ClipsWithoutARecordAreLoggedAtStart) {
    {
        CExamStore store;
        QDir().mkpath(VideoDir() + QStringLiteral("/2025-03-04"));
        ASSERT_TRUE(store.Open(VideoDir().toStdString()).ok());
    }
    QFile(VideoDir() + QStringLiteral("/2025-03-04/101010.avi")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(Open());
    EXPECT_TRUE(testing_support::WaitUntil([&] {
        return LogLines().contains(
            QStringLiteral("exam: clip not assigned: 2025-03-04/101010.avi"));
    }));
    EXPECT_TRUE(m_boxes.empty());
}
