// What the measuring tools compute and write: clip coordinates from any pane size, micrometres
// from a calibration, the lines and marks of a tool, and the clip's CSV file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cmath>

#include "emulated/emulated_capillary_scene.h"
#include "playback/calibration.h"
#include "playback/clip_coordinates.h"
#include "playback/measurement_csv.h"
#include "playback/review_tool.h"

TEST(ClipCoordinates, TheSameSpotOfThePictureIsTheSameClipPointAtAnyPaneSize) {
    const QSize clip(640, 480);
    // The pane at the window's set-up size and maximized; the spot at 1/4, 3/5 of the picture.
    const CClipCoordinates small(QSize(552, 407), clip);
    const CClipCoordinates large(QSize(1366, 890), clip);
    const QPointF a = small.ToClip(QPointF(552 * 0.25, 407 * 0.6));
    const QPointF b = large.ToClip(QPointF(1366 * 0.25, 890 * 0.6));
    EXPECT_NEAR(a.x(), 160.0, 1e-9);
    EXPECT_NEAR(a.y(), 288.0, 1e-9);
    EXPECT_NEAR(b.x(), a.x(), 1e-9);
    EXPECT_NEAR(b.y(), a.y(), 1e-9);
    // Stretched unevenly, a horizontal and a vertical line of 100 clip pixels differ on the
    // pane but not in the clip.
    const QPointF p0 = large.ToPane(QPointF(100, 100));
    EXPECT_NEAR(CClipCoordinates::Length(large.ToClip(p0), large.ToClip(large.ToPane({200, 100}))),
                100.0, 1e-9);
    EXPECT_NEAR(CClipCoordinates::Length(large.ToClip(p0), large.ToClip(large.ToPane({100, 200}))),
                100.0, 1e-9);
    // A drag that leaves the pane ends at the clip's edge; an empty pane maps nothing.
    EXPECT_EQ(small.ToClip(QPointF(-30, 900)), QPointF(0, 480));
    EXPECT_FALSE(CClipCoordinates(QSize(0, 407), clip).IsValid());
    EXPECT_EQ(CClipCoordinates(QSize(0, 407), clip).ToClip(QPointF(10, 10)), QPointF(0, 0));
}

TEST(Calibration, MicrometresAndCapillariesPerMillimetre) {
    // 100 µm of a stage micrometer across 250 clip pixels.
    const std::optional<CCalibration> c = CCalibration::FromLine(250.0, 100.0);
    ASSERT_TRUE(c);
    EXPECT_DOUBLE_EQ(c->MicrometresPerPixel(), 0.4);
    EXPECT_DOUBLE_EQ(*c->Micrometres(125.0), 50.0);
    // 9 capillaries across a line of 1 mm (2500 px) and of 0.5 mm.
    EXPECT_DOUBLE_EQ(*c->PerMillimetre(9, 2500.0), 9.0);
    EXPECT_DOUBLE_EQ(*c->PerMillimetre(9, 1250.0), 18.0);
    EXPECT_FALSE(c->PerMillimetre(3, 0.0));

    // No calibration from a line of no length or a length that is not a number; a stored value
    // that is no positive number means none.
    EXPECT_FALSE(CCalibration::FromLine(0.0, 100.0));
    EXPECT_FALSE(CCalibration::FromLine(250.0, -5.0));
    EXPECT_FALSE(CCalibration::FromLine(250.0, std::nan("")));
    for (double stored : {0.0, -0.4, std::nan(""), HUGE_VAL}) {
        const CCalibration none(stored);
        EXPECT_FALSE(none.IsCalibrated()) << stored;
        EXPECT_FALSE(none.Micrometres(125.0)) << stored;
        EXPECT_FALSE(none.PerMillimetre(9, 2500.0)) << stored;
    }
}

TEST(MeasurementCsv, HeaderOnceRowsAppendedAcrossRunsEmptyFieldsAndNonAsciiPaths) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("患者 山田/2026-12-10")));
    const QString clip = dir.filePath(QStringLiteral("患者 山田/2026-12-10/090403.avi"));
    const QString csv = dir.filePath(QStringLiteral("患者 山田/2026-12-10/090403.csv"));
    EXPECT_EQ(CMeasurementCsv::PathFor(clip), csv);

    CMeasurementCsv::Row measure;
    measure.clip = QStringLiteral("090403.avi");
    measure.frame = 123;
    measure.kind = QStringLiteral("measure");
    measure.from = QPointF(10, 20.5);
    measure.to = QPointF(40, 60.25);
    measure.lengthPx = 50.0;
    measure.lengthUm = 20.0;
    ASSERT_EQ(CMeasurementCsv::Append(clip, measure), 0);

    // A later run: a count without a calibration has no micrometres and no density.
    CMeasurementCsv::Row count;
    count.clip = QStringLiteral("090403.avi");
    count.frame = 7;
    count.kind = QStringLiteral("count");
    count.from = QPointF(0, 240);
    count.to = QPointF(640, 240);
    count.lengthPx = 640.0;
    count.count = 9;
    count.proposed = 11;
    count.changed = 2;
    ASSERT_EQ(CMeasurementCsv::Append(clip, count), 0);

    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()),
              QStringLiteral("clip,frame,kind,x1,y1,x2,y2,length_px,length_um,count,per_mm,"
                             "proposed,changed\n"
                             "090403.avi,123,measure,10.00,20.50,40.00,60.25,50.00,20.00,,,,\n"
                             "090403.avi,7,count,0.00,240.00,640.00,240.00,640.00,,9,,11,2\n"));

    // A clip name with a comma stays one field.
    CMeasurementCsv::Row odd;
    odd.clip = QStringLiteral("a,\"b\".avi");
    odd.kind = QStringLiteral("calibrate");
    EXPECT_EQ(CMeasurementCsv::Format(odd),
              QStringLiteral("\"a,\"\"b\"\".avi\",0,calibrate,,,,,,,,,,"));
}

// A file begun before counts told their proposals: every row ends up with the same columns.
TEST(MeasurementCsv, AFileUnderTheOldHeaderIsBroughtToTodaysColumns) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString clip = dir.filePath(QStringLiteral("090403.avi"));
    {
        QFile old(CMeasurementCsv::PathFor(clip));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(
            "clip,frame,kind,x1,y1,x2,y2,length_px,length_um,count,per_mm\n"
            "090403.avi,1,measure,1.00,2.00,3.00,4.00,5.00,,,\n"
            "\"odd\nname.avi\",2,count,0.00,0.00,9.00,0.00,9.00,,3,\n");
    }
    CMeasurementCsv::Row row;
    row.clip = QStringLiteral("090403.avi");
    row.frame = 3;
    row.kind = QStringLiteral("count");
    row.count = 4;
    row.proposed = 5;
    row.changed = 1;
    ASSERT_EQ(CMeasurementCsv::Append(clip, row), 0);
    ASSERT_EQ(CMeasurementCsv::Append(clip, row), 0);  // once upgraded, only appended

    QFile file(CMeasurementCsv::PathFor(clip));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()),
              QStringLiteral("clip,frame,kind,x1,y1,x2,y2,length_px,length_um,count,per_mm,"
                             "proposed,changed\n"
                             "090403.avi,1,measure,1.00,2.00,3.00,4.00,5.00,,,,,\n"
                             "\"odd\nname.avi\",2,count,0.00,0.00,9.00,0.00,9.00,,3,,,\n"
                             "090403.avi,3,count,,,,,,,4,,5,1\n"
                             "090403.avi,3,count,,,,,,,4,,5,1\n"));
    EXPECT_FALSE(QFile::exists(CMeasurementCsv::PathFor(clip) + QStringLiteral(".new")));
}

TEST(MeasurementCsv, AFileThatCannotBeWrittenGivesItsErrno) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A folder where the file would go.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("clip.csv")));
    CMeasurementCsv::Row row;
    row.clip = QStringLiteral("clip.avi");
    row.kind = QStringLiteral("measure");
    EXPECT_EQ(CMeasurementCsv::Append(dir.filePath(QStringLiteral("clip.avi")), row), EISDIR);
    EXPECT_EQ(CMeasurementCsv::Append(dir.filePath(QStringLiteral("gone/clip.avi")), row), ENOENT);
}

TEST(ReviewTool, DragsDrawLinesClicksMarkCapillariesAndLeavingKeepsWhatWasKept) {
    CReviewTool tool;
    // No tool: the mouse draws nothing.
    tool.Press({10, 10});
    tool.Release({100, 10});
    EXPECT_FALSE(tool.Pending());

    tool.SetCalibration(CCalibration(0.5));
    tool.Start(CReviewTool::Kind::Measure);
    tool.Press({10, 10});
    tool.Move({12, 11});  // within a click's slop: no line yet
    EXPECT_FALSE(tool.Pending());
    tool.Move({70, 90});
    tool.Release({70, 90});
    ASSERT_TRUE(tool.Pending());
    EXPECT_DOUBLE_EQ(tool.PendingLengthPx(), 100.0);
    EXPECT_EQ(tool.PendingLabel(), QStringLiteral("50.0 µm"));
    tool.Keep(QStringLiteral("kept"));
    EXPECT_FALSE(tool.Pending());
    ASSERT_EQ(tool.Kept().size(), 1u);
    EXPECT_EQ(tool.Kept()[0].to, QPointF(70, 90));

    // A count: clicks after the line mark capillaries, a click on a mark takes it away, a new
    // drag starts over without marks.
    tool.Start(CReviewTool::Kind::Count);
    tool.Press({0, 240});
    tool.Release({400, 240});
    for (QPointF at : {QPointF(50, 238), QPointF(120, 242), QPointF(200, 240)}) {
        tool.Press(at);
        tool.Release(at + QPointF(1, 1));
    }
    tool.Press({121, 240});
    tool.Release({121, 240});
    ASSERT_TRUE(tool.Pending());
    EXPECT_EQ(tool.Pending()->crossings.size(), 2u);
    EXPECT_EQ(tool.Pending()->to, QPointF(400, 240));
    EXPECT_EQ(tool.PendingLabel(), QStringLiteral("n = 2, 200.0 µm"));
    tool.Press({0, 100});
    tool.Release({300, 100});
    EXPECT_TRUE(tool.Pending()->crossings.empty());

    // Esc: the pending line goes, the kept one stays, the mouse draws no more.
    tool.Leave();
    EXPECT_FALSE(tool.Pending());
    EXPECT_EQ(tool.Kept().size(), 1u);
    tool.Press({0, 0});
    tool.Release({300, 300});
    EXPECT_FALSE(tool.Pending());
    // Without a calibration the lengths are pixels.
    EXPECT_EQ(CReviewTool::LengthText(17.44, CCalibration()), QStringLiteral("17.4 px"));
    tool.Clear();
    EXPECT_TRUE(tool.Kept().empty());
}

TEST(ReviewTool, CountProposesTheCrossingsAndWidthMeasuresTheLimbClicked) {
    using Scene = platform::v4l2::CEmulatedCapillaryScene;
    // Three loops with limbs 24 px wide: 60 µm at 2.5 µm per pixel, giant.
    const Scene::Scene scene = Scene::RenderLoops(Scene::Options(), {120, 320, 520}, 24, 12, 100);
    CReviewTool tool;
    tool.SetFrame(scene.picture);
    tool.SetCalibration(CCalibration(2.5));
    tool.SetGiantText(QStringLiteral("giant"));
    tool.Start(CReviewTool::Kind::Count);
    tool.Press({20, 100});
    tool.Release({620, 100});
    ASSERT_TRUE(tool.Pending());
    ASSERT_EQ(tool.Pending()->crossings.size(), 3u);
    EXPECT_EQ(tool.Pending()->proposed.size(), 3u);
    EXPECT_EQ(tool.Pending()->Changed(), 0);
    EXPECT_NEAR(tool.Pending()->crossings[1].x(), 320, 3);
    // One proposal taken back, one mark added: two changes, the count stays three.
    const QPointF middle = tool.Pending()->crossings[1];
    tool.Press(middle + QPointF(2, 0));
    tool.Release(middle + QPointF(2, 0));
    tool.Press({220, 100});
    tool.Release({220, 100});
    EXPECT_EQ(tool.Pending()->crossings.size(), 3u);
    EXPECT_EQ(tool.Pending()->Changed(), 2);
    // Put back near where it was, the proposal counts as kept; a new line proposes afresh.
    tool.Press(middle - QPointF(3, 0));
    tool.Release(middle - QPointF(3, 0));
    EXPECT_EQ(tool.Pending()->crossings.size(), 4u);
    EXPECT_EQ(tool.Pending()->Changed(), 1);
    tool.Press({20, 100});
    tool.Release({420, 100});
    EXPECT_EQ(tool.Pending()->crossings.size(), 2u);
    EXPECT_EQ(tool.Pending()->Changed(), 0);

    tool.Start(CReviewTool::Kind::Width);
    const cv::Point2d limb = scene.loops[1].venous.centre[150];
    tool.Press({limb.x + 3, limb.y});
    tool.Release({limb.x + 3, limb.y});
    ASSERT_TRUE(tool.Pending());
    EXPECT_NEAR(tool.PendingLengthPx(), 24, 0.3);
    EXPECT_TRUE(tool.IsGiant(tool.PendingLengthPx()));
    EXPECT_TRUE(tool.PendingLabel().endsWith(QStringLiteral("µm, giant")));
    // Off any vessel nothing is pending; without a calibration there is no giant.
    tool.Press({320, 20});
    tool.Release({320, 20});
    EXPECT_FALSE(tool.Pending());
    tool.SetCalibration(CCalibration());
    tool.Press({limb.x, limb.y});
    tool.Release({limb.x, limb.y});
    ASSERT_TRUE(tool.Pending());
    EXPECT_TRUE(tool.PendingLabel().endsWith(QStringLiteral(" px")));
    // Without a frame, the tools fall back to the hand: a click measures nothing.
    tool.SetFrame(cv::Mat());
    tool.Press({limb.x, limb.y});
    tool.Release({limb.x, limb.y});
    EXPECT_FALSE(tool.Pending());
}
