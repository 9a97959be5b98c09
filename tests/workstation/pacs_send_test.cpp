// The capture window and the picture archive: a clip saved during an exam with AutoSend=1
// reaches an Orthanc of the test's own and the strip says so; missing settings and a clip without
// an exam are told.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "platform/profile.h"
#include "tests/support/orthanc_server.h"
#include "tests/workstation/capture_window_fixture.h"

using archive_testing::COrthanc;
using platform::v4l2::EmulatedCameraConfig;
using workstation_testing::CaptureWindowTest;

namespace {

class PacsWindowTest : public CaptureWindowTest {
  protected:
    void SetUp() override {
        CaptureWindowTest::SetUp();
        const platform::SYSTEMTIME t = testing_support::LocalTime(2025, 3, 5, 9, 4, 3);
        platform::SetLocalTimeForTesting(&t);
        Install({EmulatedCameraConfig::Microscope()});
    }
    void Setting(const char* key, const QString& value) {
        ASSERT_EQ(platform::WritePrivateProfileStringW(
                      QStringLiteral("PACS"), QString::fromLatin1(key), value,
                      QDir(m_folder->Path()).filePath(QStringLiteral("Quorvel.ini"))),
                  0);
    }
    // Records a few frames and saves them: the clip's path.
    QString RecordAndSave() {
        Click(&m_dlg->m_btnRecord);
        EXPECT_TRUE(WaitFrames(6));
        Click(&m_dlg->m_btnRecord);
        EXPECT_TRUE(WaitFrames(2));
        Click(&m_dlg->m_btnSave);
        return VideoDir() + QStringLiteral("/2025-03-05/090403.avi");
    }
    QString StripText(const QString& path) const {
        const auto& paths = m_dlg->m_videoPaths;
        const auto at = std::find(paths.begin(), paths.end(), path);
        if (at == paths.end()) return {};
        const QListWidgetItem* item = m_dlg->m_videoList.item(static_cast<int>(at - paths.begin()));
        return item ? item->text() : QString();
    }
};

}  // namespace

TEST_F(PacsWindowTest, ClipSavedDuringAnExamIsSentOnItsOwnAndTheStripSaysSo) {
    if (!COrthanc::Installed()) GTEST_SKIP() << "Orthanc is not installed; make deps installs it";
    COrthanc orthanc;
    ASSERT_TRUE(orthanc.Start());
    Setting("Host", QStringLiteral("127.0.0.1"));
    Setting("Port", QString::number(orthanc.DicomPort()));
    Setting("CalledAETitle", QString::fromLatin1(archive_testing::kArchiveAet));
    Setting("AutoSend", QStringLiteral("1"));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(m_dlg->m_pacs->Configured());

    CExamStore* store = m_dlg->Exam()->Store(true);
    ASSERT_NE(store, nullptr);
    Patient patient{0, "1234", "YAMADA Hanako", "1970-04-01", "F"};
    patient.row = store->CreatePatient(patient).value;
    const Visit visit = store->VisitOn(patient.row, "2025-03-05").value;
    m_dlg->Exam()->Choose({patient, visit, "R2"});
    const QString clip = RecordAndSave();

    const QString sent = Lang("IDS_PACS_SENT");
    ASSERT_TRUE(testing_support::WaitUntil([&] { return StripText(clip).contains(sent); }))
        << StripText(clip).toStdString() << "\n"
        << LogLines().join(QLatin1Char('\n')).toStdString();
    const std::vector<std::string> instances = orthanc.Instances();
    ASSERT_EQ(instances.size(), 1u);
    const QJsonObject tags =
        QJsonDocument::fromJson(QByteArray::fromStdString(
                                    orthanc.Get("/instances/" + instances[0] + "/simplified-tags")))
            .object();
    EXPECT_EQ(tags.value("PatientID").toString(), "1234");
    EXPECT_EQ(tags.value("ImageLaterality").toString(), "R");
    const auto row = store->ClipByPath("2025-03-05/090403.avi");
    ASSERT_TRUE(row.ok());
    EXPECT_EQ(tags.value("NumberOfFrames").toString().toLongLong(), *row.value.record.frameCount);
    EXPECT_TRUE(m_boxes.empty());
    for (const QString& line : LogLines()) {
        EXPECT_FALSE(line.contains(QStringLiteral("YAMADA"))) << line.toStdString();
        EXPECT_FALSE(line.contains(QStringLiteral("1970-04-01"))) << line.toStdString();
    }
}

TEST_F(PacsWindowTest, MissingSettingsAreNamedAndAClipWithoutAnExamIsNotSent) {
    Setting("Port", QStringLiteral("11112"));
    ASSERT_TRUE(Open());
    EXPECT_FALSE(m_dlg->m_pacs->Configured());
    const QString menu = m_dlg->m_pacs->MenuText();
    EXPECT_TRUE(menu.contains(QStringLiteral("Host"))) << menu.toStdString();
    EXPECT_TRUE(menu.contains(QStringLiteral("CalledAETitle"))) << menu.toStdString();
    EXPECT_FALSE(menu.contains(QStringLiteral("Port"))) << menu.toStdString();

    const QString clip = RecordAndSave();
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !StripText(clip).isEmpty(); }));
    m_dlg->m_pacs->Send(clip);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes.back().text, Lang("IDS_PACS_NO_EXAM"));
    EXPECT_FALSE(StripText(clip).contains(Lang("IDS_PACS_WAITING")));
}
