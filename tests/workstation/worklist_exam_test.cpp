// "From worklist" in the exam dialog, against DCMTK's worklist server: the chosen entry becomes
// the dialog's patient (new, or the one already kept with that ID) and its order is kept on
// today's visit; missing settings and a server that is down are told in the dialog.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "platform/profile.h"
#include "platform/win_app.h"
#include "tests/support/test_support.h"
#include "tests/support/worklist_server.h"
#include "workstation/exam_dlg.h"

using testing_support::CWorklistServer;
using testing_support::WaitUntil;

namespace {

constexpr const char* kDay = "2030-05-17";

class WorklistExamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CWinApp& app = AfxGetApp();
        app.m_langFile = m_folder.Path() + QStringLiteral("/Language/English.ini");
        app.m_log.Close();
        app.m_log.Open(Log().toStdString());
        ASSERT_TRUE(m_server.Add(
            "japanese", {"ISO_IR 192", "JP-8", "Suzuki^Hanako=鈴木^花子=すずき^はなこ", "19820304",
                         "F", "A1004", "爪郭部毛細血管顕微鏡検査", "XC", "20300517", "1015"}))
            << m_server.Error();
        ASSERT_TRUE(
            m_server.Add("chinese", {"ISO_IR 192", "CN-1", "Wang^Xiaodong=王^小东", "19610203", "M",
                                     "A1001", "甲襞微循环检查", "XC", "20300517", "0930"}))
            << m_server.Error();
        ASSERT_TRUE(m_server.Start()) << m_server.Error();
        Set("Host", "127.0.0.1");
        Set("Port", QString::number(m_server.Port()));
        Set("CalledAETitle", CWorklistServer::kAeTitle);
        m_session = std::make_unique<CExamSession>(m_videos.path());
        m_store = m_session->Store(true);
        ASSERT_NE(m_store, nullptr);
    }
    void TearDown() override { AfxGetApp().m_log.Close(); }

    QString Ini() const { return m_folder.Path() + QStringLiteral("/Quorvel.ini"); }
    QString Log() const { return m_folder.Path() + QStringLiteral("/log.txt"); }
    void Set(const char* key, const QString& value) {
        ASSERT_EQ(platform::WritePrivateProfileStringW(QStringLiteral("Worklist"),
                                                       QString::fromLatin1(key), value, Ini()),
                  0);
    }

    // Asks the worklist and waits for the list to choose from; null when none came.
    CWorklistDlg* AskAndWaitForPicker(CExamDlg& dlg) {
        dlg.WorklistButton().click();
        if (!WaitUntil([&] { return dlg.WorklistPicker() && dlg.WorklistPicker()->isVisible(); }))
            return nullptr;
        return dlg.WorklistPicker();
    }
    void Choose(CWorklistDlg& picker, int row) {
        picker.Entries().setCurrentItem(picker.Entries().topLevelItem(row));
        picker.UseButton().click();
    }

    testing_support::CAppFolder m_folder;
    QTemporaryDir m_videos;
    CWorklistServer m_server;
    std::unique_ptr<CExamSession> m_session;
    CExamStore* m_store = nullptr;
    CWorklistJob m_job{Ini()};
};

TEST_F(WorklistExamTest, ANewPatientIsMadeFromTheEntryAndTodaysVisitKeepsTheOrder) {
    CExamDlg dlg(*m_session, *m_store, QString::fromLatin1(kDay));
    dlg.SetWorklist(&m_job);
    dlg.show();
    CWorklistDlg* picker = AskAndWaitForPicker(dlg);
    ASSERT_NE(picker, nullptr) << dlg.Status().text().toStdString();
    ASSERT_EQ(picker->Entries().topLevelItemCount(), 2);
    EXPECT_EQ(picker->Entries().topLevelItem(1)->text(1), QStringLiteral("鈴木 花子"));
    Choose(*picker, 1);

    const auto found = m_store->SearchPatients("JP-8");
    ASSERT_TRUE(found.ok());
    ASSERT_EQ(found.value.size(), 1u);
    const Patient& p = found.value[0];
    EXPECT_EQ(p.name, "鈴木 花子");
    EXPECT_EQ(p.birthDate, "1982-03-04");
    EXPECT_EQ(p.sex, "F");
    ASSERT_NE(dlg.Patients().currentItem(), nullptr);
    EXPECT_TRUE(dlg.Patients().currentItem()->text().startsWith(QStringLiteral("JP-8")));
    EXPECT_EQ(dlg.Accession().text(), QStringLiteral("A1004"));
    EXPECT_EQ(dlg.Procedure().text(), QStringLiteral("爪郭部毛細血管顕微鏡検査"));

    dlg.TodayButton().click();
    ASSERT_TRUE(m_session->Current().has_value());
    EXPECT_EQ(m_session->Current()->visit.accessionNumber, "A1004");
    const auto visits = m_store->VisitsOf(p.row);
    ASSERT_TRUE(visits.ok());
    ASSERT_EQ(visits.value.size(), 1u);
    EXPECT_EQ(visits.value[0].date, kDay);
    EXPECT_EQ(visits.value[0].accessionNumber, "A1004");
    EXPECT_EQ(visits.value[0].requestedProcedure, "爪郭部毛細血管顕微鏡検査");

    // The log names neither the patient nor the ID.
    QFile log(Log());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("worklist")));
    EXPECT_FALSE(text.contains(QStringLiteral("JP-8")));
    EXPECT_FALSE(text.contains(QStringLiteral("鈴木")));
}

TEST_F(WorklistExamTest, APatientKeptWithTheSameIdIsChosenNotMadeAgain) {
    const auto kept = m_store->CreatePatient({0, "CN-1", "Wang X", "", ""});
    ASSERT_TRUE(kept.ok());
    CExamDlg dlg(*m_session, *m_store, QString::fromLatin1(kDay));
    dlg.SetWorklist(&m_job);
    dlg.show();
    CWorklistDlg* picker = AskAndWaitForPicker(dlg);
    ASSERT_NE(picker, nullptr) << dlg.Status().text().toStdString();
    Choose(*picker, 0);

    const auto found = m_store->SearchPatients("CN-1");
    ASSERT_TRUE(found.ok());
    ASSERT_EQ(found.value.size(), 1u);
    EXPECT_EQ(found.value[0].name, "Wang X");
    EXPECT_EQ(dlg.Accession().text(), QStringLiteral("A1001"));
    dlg.TodayButton().click();
    ASSERT_TRUE(m_session->Current().has_value());
    EXPECT_EQ(m_session->Current()->patient.row, kept.value);
    const auto visits = m_store->VisitsOf(kept.value);
    ASSERT_TRUE(visits.ok() && visits.value.size() == 1u);
    EXPECT_EQ(visits.value[0].requestedProcedure, "甲襞微循环检查");
}

TEST_F(WorklistExamTest, MissingSettingsAreNamedAndNothingIsAsked) {
    ASSERT_TRUE(QFile::remove(Ini()));
    CExamDlg dlg(*m_session, *m_store, QString::fromLatin1(kDay));
    dlg.SetWorklist(&m_job);
    dlg.WorklistButton().click();
    EXPECT_FALSE(m_job.Busy());
    EXPECT_TRUE(dlg.Status().text().contains(QStringLiteral("[Worklist] Host")))
        << dlg.Status().text().toStdString();
    EXPECT_TRUE(dlg.Status().text().contains(QStringLiteral("[Worklist] CalledAETitle")));
}

TEST_F(WorklistExamTest, AServerThatIsDownIsToldAndTheButtonComesBack) {
    Set("Port", QString::number(CWorklistServer::FreePort()));
    CExamDlg dlg(*m_session, *m_store, QString::fromLatin1(kDay));
    dlg.SetWorklist(&m_job);
    dlg.WorklistButton().click();
    ASSERT_TRUE(WaitUntil([&] { return !m_job.Busy(); }));
    EXPECT_TRUE(dlg.WorklistButton().isEnabled());
    EXPECT_EQ(dlg.WorklistPicker(), nullptr);
    EXPECT_TRUE(dlg.Status().text().contains(QStringLiteral("cannot be reached")))
        << dlg.Status().text().toStdString();
}

}  // namespace
