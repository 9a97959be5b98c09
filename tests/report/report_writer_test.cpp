// The report read back with poppler's tools: its text, its pixels and its fonts.
#include "report/report_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <cmath>
#include <map>
#include <opencv2/core.hpp>

#include "exam/exam_store.h"
#include "tests/support/playback_test_support.h"

namespace {

constexpr double kUmPerPx = 0.5;  // 100 µm are 200 clip pixels
constexpr int kGrey = 120;
// The count's marks: two on its line, one added beside it.
const std::vector<MarkPoint> kMarks = {{150, 300}, {350, 300}, {250, 330}};

// The pack's texts, read as the application reads them.
CReportWriter::Text Pack(const QString& name) {
    auto texts = std::make_shared<std::map<QString, QString>>();
    QFile f(QStringLiteral(QUORVEL_SOURCE_DIR "/res/Language/") + name);
    if (f.open(QIODevice::ReadOnly)) {
        for (const QString& line : QString::fromUtf8(f.readAll()).split('\n')) {
            const int eq = line.indexOf('=');
            if (eq > 0) (*texts)[line.left(eq)] = line.mid(eq + 1).trimmed();
        }
    }
    return [texts](const char* key) { return texts->count(key) ? texts->at(key) : QString(key); };
}

QString RunTool(const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

struct Visit1 {
    QTemporaryDir dir;
    CExamStore store;
    Visit visit;
};

// Patient 4711 at 2026-12-11: R2 with a ruler line, a count with its marks and a width on frame
// 3 and a giant width on frame 7; L3 with a clip and nothing measured. name goes in as the
// patient's name.
void MakeVisit(Visit1& v, const std::string& name) {
    ASSERT_TRUE(v.store.Open(v.dir.path().toStdString()).ok());
    const long long patient = v.store.CreatePatient({0, "4711", name, "1960-02-29", "F"}).value;
    v.visit = v.store.VisitOn(patient, "2026-12-11").value;
    QDir(v.dir.path()).mkpath("2026-12-11");
    const cv::Mat frame(480, 640, CV_8UC3, cv::Scalar(kGrey, kGrey, kGrey));
    for (const char* clip : {"2026-12-11/101010.avi", "2026-12-11/101020.avi"}) {
        ASSERT_TRUE(playback_testing::MakeClip(v.dir.filePath(clip), frame, 10));
        ClipRecord r;
        r.visitRow = v.visit.row;
        r.finger = std::string(clip).find("101010") != std::string::npos ? "R2" : "L3";
        r.relPath = clip;
        r.savedAt = "2026-12-11 10:10:10";
        r.umPerPx = kUmPerPx;
        ASSERT_TRUE(v.store.SaveClip(r).ok());
    }
    auto row = [](int frame, const char* kind, double x1, double y1, double x2, double y2) {
        Measurement m;
        m.frame = frame;
        m.kind = kind;
        m.x1 = x1, m.y1 = y1, m.x2 = x2, m.y2 = y2;
        m.lengthPx = std::hypot(x2 - x1, y2 - y1);
        m.lengthUm = *m.lengthPx * kUmPerPx;
        return m;
    };
    // 100 µm long: a ruler's, so neither the widest nor giant.
    const Measurement line = row(3, "measure", 100, 100, 300, 100);
    Measurement count = row(3, "count", 50, 300, 450, 300);
    count.count = 3, count.perMm = 15, count.proposed = 3, count.changed = 1;
    count.marks = kMarks;
    Measurement width = row(3, "width", 500, 150, 530, 150);
    width.proposed = 1, width.changed = 0;
    const Measurement giant = row(7, "width", 200, 200, 312, 200);
    for (const Measurement& m : {line, count, width, giant})
        ASSERT_TRUE(v.store.AddMeasurement("2026-12-11/101010.avi", m).ok());
}

CReportWriter::Result WriteReport(Visit1& v, const QString& pack) {
    CReportWriter::Options o;
    o.host = QStringLiteral("scope-host");
    o.text = Pack(pack);
    return CReportWriter::Write(v.store, v.visit, o);
}

}  // namespace

TEST(ReportWriterTest, TextHoldsEveryNumberOfTheTableAndTheRowsInOrder) {
    Visit1 v;
    MakeVisit(v, "Doe Jane");
    const CReportWriter::Result r = WriteReport(v, "English.ini");
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.path, v.dir.filePath("2026-12-11/4711_2026-12-11.pdf"));
    struct stat st {};
    ASSERT_EQ(stat(r.path.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const QString text = RunTool("pdftotext", {"-layout", r.path, "-"}).simplified();
    // Page 1, the table (R2 first in filming order: 1 clip, 15.0 /mm, the widest width 56.0 µm
    // and so giant, 4 rows; L3: 1 clip, nothing), then R2's frames and rows, then L3's page.
    const QStringList expected = {
        "4711",
        "Doe Jane",
        "1960-02-29",
        "F",
        "2026-12-11",
        "scope-host",
        "0.5000 µm/px",
        "R2 1 15.0 56.0 yes 4",
        "L3 1 – – 0",
        "Finger R2",
        "101010.avi · frame 3",
        "measure (100.0, 100.0) – (300.0, 100.0) 200.0 px 100.0 µm",
        "count (50.0, 300.0) – (450.0, 300.0) 400.0 px 200.0 µm n = 3 15.0 /mm proposed 3, "
        "changed 1",
        "width (500.0, 150.0) – (530.0, 150.0) 30.0 px 15.0 µm proposed 1, changed 0",
        "56.0 µm, giant",
        "101010.avi · frame 7",
        "width (200.0, 200.0) – (312.0, 200.0) 112.0 px 56.0 µm",
        "Finger L3",
        "101020.avi: Nothing was measured.",
        "Page 3"};
    int at = 0;
    for (const QString& e : expected) {
        const int found = text.indexOf(e, at);
        ASSERT_GE(found, 0) << "missing after " << at << ": " << e.toStdString() << "\n"
                            << text.toStdString();
        at = found + e.size();
    }
}

TEST(ReportWriterTest, FramePageShowsTheKeptLinesTheCountsMarksAndAHundredMicrometreBar) {
    Visit1 v;
    MakeVisit(v, "Doe Jane");
    const CReportWriter::Result r = WriteReport(v, "English.ini");
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const QString prefix = v.dir.filePath("page");
    RunTool("pdftoppm", {"-r", QString::number(CReportWriter::kResolution), "-f", "2", "-l", "2",
                         "-png", "-singlefile", r.path, prefix});
    const QImage page(prefix + ".png");
    ASSERT_FALSE(page.isNull());
    // The frame is the block of the clip's grey: find its corner.
    auto isGrey = [&](int x, int y) {
        const QColor c = page.pixelColor(x, y);
        return std::abs(c.red() - kGrey) < 14 && std::abs(c.green() - kGrey) < 14 &&
               std::abs(c.blue() - kGrey) < 14;
    };
    int left = -1, top = -1;
    for (int y = 0; y < page.height() && top < 0; ++y)
        for (int x = 0; x + 20 < page.width(); ++x)
            if (isGrey(x, y) && isGrey(x + 20, y) && isGrey(x, y + 20)) {
                left = x, top = y;
                break;
            }
    ASSERT_GE(top, 0);
    // The kept line from (100, 100) to (300, 100) in clip pixels, in the kept colour.
    auto isKept = [&](int x, int y) {
        const QColor c = page.pixelColor(left + x, top + y);
        return c.red() < 90 && c.green() > 170 && c.blue() > 200;
    };
    EXPECT_TRUE(isKept(200, 100));
    EXPECT_TRUE(isKept(150, 100) || isKept(150, 101));
    EXPECT_FALSE(isKept(200, 110));
    EXPECT_FALSE(isKept(200, 90));
    EXPECT_TRUE(isGrey(left + 200, top + 110));
    // The width across (500, 150) to (530, 150), its label beside its end.
    EXPECT_TRUE(isKept(515, 150) || isKept(515, 151));
    EXPECT_TRUE(isGrey(left + 515, top + 140));
    // The count's marks: red rings round the points stored, grey inside and where none is.
    auto isMark = [&](int x, int y) {
        const QColor c = page.pixelColor(left + x, top + y);
        return c.red() > 200 && c.green() < 110 && c.blue() < 110;
    };
    for (const MarkPoint& m : kMarks) {
        const int x = int(m.x), y = int(m.y);
        EXPECT_TRUE(isMark(x, y - 5) || isMark(x, y - 6) || isMark(x, y - 4)) << x << "," << y;
        EXPECT_TRUE(isMark(x, y + 5) || isMark(x, y + 6) || isMark(x, y + 4)) << x << "," << y;
    }
    EXPECT_TRUE(isGrey(left + 250, top + 330));
    for (int x : {200, 300}) EXPECT_FALSE(isMark(x, 295) || isMark(x, 305)) << x;
    // The bar: a white run near the frame's foot, 100 µm / 0.5 µm per px = 200 px long.
    int longest = 0;
    for (int y = top + 440; y < top + 480; ++y) {
        int run = 0;
        for (int x = left; x < left + 640; ++x) {
            const QColor c = page.pixelColor(x, y);
            run = (c.red() > 240 && c.green() > 240 && c.blue() > 240) ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    EXPECT_NEAR(longest, 100 / kUmPerPx, 1.0);
}

TEST(ReportWriterTest, JapaneseReportEmbedsACjkFontAndKeepsTheName) {
    Visit1 v;
    MakeVisit(v, "山田 花子");
    const CReportWriter::Result r = WriteReport(v, "日本語.ini");
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const QString fonts = RunTool("pdffonts", {r.path});
    bool embeddedCjk = false;
    for (const QString& line : fonts.split('\n'))
        if (line.contains("CJK") && line.contains(QRegularExpression(" yes +(yes|no) +(yes|no) ")))
            embeddedCjk = true;
    EXPECT_TRUE(embeddedCjk) << fonts.toStdString();
    // Qt's text map gives some ideographs back as the Kangxi radicals of the same glyph, which
    // compatibility normalisation turns back into the ideographs.
    const QString text =
        RunTool("pdftotext", {r.path, "-"}).normalized(QString::NormalizationForm_KC);
    EXPECT_TRUE(text.contains(QStringLiteral("山田 花子"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("計測はありません"))) << text.toStdString();
}

TEST(ReportWriterTest, FolderNotWritableLeavesNoFileAndSaysWhy) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into any folder";
    Visit1 v;
    MakeVisit(v, "Doe Jane");
    const QString day = v.dir.filePath("2026-12-11");
    ASSERT_EQ(chmod(day.toLocal8Bit().constData(), 0500), 0);
    const CReportWriter::Result r = WriteReport(v, "English.ini");
    chmod(day.toLocal8Bit().constData(), 0700);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains("Permission denied")) << r.error.toStdString();
    EXPECT_EQ(QDir(day).entryList({"*.pdf*"}, QDir::Files | QDir::Hidden).size(), 0);
}

TEST(ReportWriterTest, RenameThatFailsLeavesNoHalfWrittenFile) {
    // A folder where the report should go: everything is written, the last step fails.
    Visit1 v;
    MakeVisit(v, "Doe Jane");
    const QString day = v.dir.filePath("2026-12-11");
    ASSERT_TRUE(QDir(day).mkdir("4711_2026-12-11.pdf"));
    const CReportWriter::Result r = WriteReport(v, "English.ini");
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_EQ(QDir(day).entryList({"*.pdf*"}, QDir::Files | QDir::Hidden).size(), 0);
}
