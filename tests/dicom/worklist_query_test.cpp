// The worklist query against DCMTK's own worklist server: today's steps of our modality only,
// names decoded from the character set each entry is written in, and the errors a user sees
// when the server is down or refuses us.
#include "dicom/worklist_query.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "tests/support/worklist_server.h"

using testing_support::CWorklistServer;

namespace {

constexpr const char* kDay = "2030-05-17";

// The example of DICOM's own character set annex: Yamada^Tarou=山田^太郎=やまだ^たろう in
// ISO 2022 with JIS X 0208, each ideographic part switched in and back out.
const std::string kYamadaIso2022 =
    "Yamada^Tarou=\033$B;3ED\033(B^\033$BB@O:\033(B=\033$B$d$^$@\033(B^\033$B$?$m$&\033(B";

class WorklistQueryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Add("japanese", {"\\ISO 2022 IR 87", "JP-7", kYamadaIso2022, "19700708", "F", "A1002",
                         "Nailfold capillaroscopy", "XC", "20300517", "081500"});
        Add("japanese-utf8",
            {"ISO_IR 192", "JP-8", "Suzuki^Hanako=鈴木^花子=すずき^はなこ", "19820304", "F",
             "A1004", "爪郭部毛細血管顕微鏡検査", "XC", "20300517", "1015"});
        Add("chinese", {"ISO_IR 192", "CN-1", "Wang^Xiaodong=王^小东", "19610203", "M", "A1001",
                        "甲襞微循环检查", "XC", "20300517", "0930"});
        Add("latin1", {"ISO_IR 100", "DE-3", "M\xfcller^J\xfcrgen^Karl^Dr.", "19550101", "X",
                       "A1003", "Capillaroscopy", "XC", "20300517", "110000"});
        Add("tomorrow", {"", "XX-1", "Later^Lou", "19800101", "M", "A2001", "Capillaroscopy", "XC",
                         "20300518", "090000"});
        Add("mri", {"", "XX-2", "Other^Otto", "19800101", "M", "A2002", "MRI of the knee", "MR",
                    "20300517", "100000"});
        ASSERT_TRUE(m_server.Start()) << m_server.Error();
    }
    void Add(const std::string& name, const CWorklistServer::Item& item) {
        ASSERT_TRUE(m_server.Add(name, item)) << m_server.Error();
    }
    WorklistSettings Settings() const {
        WorklistSettings s;
        s.host = "127.0.0.1";
        s.port = m_server.Port();
        s.calledAeTitle = CWorklistServer::kAeTitle;
        return s;
    }

    CWorklistServer m_server;
};

TEST_F(WorklistQueryTest, TodaysStepsOfOurModalityComeInOrderWithTheirNamesDecoded) {
    const CWorklistQuery::Result r = CWorklistQuery::Run(Settings(), kDay);
    ASSERT_TRUE(r.ok()) << r.detail;
    ASSERT_EQ(r.entries.size(), 4u);

    // By time. Debian's DCMTK cannot convert JIS X 0208, so the first name's alphabetic form
    // stands in for its ideographic one; Latin-1 bytes become UTF-8; the prefix is left out.
    const std::vector<std::array<std::string, 4>> expected = {
        {"JP-7", "Yamada Tarou", "Nailfold capillaroscopy", "08:15"},
        {"CN-1", "王 小东", "甲襞微循环检查", "09:30"},
        {"JP-8", "鈴木 花子", "爪郭部毛細血管顕微鏡検査", "10:15"},
        {"DE-3", "Müller Jürgen Karl", "Capillaroscopy", "11:00"}};
    for (size_t i = 0; i < expected.size(); ++i) {
        const WorklistEntry& e = r.entries[i];
        EXPECT_EQ((std::array{e.patientId, e.patientName, e.requestedProcedure, e.scheduledTime}),
                  expected[i]);
    }
    const WorklistEntry& jp = r.entries[0];
    EXPECT_EQ(jp.birthDate, "1970-07-08");
    EXPECT_EQ(jp.sex, "F");
    EXPECT_EQ(jp.accessionNumber, "A1002");
    EXPECT_EQ(jp.modality, "XC");
    // A sex DICOM does not know is dropped.
    EXPECT_EQ(r.entries[3].sex, "");
}

TEST_F(WorklistQueryTest, NoModalityAsksForEveryModality) {
    WorklistSettings s = Settings();
    s.modality.clear();
    const CWorklistQuery::Result r = CWorklistQuery::Run(s, kDay);
    ASSERT_TRUE(r.ok()) << r.detail;
    ASSERT_EQ(r.entries.size(), 5u);
    EXPECT_EQ(r.entries[2].patientId, "XX-2");
    EXPECT_EQ(r.entries[2].modality, "MR");
}

TEST_F(WorklistQueryTest, AnAeTitleTheServerDoesNotKnowIsRefused) {
    WorklistSettings s = Settings();
    s.calledAeTitle = "NOSUCHAE";
    const CWorklistQuery::Result r = CWorklistQuery::Run(s, kDay);
    EXPECT_EQ(r.error, CWorklistQuery::Error::Refused) << r.detail;
    EXPECT_TRUE(r.entries.empty());
}

TEST(WorklistQueryDownTest, AServerThatDoesNotListenIsUnreachable) {
    WorklistSettings s;
    s.host = "127.0.0.1";
    s.port = CWorklistServer::FreePort();
    s.calledAeTitle = CWorklistServer::kAeTitle;
    const CWorklistQuery::Result r = CWorklistQuery::Run(s, kDay);
    EXPECT_EQ(r.error, CWorklistQuery::Error::Unreachable) << r.detail;
    EXPECT_FALSE(r.detail.empty());
}

TEST(WorklistNameTest, TheIdeographicFormIsPreferredAndPartsAreJoined) {
    EXPECT_EQ(CWorklistQuery::ReadableName("Doe^John"), "Doe John");
    EXPECT_EQ(CWorklistQuery::ReadableName("Yamada^Tarou=山田^太郎=やまだ^たろう"), "山田 太郎");
    EXPECT_EQ(CWorklistQuery::ReadableName("=^=やまだ^たろう"), "やまだ たろう");
    EXPECT_EQ(CWorklistQuery::ReadableName("^Cher"), "Cher");
    EXPECT_EQ(CWorklistQuery::ReadableName(""), "");
}

}  // namespace
