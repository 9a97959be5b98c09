// The report's worker: texts looked up on the window's thread only, the result handed back there,
// one report at a time.
#include "workstation/report_job.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <optional>
#include <thread>

TEST(ReportJobTest, ResultComesBackOnTheCallersThreadAndTextsAreReadThereOnly) {
    QTemporaryDir dir;
    CExamStore store;
    ASSERT_TRUE(store.Open(dir.path().toStdString()).ok());
    const long long patient = store.CreatePatient({0, "77", "Roe Rick", "", "M"}).value;
    const Visit visit = store.VisitOn(patient, "2026-12-10").value;

    const std::thread::id ui = std::this_thread::get_id();
    bool textOffThread = false;
    std::optional<CReportWriter::Result> got;
    std::thread::id deliveredOn;
    CReportJob job([&](CReportWriter::Result&& r) {
        deliveredOn = std::this_thread::get_id();
        got = std::move(r);
    });
    CReportWriter::Options options;
    options.text = [&](const char* key) {
        if (std::this_thread::get_id() != ui) textOffThread = true;
        return QString::fromLatin1(key);
    };
    ASSERT_TRUE(job.Start(store, visit, options));
    // A second report while the first is written is refused, not queued behind it.
    EXPECT_FALSE(job.Start(store, visit, options));
    // Generous: this waits for the worker, it measures nothing.
    QElapsedTimer t;
    t.start();
    while (!got && t.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(deliveredOn, ui);
    EXPECT_FALSE(textOffThread);
    EXPECT_TRUE(got->ok) << got->error.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("2026-12-10/77_2026-12-10.pdf")));
    EXPECT_FALSE(job.Busy());
    got.reset();
    EXPECT_TRUE(job.Start(store, visit, options));
    while (!got && t.elapsed() < 120000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(got.has_value());
}
