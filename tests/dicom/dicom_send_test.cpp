// Clips and snapshots on their way to a real archive: an Orthanc of the test's own on 127.0.0.1.
#include <dcmtk/dcmdata/dcuid.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <map>
#include <opencv2/imgcodecs.hpp>

#include "dicom/dicom_send_queue.h"
#include "dicom/jpeg_huffman_tables.h"
#include "dicom_test_support.h"
#include "platform/posted_queue.h"
#include "tests/support/test_support.h"

using dicom_testing::CExamWithClip;
using dicom_testing::COrthanc;
using testing_support::WaitUntil;

namespace {

class DicomSendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!COrthanc::Installed())
            GTEST_SKIP() << "Orthanc is not installed (" << dicom_testing::kOrthancBinary
                         << "); make deps installs it";
        ASSERT_TRUE(m_exam.ok());
    }
    void TearDown() override { m_queue.reset(); }

    // A queue on the exam's store whose reports come back to this thread, as they do to the
    // capture window.
    void StartQueue(int port) {
        m_queue = std::make_unique<CDicomSendQueue>(
            m_exam.Store(), m_exam.Root() + "/.outgoing",
            [this](DicomSendReport report) { m_posted.Post(std::move(report)); });
        m_queue->SetArchive({"127.0.0.1", port, dicom_testing::kArchiveAet, "QUORVELTEST"});
        m_queue->Start();
    }
    int SentCount(long long item) const {
        int count = 0;
        for (const DicomSendReport& r : m_reports) count += r.itemRow == item && r.sent;
        return count;
    }
    bool AllSent(const std::vector<SendItem>& items, int times = 1) const {
        for (const SendItem& item : items)
            if (SentCount(item.row) < times) return false;
        return true;
    }
    QJsonObject Tags(const std::string& id) const {
        return QJsonDocument::fromJson(QByteArray::fromStdString(
                                           m_orthanc.Get("/instances/" + id + "/simplified-tags")))
            .object();
    }
    // The archive's instances by SOP Instance UID.
    std::map<std::string, std::string> InstancesByUid() const {
        std::map<std::string, std::string> byUid;
        for (const std::string& id : m_orthanc.Instances())
            byUid[Tags(id).value("SOPInstanceUID").toString().toStdString()] = id;
        return byUid;
    }

    CExamWithClip m_exam;
    COrthanc m_orthanc;
    std::vector<DicomSendReport> m_reports;
    platform::CPostedQueue<DicomSendReport> m_posted{
        [this](DicomSendReport&& r) { m_reports.push_back(std::move(r)); }};
    std::unique_ptr<CDicomSendQueue> m_queue;
};

}  // namespace

TEST_F(DicomSendTest, ClipAndSnapshotArriveWithTheirExamAndPictures) {
    ASSERT_TRUE(m_orthanc.Start());
    ExamResult<std::vector<SendItem>> items =
        CDicomSendQueue::QueueClip(m_exam.Store(), CExamWithClip::kClip);
    ASSERT_TRUE(items.ok());
    ASSERT_EQ(items.value.size(), 2u);  // the clip and its snapshot
    StartQueue(m_orthanc.DicomPort());
    ASSERT_TRUE(WaitUntil([&] { return AllSent(items.value); }))
        << (m_reports.empty() ? "no report" : m_reports.back().error);

    const auto byUid = InstancesByUid();
    ASSERT_EQ(byUid.size(), 2u);
    ASSERT_TRUE(byUid.count(items.value[0].sopInstanceUid));
    ASSERT_TRUE(byUid.count(items.value[1].sopInstanceUid));
    const std::string clipId = byUid.at(items.value[0].sopInstanceUid);
    const QJsonObject clip = Tags(clipId);
    EXPECT_EQ(clip.value("SOPClassUID").toString(),
              UID_MultiframeTrueColorSecondaryCaptureImageStorage);
    EXPECT_EQ(clip.value("NumberOfFrames").toString().toInt(), CExamWithClip::kFrames);
    EXPECT_EQ(clip.value("PatientName").toString(), QString::fromUtf8(CExamWithClip::kPatientName));
    EXPECT_EQ(clip.value("PatientID").toString(), "QV-0042");
    EXPECT_EQ(clip.value("PixelSpacing").toString(), "0.0025\\0.0025");
    EXPECT_EQ(clip.value("FrameTime").toString().toDouble(), 80.0);
    EXPECT_EQ(clip.value("ImageLaterality").toString(), "L");
    const QJsonObject region = clip.value("AnatomicRegionSequence").toArray().at(0).toObject();
    EXPECT_EQ(region.value("CodeValue").toString(), "65531009");  // middle finger
    EXPECT_EQ(region.value("CodingSchemeDesignator").toString(), "SCT");

    const QJsonObject snapshot = Tags(byUid.at(items.value[1].sopInstanceUid));
    EXPECT_EQ(snapshot.value("SOPClassUID").toString(), UID_VLPhotographicImageStorage);
    EXPECT_EQ(snapshot.value("PatientName").toString(),
              QString::fromUtf8(CExamWithClip::kPatientName));
    EXPECT_EQ(snapshot.value("StudyInstanceUID"), clip.value("StudyInstanceUID"));

    // Frame 0 came without Huffman tables; the archive decodes it to the clip's first picture.
    int status = 0;
    const std::string png = m_orthanc.Get("/instances/" + clipId + "/frames/0/preview", &status);
    ASSERT_EQ(status, 200);
    const cv::Mat preview =
        cv::imdecode(std::vector<uchar>(png.begin(), png.end()), cv::IMREAD_COLOR);
    const cv::Mat first =
        cv::imdecode(CJpegHuffmanTables::WithTables(m_exam.Frames()[0]), cv::IMREAD_COLOR);
    ASSERT_EQ(preview.size(), first.size());
    cv::Mat difference;
    cv::absdiff(preview, first, difference);
    EXPECT_LT(cv::mean(difference)[0], 3.0);
    EXPECT_TRUE(m_exam.Store().WaitingSends().value.empty());
}

TEST_F(DicomSendTest, ArchiveDownWaitsThenArrivesOnceAndASecondSendKeepsTheUid) {
    const int port = dicom_testing::FreePort();
    ExamResult<std::vector<SendItem>> items =
        CDicomSendQueue::QueueClip(m_exam.Store(), CExamWithClip::kClip);
    ASSERT_TRUE(items.ok());
    StartQueue(port);  // nothing listens there yet
    ASSERT_TRUE(WaitUntil([&] { return m_reports.size() >= items.value.size(); }));
    for (const DicomSendReport& r : m_reports) {
        EXPECT_FALSE(r.sent);
        EXPECT_FALSE(r.refused);
        EXPECT_FALSE(r.error.empty());
    }
    ExamResult<std::vector<SendItem>> waiting = m_exam.Store().WaitingSends();
    ASSERT_EQ(waiting.value.size(), 2u);
    for (const SendItem& item : waiting.value) {
        EXPECT_EQ(item.attempts, 1);
        EXPECT_GT(item.nextTry, std::time(nullptr));  // paused, not tried in a loop
        EXPECT_FALSE(item.lastError.empty());
    }

    ASSERT_TRUE(m_orthanc.Start(port));
    m_queue->RetryNow();
    ASSERT_TRUE(WaitUntil([&] { return AllSent(items.value); }));
    EXPECT_EQ(m_orthanc.Instances().size(), 2u);
    EXPECT_TRUE(m_exam.Store().WaitingSends().value.empty());

    // Sent again: the same SOP Instance UIDs, so the archive still holds each object once.
    ExamResult<std::vector<SendItem>> again =
        CDicomSendQueue::QueueClip(m_exam.Store(), CExamWithClip::kClip);
    ASSERT_TRUE(again.ok());
    ASSERT_EQ(again.value.size(), 2u);
    EXPECT_EQ(again.value[0].sopInstanceUid, items.value[0].sopInstanceUid);
    EXPECT_EQ(again.value[1].sopInstanceUid, items.value[1].sopInstanceUid);
    m_queue->Wake();
    ASSERT_TRUE(WaitUntil([&] { return AllSent(items.value, 2); }));
    const auto byUid = InstancesByUid();
    EXPECT_EQ(byUid.size(), 2u);
    EXPECT_TRUE(byUid.count(items.value[0].sopInstanceUid));
}

TEST_F(DicomSendTest, KilledInTheMiddleOfASendArrivesOnceAfterTheRestart) {
    ASSERT_TRUE(m_orthanc.Start());
    QProcess child;
    child.start(QStringLiteral(DICOM_CHILD),
                {QString::fromStdString(m_exam.Root()), CExamWithClip::kClip,
                 QString::number(m_orthanc.DicomPort()), dicom_testing::kArchiveAet});
    ASSERT_TRUE(child.waitForStarted(testing_support::kPatienceMs));
    // The archive has stored the clip; the child has not yet marked it sent.
    ASSERT_TRUE(
        WaitUntil([&] { return child.canReadLine() || child.state() == QProcess::NotRunning; }));
    ASSERT_EQ(child.readLine().trimmed(), "stored") << "child exit " << child.exitCode();
    child.kill();
    ASSERT_TRUE(child.waitForFinished(testing_support::kPatienceMs));
    ASSERT_EQ(m_orthanc.Instances().size(), 1u);

    ExamResult<std::vector<SendItem>> waiting = m_exam.Store().WaitingSends();
    ASSERT_EQ(waiting.value.size(), 2u);  // nothing was confirmed
    StartQueue(m_orthanc.DicomPort());    // the restart
    ASSERT_TRUE(WaitUntil([&] { return AllSent(waiting.value); }));
    const auto byUid = InstancesByUid();
    EXPECT_EQ(byUid.size(), 2u);
    EXPECT_TRUE(byUid.count(waiting.value[0].sopInstanceUid));
    EXPECT_TRUE(byUid.count(waiting.value[1].sopInstanceUid));
    EXPECT_TRUE(m_exam.Store().WaitingSends().value.empty());
}

// DCMTK's storescp answers a store it cannot write with a failure status (Out of Resources):
// its output folder is taken away once it listens.
TEST_F(DicomSendTest, RefusalComesBackWithItsStatusAndTheItemStays) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    const int port = dicom_testing::FreePort();
    QProcess scp;
    scp.start(QStringLiteral("storescp"),
              {QStringLiteral("+xa"), QStringLiteral("-aet"), dicom_testing::kArchiveAet,
               QStringLiteral("-od"), out, QString::number(port)});
    if (!scp.waitForStarted(testing_support::kPatienceMs))
        GTEST_SKIP() << "storescp (Debian's dcmtk) is not installed";
    ASSERT_TRUE(WaitUntil(
        [&] { return archive_testing::Accepts(port) || scp.state() == QProcess::NotRunning; }));
    ASSERT_EQ(scp.state(), QProcess::Running);
    ASSERT_TRUE(QDir(out).removeRecursively());

    ExamResult<std::vector<SendItem>> items =
        CDicomSendQueue::QueueClip(m_exam.Store(), CExamWithClip::kClip);
    ASSERT_TRUE(items.ok());
    StartQueue(port);
    ASSERT_TRUE(WaitUntil([&] { return m_reports.size() >= items.value.size(); }));
    for (const DicomSendReport& r : m_reports) {
        EXPECT_FALSE(r.sent);
        EXPECT_TRUE(r.refused) << r.error;
        EXPECT_EQ(r.status, 0xA700u);
        EXPECT_NE(r.error.find("status 0xA700"), std::string::npos) << r.error;
    }
    EXPECT_EQ(m_exam.Store().WaitingSends().value.size(), 2u);
    m_queue.reset();
    scp.kill();
    scp.waitForFinished(testing_support::kPatienceMs);
}

TEST(DicomArchiveSettingsTest, TitlesTooLongOrOutsideTheRepertoireAreNamedNotCut) {
    DicomArchive archive;
    archive.host = "127.0.0.1";
    archive.calledAeTitle = "ORTHANC";
    EXPECT_EQ(archive.Missing(), "");
    archive.callingAeTitle = "";  // the sender's own default then
    EXPECT_EQ(archive.Missing(), "");
    archive.calledAeTitle = "ARCHIVE_OF_THE_WARD";  // 19 characters: a cut one would be refused
    archive.callingAeTitle = "QUORVEL\\2";
    EXPECT_EQ(archive.Missing(), "CalledAETitle, CallingAETitle");
    archive.calledAeTitle = "ARCHIVE_OF_THE_W";           // exactly 16
    archive.callingAeTitle = "\xe5\xb1\xb1\xe7\x94\xb0";  // not the default repertoire
    EXPECT_EQ(archive.Missing(), "CallingAETitle");
    // Nothing goes out with such a setting.
    const DicomSendOutcome outcome = CDicomSender::Send(archive, "/nonexistent.dcm", "1.2", "1.2");
    EXPECT_FALSE(outcome.stored);
    EXPECT_NE(outcome.error.find("CallingAETitle"), std::string::npos) << outcome.error;
}
