// Pause, frame step, snapshot, the measuring tools and the right-click menu on the playback
// panes, checked on the screen with clips whose every frame is a grey of its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTest>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "emulated/emulated_capillary_scene.h"
#include "exam/exam_store.h"
#include "platform/profile.h"
#include "playback/measurement_csv.h"
#include "tests/workstation/clip_strip_fixture.h"

using playback_testing::NumberedFrame;
using playback_testing::PaneColour;
using testing_support::Pump;
using testing_support::WaitUntil;
using workstation_testing::ClipStripTest;

namespace {

class PaneReviewTest : public ClipStripTest {
  protected:
    // A 640x480 clip of 40 numbered frames at 5 fps, playing in pane 1007 (or 1008) of the
    // dual view, some frames in.
    QString PlayNumbered(const QString& name, int paneId = 1007, int frames = 40, int fps = 5) {
        const QString path = ClipDir() + QLatin1Char('/') + name;
        EXPECT_TRUE(playback_testing::MakeNumberedClip(path, frames, fps));
        if (m_dlg->m_bDualView == 0) Click(&m_dlg->m_btnView);
        DropAt(PointOf(paneId), path);
        const auto& player = paneId == 1007 ? m_dlg->m_pPlayer1 : m_dlg->m_pPlayer2;
        EXPECT_TRUE(WaitPlaying(player));
        EXPECT_TRUE(WaitUntil([&] { return ShownFrame(paneId) >= 2; }));
        return path;
    }
    int ShownFrame(int paneId) const { return NumberedFrame(PaneColour(Item(paneId))); }
    // A key typed where the pointer is: over the point given, into whatever has the focus.
    void Key(Qt::Key key, QPoint pointer) {
        QCursor::setPos(pointer);
        ASSERT_TRUE(WaitUntil([&] { return QCursor::pos() == pointer; }));
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : m_dlg.get(), key);
    }
    CPaneReview& Review(int index) { return m_dlg->m_review->Pane(index); }
    bool WaitOverlay(CPaneReview& review) {
        return WaitUntil([&] { return review.View() && review.View()->isVisible(); });
    }
    static cv::Mat Decode(const QString& clip, int frame) {
        cv::VideoCapture capture(clip.toStdString(), cv::CAP_FFMPEG);
        capture.set(cv::CAP_PROP_POS_FRAMES, frame);
        cv::Mat image;
        capture.read(image);
        return image;
    }
    // A left-button drag over the paused frame, between points given as fractions of the pane.
    static void Drag(QWidget* view, QPointF from, QPointF to) {
        auto at = [&](QPointF f) { return QPointF(f.x() * view->width(), f.y() * view->height()); };
        auto send = [&](QEvent::Type type, QPointF f, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at(f), view->mapToGlobal(at(f)), Qt::LeftButton, buttons,
                              Qt::NoModifier);
            QApplication::sendEvent(view, &event);
        };
        send(QEvent::MouseButtonPress, from, Qt::LeftButton);
        send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
        send(QEvent::MouseMove, to, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
    static void ClickAt(QWidget* view, QPointF at) { Drag(view, at, at); }
    static QStringList CsvLines(const QString& clip) {
        QFile file(CMeasurementCsv::PathFor(clip));
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // Micrometres per pixel in the window's settings file.
    void Calibrate(const QString& umPerPx) {
        const QString ini = ClipDir() + QStringLiteral("/settings/Quorvel.ini");
        ASSERT_TRUE(QDir().mkpath(QFileInfo(ini).absolutePath()));
        ASSERT_EQ(
            platform::WritePrivateProfileStringW(
                QStringLiteral("Calibration"), QStringLiteral("MicrometresPerPixel"), umPerPx, ini),
            0);
        m_dlg->m_review->SetSettingsFile(ini);
    }
    // The clip played in pane 1007 and paused there; the paused frame's view.
    QWidget* PausedOn(const QString& clip) {
        if (m_dlg->m_bDualView == 0) Click(&m_dlg->m_btnView);
        DropAt(PointOf(1007), clip);
        EXPECT_TRUE(WaitPlaying(m_dlg->m_pPlayer1));
        CPaneReview& review = Review(0);
        EXPECT_TRUE(WaitUntil([&] { return review.HasVideoOutput(); }, 8000));
        Key(Qt::Key_Space, PointOf(1007));
        EXPECT_TRUE(WaitOverlay(review));
        return review.View();
    }
    static int64_t Time(const std::unique_ptr<VlcPlayer>& player) {
        return libvlc_media_player_get_time(player->m_player.get());
    }
};

TEST_F(PaneReviewTest, SpaceFreezesThePaneOnTheFileFrameAndArrowsStepExactlyOne) {
    OpenWindow();
    const QString clip = PlayNumbered(QStringLiteral("090403.avi"));
    const int before = ShownFrame(1007);
    ASSERT_GE(before, 0);
    Key(Qt::Key_Space, PointOf(1007));
    CPaneReview& review = Review(0);
    ASSERT_TRUE(WaitOverlay(review));
    EXPECT_EQ(m_dlg->m_pPlayer1->GetState(), libvlc_Paused);
    const int paused = review.CurrentFrame();
    // libVLC's picture at the key or a later one: it plays on until the pause takes hold, for
    // longer on a busy machine.
    EXPECT_GE(paused, before - 1);
    // The view holds the file's frame at the clip's size, and that is what the screen shows.
    const cv::Mat decoded = Decode(clip, paused);
    const QImage shown = review.View()->Frame();
    ASSERT_EQ(shown.size(), QSize(640, 480));
    const cv::Vec3b pixel = decoded.at<cv::Vec3b>(240, 320);
    EXPECT_EQ(shown.pixelColor(320, 240), QColor(pixel[2], pixel[1], pixel[0]));
    EXPECT_TRUE(WaitUntil([&] { return ShownFrame(1007) == paused; })) << ShownFrame(1007);

    // Held: neither libVLC's clock nor the picture moves.
    const int64_t time = Time(m_dlg->m_pPlayer1);
    Pump(800);
    EXPECT_EQ(Time(m_dlg->m_pPlayer1), time);
    EXPECT_EQ(ShownFrame(1007), paused);

    Key(Qt::Key_Right, PointOf(1007, 0.2, 0.8));
    EXPECT_EQ(review.CurrentFrame(), paused + 1);
    EXPECT_TRUE(WaitUntil([&] { return ShownFrame(1007) == paused + 1; }));
    Key(Qt::Key_Left, PointOf(1007));
    Key(Qt::Key_Left, PointOf(1007));
    EXPECT_EQ(review.CurrentFrame(), paused - 1);
    EXPECT_TRUE(WaitUntil([&] { return ShownFrame(1007) == paused - 1; }));
    EXPECT_EQ(m_dlg->m_pPlayer1->GetState(), libvlc_Paused);

    // Resuming gives the pane back to libVLC, which plays on.
    Key(Qt::Key_Space, PointOf(1007));
    EXPECT_FALSE(review.View()->isVisible());
    EXPECT_TRUE(WaitPlaying(m_dlg->m_pPlayer1));
    EXPECT_TRUE(WaitUntil([&] { return ShownFrame(1007) != paused - 1; }));

    // A clip dropped onto the paused pane takes it over; paused again, what the screen shows is
    // the view's picture, not libVLC's.
    Key(Qt::Key_Space, PointOf(1007));
    ASSERT_TRUE(WaitOverlay(review));
    DropAt(PointOf(1007), clip);
    EXPECT_FALSE(review.IsPaused());
    EXPECT_FALSE(review.View()->isVisible());
    ASSERT_TRUE(WaitPlaying(m_dlg->m_pPlayer1));
    ASSERT_TRUE(WaitUntil([&] { return ShownFrame(1007) >= 1; }));
    Key(Qt::Key_Space, PointOf(1007));
    ASSERT_TRUE(WaitOverlay(review));
    review.View()->SetFrame(cv::Mat(480, 640, CV_8UC3, cv::Scalar(0, 0, 255)));
    EXPECT_TRUE(WaitShade(1007, playback_testing::Shade::Red));
}

TEST_F(PaneReviewTest, SKeySavesTheFileFrameBesideTheClipAndReportsAFailedWrite) {
    OpenWindow();
    const QString clip = PlayNumbered(QStringLiteral("090403.avi"));
    Key(Qt::Key_Space, PointOf(1007));
    CPaneReview& review = Review(0);
    ASSERT_TRUE(WaitOverlay(review));
    const int frame = review.CurrentFrame();
    Key(Qt::Key_S, PointOf(1007));
    const QString png =
        ClipDir() + QStringLiteral("/090403_%1.png").arg(frame, 6, 10, QLatin1Char('0'));
    ASSERT_TRUE(QFileInfo(png).isFile()) << png.toStdString();
    const cv::Mat saved = cv::imread(png.toStdString(), cv::IMREAD_UNCHANGED);
    const cv::Mat decoded = Decode(clip, frame);
    ASSERT_EQ(saved.cols, 640);
    ASSERT_EQ(saved.rows, 480);
    ASSERT_EQ(saved.type(), decoded.type());
    EXPECT_EQ(cv::norm(saved, decoded, cv::NORM_INF), 0.0);
    EXPECT_TRUE(m_boxes.empty());

    // Where the next frame's picture would go there is a folder: the user is told, the log says
    // why, and the folder is left alone.
    const QString blocked =
        ClipDir() + QStringLiteral("/090403_%1.png").arg(frame + 1, 6, 10, QLatin1Char('0'));
    ASSERT_TRUE(QDir().mkpath(blocked));
    Key(Qt::Key_Right, PointOf(1007));
    Key(Qt::Key_S, PointOf(1007));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, Lang("IDS_SNAPSHOT_FAIL"));
    const QString why = QString::fromUtf8(std::strerror(EISDIR));
    EXPECT_TRUE(LogLines().filter(QStringLiteral("snapshot failed")).filter(why).size() == 1)
        << LogLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(QFileInfo(blocked).isDir());
}

TEST_F(PaneReviewTest, ToolsMeasureCountAndCalibrateInClipPixelsAndWriteTheClipsCsv) {
    OpenWindow();
    const QString ini = ClipDir() + QStringLiteral("/settings/Quorvel.ini");
    m_dlg->m_review->SetSettingsFile(ini);
    int asked = 0;
    m_dlg->m_review->SetLengthPrompt([&](double) {
        ++asked;
        return std::optional<double>(100.0);
    });
    const QString clip = PlayNumbered(QStringLiteral("090403.avi"));
    // M does nothing to a playing pane.
    Key(Qt::Key_M, PointOf(1007));
    EXPECT_EQ(Review(0).Tool().Active(), CReviewTool::Kind::None);
    Key(Qt::Key_Space, PointOf(1007));
    CPaneReview& review = Review(0);
    ASSERT_TRUE(WaitOverlay(review));
    QWidget* view = review.View();
    const int frame = review.CurrentFrame();
    const QString row0 = QStringLiteral("090403.avi,%1,").arg(frame);

    // Uncalibrated, a line across the middle half of the pane is 320 clip pixels; it is drawn
    // on the screen and stays there once kept.
    Key(Qt::Key_M, PointOf(1007));
    ASSERT_EQ(review.Tool().Active(), CReviewTool::Kind::Measure);
    Drag(view, {0.25, 0.5}, {0.75, 0.5});
    Key(Qt::Key_Return, PointOf(1007));
    EXPECT_FALSE(review.Tool().Pending());
    auto cyanAt = [&](QPointF f) {
        const QImage shot = playback_testing::GrabPane(Item(1007));
        const QPoint p(static_cast<int>(f.x() * shot.width()),
                       static_cast<int>(f.y() * shot.height()));
        for (int dy : {-1, 0}) {
            const QColor c = shot.pixelColor(p + QPoint(0, dy));
            if (c.red() < 90 && c.green() > 170 && c.blue() > 200) return true;
        }
        return false;
    };
    EXPECT_TRUE(WaitUntil([&] { return cyanAt({0.4, 0.5}); }));
    EXPECT_FALSE(cyanAt({0.4, 0.3}));

    // The same line drawn on a larger window lands on the same clip pixels.
    const QSize before = view->size();
    m_dlg->resize(m_dlg->size() * 5 / 4);
    ASSERT_TRUE(
        WaitUntil([&] { return view->size() != before && view->size() == Item(1007)->size(); }));
    Drag(view, {0.25, 0.5}, {0.75, 0.5});
    Key(Qt::Key_Enter, PointOf(1007));

    // Calibrated by a line of 250 clip pixels that the user says is 100 µm long.
    Key(Qt::Key_C, PointOf(1007));
    Drag(view, {0.25, 0.25}, {0.25 + 250.0 / 640, 0.25});
    Key(Qt::Key_Return, PointOf(1007));
    EXPECT_EQ(asked, 1);
    EXPECT_DOUBLE_EQ(
        platform::GetPrivateProfileStringW(QStringLiteral("Calibration"),
                                           QStringLiteral("MicrometresPerPixel"), {}, 64, ini)
            .toDouble(),
        0.4);

    // A count on a line of 500 px (200 µm): four clicks, one taken back, 15 per mm.
    Key(Qt::Key_N, PointOf(1007));
    Drag(view, {0.1, 0.75}, {0.1 + 500.0 / 640, 0.75});
    for (double x : {0.2, 0.4, 0.6, 0.4, 0.7}) ClickAt(view, {x, 0.75});
    Key(Qt::Key_Return, PointOf(1007));
    // Esc leaves the tool; Enter then goes to the window again and the mouse draws no more.
    Key(Qt::Key_Escape, PointOf(1007));
    EXPECT_EQ(review.Tool().Active(), CReviewTool::Kind::None);
    EXPECT_TRUE(m_dlg->isVisible());
    Drag(view, {0.1, 0.1}, {0.9, 0.9});
    EXPECT_FALSE(review.Tool().Pending());
    EXPECT_EQ(review.Tool().Kept().size(), 4u);

    EXPECT_EQ(CsvLines(clip),
              QStringList({QString::fromLatin1(CMeasurementCsv::Header()),
                           row0 + QStringLiteral("measure,160.00,240.00,480.00,240.00,320.00,,,,,"),
                           row0 + QStringLiteral("measure,160.00,240.00,480.00,240.00,320.00,,,,,"),
                           row0 + QStringLiteral("calibrate,160.00,120.00,410.00,120.00,250.00,"
                                                 "100.00,,,,"),
                           row0 + QStringLiteral("count,64.00,360.00,564.00,360.00,500.00,200.00,"
                                                 "3,15.00,0,3")}));
    EXPECT_TRUE(m_boxes.empty());

    // Resuming hides the lines; paused again, the frame is clean and a new measurement is in µm.
    Key(Qt::Key_Space, PointOf(1007));
    EXPECT_TRUE(review.Tool().Kept().empty());
    Key(Qt::Key_Space, PointOf(1007));
    ASSERT_TRUE(WaitOverlay(review));
    Key(Qt::Key_M, PointOf(1007));
    Drag(view, {0.25, 0.5}, {0.75, 0.5});
    EXPECT_EQ(review.Tool().PendingLabel(), QStringLiteral("128.0 µm"));
    // The clip deleted in the middle of it leaves no tool and nothing drawn.
    m_dlg->OnDeleteAllVideos();
    EXPECT_EQ(review.Tool().Active(), CReviewTool::Kind::None);
    EXPECT_FALSE(review.Tool().Pending());
    EXPECT_FALSE(view->isVisible());
}

TEST_F(PaneReviewTest, CountProposesTheLoopsOnTheLineAndWidthKeepsAGiantLimbInMicrometres) {
    OpenWindow();
    Calibrate(QStringLiteral("2.5"));
    // Four loops with limbs 24 px (60 µm) wide, apices on row 120.
    const auto scene =
        platform::v4l2::CEmulatedCapillaryScene::RenderLoops({}, {110, 250, 390, 530}, 24, 12, 120);
    const QString clip = ClipDir() + QStringLiteral("/101010.avi");
    ASSERT_TRUE(playback_testing::MakeClip(clip, scene.picture, 40));
    QWidget* view = PausedOn(clip);
    ASSERT_NE(view, nullptr);
    CPaneReview& review = Review(0);
    auto at = [](double x, double y) { return QPointF(x / 640, y / 480); };

    // N: the line along the apices gets a mark on each loop; one is taken back.
    Key(Qt::Key_N, PointOf(1007));
    ASSERT_EQ(review.Tool().Active(), CReviewTool::Kind::Count);
    Drag(view, at(20, 120), at(620, 120));
    ASSERT_TRUE(review.Tool().Pending());
    const std::vector<QPointF> marks = review.Tool().Pending()->crossings;
    ASSERT_EQ(marks.size(), 4u);
    for (size_t i = 0; i < marks.size(); ++i) EXPECT_NEAR(marks[i].x(), scene.loops[i].apex.x, 3);
    ClickAt(view, at(marks[2].x() + 2, marks[2].y()));
    EXPECT_EQ(review.Tool().Pending()->crossings.size(), 3u);
    Key(Qt::Key_Return, PointOf(1007));

    // W: a click on the second loop's venous limb, a little off its centre line.
    Key(Qt::Key_W, PointOf(1007));
    ASSERT_EQ(review.Tool().Active(), CReviewTool::Kind::Width);
    const cv::Point2d limb = scene.loops[1].venous.centre[150];
    ClickAt(view, at(limb.x + 3, limb.y));
    ASSERT_TRUE(review.Tool().Pending());
    EXPECT_NEAR(review.Tool().PendingLengthPx(), 24, 0.6);
    EXPECT_TRUE(review.Tool().PendingLabel().endsWith(Lang("IDS_TOOL_WIDTH_GIANT")))
        << review.Tool().PendingLabel().toStdString();
    Key(Qt::Key_Return, PointOf(1007));
    ASSERT_EQ(review.Tool().Kept().size(), 2u);
    EXPECT_TRUE(review.Tool().Kept()[1].label.contains(Lang("IDS_TOOL_WIDTH_GIANT")));

    // The count row says four were proposed and one changed; the width row is in µm.
    const QStringList lines = CsvLines(clip);
    ASSERT_EQ(lines.size(), 3);
    const QStringList count = lines[1].split(QLatin1Char(','));
    ASSERT_EQ(count.size(), 13);
    EXPECT_EQ(count[2], QStringLiteral("count"));
    EXPECT_EQ(count[9], QStringLiteral("3"));
    EXPECT_EQ(count[11], QStringLiteral("4"));
    EXPECT_EQ(count[12], QStringLiteral("1"));
    const QStringList width = lines[2].split(QLatin1Char(','));
    ASSERT_EQ(width.size(), 13);
    EXPECT_EQ(width[2], QStringLiteral("width"));
    EXPECT_NEAR(width[7].toDouble(), 24, 0.6);
    EXPECT_NEAR(width[8].toDouble(), 60, 1.5);
    EXPECT_EQ(width[11], QStringLiteral("1"));
    EXPECT_EQ(width[12], QStringLiteral("0"));
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(PaneReviewTest, AnExamsClipKeepsItsWidthsAndAssistedCountWithItsMarksInTheDatabase) {
    OpenWindow();
    Calibrate(QStringLiteral("2.5"));
    const auto scene =
        platform::v4l2::CEmulatedCapillaryScene::RenderLoops({}, {110, 250, 390, 530}, 24, 12, 120);
    // The clip is an exam's: in a day folder of the video folder, with its record.
    const std::string rel = "2025-03-05/101010.avi";
    const QString clip = VideoDir() + QLatin1Char('/') + QString::fromStdString(rel);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(clip).absolutePath()));
    ASSERT_TRUE(playback_testing::MakeClip(clip, scene.picture, 40));
    CExamStore* store = m_dlg->Exam()->Store(true);
    ASSERT_NE(store, nullptr);
    const long long patient =
        store->CreatePatient({0, "1234", "YAMADA Hanako", "1970-04-01", "F"}).value;
    const Visit visit = store->VisitOn(patient, "2025-03-05").value;
    ASSERT_GT(visit.row, 0);
    ASSERT_TRUE(store->SaveClip({visit.row, "R3", rel, "2025-03-05 10:10:10", 40, 25.0, 2.5}).ok());
    QWidget* view = PausedOn(clip);
    ASSERT_NE(view, nullptr);
    CPaneReview& review = Review(0);
    auto at = [](double x, double y) { return QPointF(x / 640, y / 480); };

    // N along the apices: the third loop's mark taken back, one added between two loops.
    Key(Qt::Key_N, PointOf(1007));
    Drag(view, at(20, 120), at(620, 120));
    ASSERT_TRUE(review.Tool().Pending());
    const std::vector<QPointF> proposed = review.Tool().Pending()->crossings;
    ASSERT_EQ(proposed.size(), 4u);
    ClickAt(view, at(proposed[2].x() + 2, proposed[2].y()));
    ClickAt(view, at(180, 120));
    const std::vector<QPointF> kept = review.Tool().Pending()->crossings;
    ASSERT_EQ(kept.size(), 4u);
    Key(Qt::Key_Return, PointOf(1007));
    // W: a click on the second loop's venous limb, then a width drawn by hand across the first
    // loop's arterial limb.
    Key(Qt::Key_W, PointOf(1007));
    const cv::Point2d limb = scene.loops[1].venous.centre[150];
    ClickAt(view, at(limb.x + 3, limb.y));
    ASSERT_TRUE(review.Tool().Pending());
    const CReviewTool::Line probed = *review.Tool().Pending();
    Key(Qt::Key_Return, PointOf(1007));
    const cv::Point2d other = scene.loops[0].arterial.centre[150];
    Drag(view, at(other.x - 12, other.y), at(other.x + 12, other.y));
    ASSERT_TRUE(review.Tool().Pending());
    const double drawnPx = review.Tool().PendingLengthPx();
    Key(Qt::Key_Return, PointOf(1007));
    ASSERT_EQ(review.Tool().Kept().size(), 3u);

    const auto rows = store->MeasurementsOf(rel);
    ASSERT_TRUE(rows.ok()) << rows.status.detail;
    ASSERT_EQ(rows.value.size(), 3u);
    const Measurement& count = rows.value[0];
    EXPECT_EQ(count.kind, "count");
    EXPECT_EQ(count.count, 4);
    EXPECT_EQ(count.proposed, 4);
    EXPECT_EQ(count.changed, 2);
    // The kept marks where they were on the screen (the database keeps a hundredth of a
    // pixel): three loops' apices and the one added.
    ASSERT_EQ(count.marks.size(), kept.size());
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_NEAR(count.marks[i].x, kept[i].x(), 0.006);
        EXPECT_NEAR(count.marks[i].y, kept[i].y(), 0.006);
    }
    const std::vector<double> expectedX = {scene.loops[0].apex.x, scene.loops[1].apex.x,
                                           scene.loops[3].apex.x, 180};
    for (size_t i = 0; i < expectedX.size(); ++i) {
        EXPECT_NEAR(count.marks[i].x, expectedX[i], 3) << "mark " << i;
        EXPECT_NEAR(count.marks[i].y, 120, 1.5) << "mark " << i;
    }
    // The probe's width: the line across the limb, 24 px and 60 µm, proposed and kept as it was.
    const Measurement& width = rows.value[1];
    EXPECT_EQ(width.kind, "width");
    ASSERT_TRUE(width.x1 && width.y1 && width.x2 && width.y2 && width.lengthPx && width.lengthUm);
    EXPECT_NEAR(*width.x1, probed.from.x(), 1e-6);
    EXPECT_NEAR(*width.y2, probed.to.y(), 1e-6);
    EXPECT_NEAR(std::abs(*width.x2 - *width.x1), 24, 0.6);
    EXPECT_NEAR(*width.y1, limb.y, 2);
    EXPECT_NEAR(*width.lengthPx, 24, 0.6);
    EXPECT_NEAR(*width.lengthUm, 60, 1.5);
    EXPECT_EQ(width.proposed, 1);
    EXPECT_EQ(width.changed, 0);
    EXPECT_TRUE(width.marks.empty());
    // The one drawn by hand: nothing proposed, one line added.
    const Measurement& drawn = rows.value[2];
    EXPECT_EQ(drawn.kind, "width");
    ASSERT_TRUE(drawn.lengthPx);
    EXPECT_NEAR(*drawn.lengthPx, drawnPx, 1e-6);
    EXPECT_EQ(drawn.proposed, 0);
    EXPECT_EQ(drawn.changed, 1);
    // The CSV file keeps its columns.
    const QStringList lines = CsvLines(clip);
    ASSERT_EQ(lines.size(), 4);
    for (const QString& line : lines)
        EXPECT_EQ(line.split(QLatin1Char(',')).size(), 13) << line.toStdString();
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(PaneReviewTest, RightClickMenuSpeaksThePackAndActsOnItsPane) {
    OpenWindow();
    PlayNumbered(QStringLiteral("clip.avi"));
    auto rightClick = [&](int paneId) {
        QWidget* pane = Item(paneId);
        const QPoint local(pane->width() / 3, pane->height() / 3);
        QContextMenuEvent event(QContextMenuEvent::Mouse, local, pane->mapToGlobal(local));
        QApplication::sendEvent(pane, &event);
    };
    // The empty pane has no menu.
    rightClick(1008);
    EXPECT_EQ(m_dlg->m_review->OpenMenu(), nullptr);

    rightClick(1007);
    QMenu* menu = m_dlg->m_review->OpenMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return menu->isVisible(); }));
    QStringList texts;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) texts << a->text().section(QLatin1Char('\t'), 0, 0);
    EXPECT_EQ(texts, QStringList({Lang("IDS_MENU_PAUSE"), Lang("IDS_MENU_NEXT_FRAME"),
                                  Lang("IDS_MENU_PREVIOUS_FRAME"), Lang("IDS_MENU_SYNC_COMPARE"),
                                  Lang("IDS_MENU_CALIBRATE"), Lang("IDS_MENU_MEASURE"),
                                  Lang("IDS_MENU_COUNT"), Lang("IDS_MENU_WIDTH"),
                                  Lang("IDS_MENU_SNAPSHOT")}));
    // With one pane empty there is nothing to compare with.
    EXPECT_FALSE(menu->actions()[3]->isEnabled());
    EXPECT_FALSE(menu->actions()[1]->isEnabled());  // no step while it plays
    EXPECT_FALSE(menu->actions()[6]->isEnabled());  // nor a measurement
    menu->actions()[0]->trigger();
    menu->close();
    ASSERT_TRUE(WaitOverlay(Review(0)));
    const int frame = Review(0).CurrentFrame();

    // Opened on the paused frame's view, it offers resuming and steps.
    QWidget* view = Review(0).View();
    QContextMenuEvent overView(QContextMenuEvent::Mouse, QPoint(5, 5),
                               view->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(view, &overView);
    menu = m_dlg->m_review->OpenMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions()[0]->text().section(QLatin1Char('\t'), 0, 0), Lang("IDS_MENU_RESUME"));
    ASSERT_TRUE(menu->actions()[1]->isEnabled());
    menu->actions()[1]->trigger();
    menu->close();
    EXPECT_EQ(Review(0).CurrentFrame(), frame + 1);
    // Measuring from the menu: the tool starts on that pane.
    rightClick(1007);
    menu = m_dlg->m_review->OpenMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(menu->actions()[6]->isEnabled());
    menu->actions()[6]->trigger();
    menu->close();
    EXPECT_EQ(Review(0).Tool().Active(), CReviewTool::Kind::Measure);

    // The clip stopped while paused (its entry deleted) leaves nothing over the pane.
    m_dlg->OnDeleteAllVideos();
    EXPECT_FALSE(Review(0).IsPaused());
    EXPECT_FALSE(view->isVisible());
    EXPECT_FALSE(Review(0).HasClip());
}

TEST_F(PaneReviewTest, YRestartsBothPanesTogetherAndTheirKeysThenActOnBoth) {
    OpenWindow();
    PlayNumbered(QStringLiteral("left.avi"), 1007);
    PlayNumbered(QStringLiteral("right.avi"), 1008);
    // Without Y, Space pauses only the pane under the pointer.
    ASSERT_TRUE(WaitUntil([&] { return ShownFrame(1007) >= 4; }));
    Key(Qt::Key_Space, PointOf(1007));
    ASSERT_TRUE(WaitOverlay(Review(0)));
    EXPECT_EQ(m_dlg->m_pPlayer2->GetState(), libvlc_Playing);
    EXPECT_FALSE(Review(1).IsPaused());
    ASSERT_TRUE(WaitUntil([&] { return ShownFrame(1008) >= 6; }));
    ASSERT_GE(Review(0).CurrentFrame(), 3);

    // Y over the playing pane: both play again from their first frames.
    Key(Qt::Key_Y, PointOf(1008));
    EXPECT_TRUE(m_dlg->m_review->IsSynced());
    EXPECT_FALSE(Review(0).IsPaused());
    EXPECT_FALSE(Review(0).View()->isVisible());
    // Early frames in both; the panes were three frames or more in before. How close together
    // the two run is measured in the bench (bench_review_sync).
    bool early[2] = {false, false};
    EXPECT_TRUE(WaitUntil([&] {
        for (int i = 0; i < 2; ++i) {
            const int frame = ShownFrame(1007 + i);
            early[i] = early[i] || (frame >= 0 && frame <= 2);
        }
        return early[0] && early[1];
    })) << ShownFrame(1007)
        << " " << ShownFrame(1008);
    ASSERT_TRUE(WaitUntil([&] { return ShownFrame(1007) >= 3; }));

    // Space over one pane pauses both (each libVLC player on its own clock: how many frames
    // apart is measured in the bench).
    Key(Qt::Key_Space, PointOf(1008));
    ASSERT_TRUE(WaitOverlay(Review(0)));
    ASSERT_TRUE(WaitOverlay(Review(1)));
    const int left = Review(0).CurrentFrame();
    const int right = Review(1).CurrentFrame();
    EXPECT_EQ(m_dlg->m_pPlayer1->GetState(), libvlc_Paused);
    EXPECT_EQ(m_dlg->m_pPlayer2->GetState(), libvlc_Paused);

    // Right steps both by exactly one frame, on screen too; Left steps both back.
    Key(Qt::Key_Right, PointOf(1007));
    EXPECT_EQ(Review(0).CurrentFrame(), left + 1);
    EXPECT_EQ(Review(1).CurrentFrame(), right + 1);
    EXPECT_TRUE(
        WaitUntil([&] { return ShownFrame(1007) == left + 1 && ShownFrame(1008) == right + 1; }));
    Key(Qt::Key_Left, PointOf(1008));
    EXPECT_EQ(Review(0).CurrentFrame(), left);
    EXPECT_EQ(Review(1).CurrentFrame(), right);

    // Space again resumes both.
    Key(Qt::Key_Space, PointOf(1007));
    EXPECT_FALSE(Review(0).IsPaused());
    EXPECT_FALSE(Review(1).IsPaused());
    EXPECT_TRUE(WaitPlaying(m_dlg->m_pPlayer1));
    EXPECT_TRUE(WaitPlaying(m_dlg->m_pPlayer2));

    // Y off: each pane on its own again.
    Key(Qt::Key_Y, PointOf(1007));
    EXPECT_FALSE(m_dlg->m_review->IsSynced());
    Key(Qt::Key_Space, PointOf(1007));
    ASSERT_TRUE(WaitOverlay(Review(0)));
    EXPECT_FALSE(Review(1).IsPaused());
    const int playing = ShownFrame(1008);
    EXPECT_TRUE(WaitUntil([&] { return ShownFrame(1008) != playing; }));
}

TEST_F(PaneReviewTest, SynchronizedClipsOfDifferentLengthsStartOverTogetherAndADropRestartsBoth) {
    OpenWindow();
    // One second of clip against four, at ten frames a second.
    PlayNumbered(QStringLiteral("short.avi"), 1007, 10, 10);
    const QString longer = PlayNumbered(QStringLiteral("long.avi"), 1008, 40, 10);
    Key(Qt::Key_Y, PointOf(1008));
    ASSERT_TRUE(m_dlg->m_review->IsSynced());
    // Each time the short clip starts over the long one does too: the long clip starts over
    // twice without coming anywhere near its own end. How closely it follows is measured in
    // the bench (bench_review_sync).
    int highest = -1;
    int restarts = 0;
    int last = -1;
    EXPECT_TRUE(WaitUntil([&] {
        const int frame = ShownFrame(1008);
        highest = std::max(highest, frame);
        if (frame >= 0 && last >= 0 && frame + 3 < last) ++restarts;
        if (frame >= 0) last = frame;
        return restarts >= 2;
    }));
    EXPECT_LT(highest, 30);

    // Y off: the long clip plays to its end again.
    Key(Qt::Key_Y, PointOf(1008));
    EXPECT_TRUE(WaitUntil([&] { return ShownFrame(1008) >= 20; }));

    // A clip dropped into one pane while synchronized starts the other over with it.
    Key(Qt::Key_Y, PointOf(1008));
    ASSERT_TRUE(WaitUntil([&] { return ShownFrame(1008) <= 2; }));
    ASSERT_TRUE(WaitUntil([&] { return ShownFrame(1008) >= 8; }));
    const int64_t rightBefore = Review(1).PlayTimeMs();
    DropAt(PointOf(1007), longer);
    ASSERT_TRUE(WaitPlaying(m_dlg->m_pPlayer1));
    EXPECT_TRUE(m_dlg->m_review->IsSynced());
    // The right clip goes back to its start with the new left one, long before the left one
    // could have played to an end of its own (which would start both over too).
    int64_t left = 0, right = 0;
    EXPECT_TRUE(WaitUntil([&] {
        left = Review(0).PlayTimeMs();
        right = Review(1).PlayTimeMs();
        return right >= 0 && right + 300 < rightBefore;
    }));
    EXPECT_LT(left, 2000) << right << " " << rightBefore;
}

TEST_F(PaneReviewTest, AnUntouchedPaneAndKeysElsewhereBehaveAsBefore) {
    OpenWindow();
    PlayNumbered(QStringLiteral("left.avi"), 1007);
    PlayNumbered(QStringLiteral("right.avi"), 1008);
    std::vector<QRect> places;
    for (QWidget* w : m_dlg->GetChildWindows()) places.push_back(w->geometry());
    const QString caption = m_dlg->m_btnView.Caption();

    Key(Qt::Key_Space, PointOf(1007));
    ASSERT_TRUE(WaitOverlay(Review(0)));
    Key(Qt::Key_Right, PointOf(1007));
    const int leftFrame = Review(0).CurrentFrame();
    // The right pane plays on, with nothing over it.
    EXPECT_EQ(m_dlg->m_pPlayer2->GetState(), libvlc_Playing);
    EXPECT_EQ(Review(1).View(), nullptr);
    EXPECT_TRUE(Item(1008)->findChildren<CPausedFrameView*>().isEmpty());
    const int right = ShownFrame(1008);
    EXPECT_TRUE(WaitUntil([&] { return ShownFrame(1008) != right; }));
    std::vector<QRect> now;
    for (QWidget* w : m_dlg->GetChildWindows()) now.push_back(w->geometry());
    EXPECT_EQ(now, places);
    EXPECT_EQ(m_dlg->m_btnView.Caption(), caption);

    // Over a button a space still clicks the focused button: here the view switch.
    m_dlg->m_btnView.setFocus();
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->m_btnView.hasFocus(); }));
    Key(Qt::Key_Space, PointOf(1002));
    EXPECT_EQ(m_dlg->m_bDualView, 0);
    // The paused pane, now hidden, takes no key: the button has it and switches back.
    Key(Qt::Key_Space, PointOf(1007));
    EXPECT_EQ(m_dlg->m_bDualView, 1);
    EXPECT_TRUE(Review(0).IsPaused());
    EXPECT_EQ(Review(0).CurrentFrame(), leftFrame);
}

}  // namespace
