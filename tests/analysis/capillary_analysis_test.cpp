// The crossing finder and the width probe on emulated pictures whose loops are known: a clean
// one, a hard one, two loops a couple of pixels apart, and input that is no picture at all.
#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "analysis/crossing_finder.h"
#include "analysis/grey_profile.h"
#include "analysis/width_probe.h"
#include "emulated/emulated_capillary_scene.h"
#include "emulated/emulated_frame_source.h"

namespace {

using Scene = platform::v4l2::CEmulatedCapillaryScene;

constexpr double kRowY = 120;

// The width at a point a hundred rows below the apex, clicked a little off the centre line.
void ExpectWidths(const Scene::Scene& scene, double tolerance) {
    for (const Scene::Loop& loop : scene.loops) {
        for (const Scene::Limb* limb : {&loop.arterial, &loop.venous}) {
            const cv::Point2d centre = limb->centre[100];
            const cv::Point2d click = centre + cv::Point2d(limb->widthPx * 0.2, 0);
            const std::optional<CWidthProbe::Result> r = CWidthProbe::Measure(scene.picture, click);
            ASSERT_TRUE(r) << "limb at " << centre;
            EXPECT_NEAR(r->widthPx, limb->widthPx, tolerance) << "limb at " << centre;
            // The edges lie either side of the centre line, across the limb (which runs down).
            EXPECT_NEAR(std::min(r->edge1.x, r->edge2.x), centre.x - limb->widthPx / 2, 1.0);
            EXPECT_NEAR(std::max(r->edge1.x, r->edge2.x), centre.x + limb->widthPx / 2, 1.0);
            EXPECT_NEAR(r->edge1.y, centre.y, 2.0);
            EXPECT_NEAR(r->edge2.y, centre.y, 2.0);
        }
    }
}

// The crossings of the row between x0 and x1 sit on the apices there, one each.
void ExpectCount(const Scene::Scene& scene, double x0, double x1) {
    const std::vector<CCrossingFinder::Crossing> found =
        CCrossingFinder::Find(scene.picture, {x0, kRowY}, {x1, kRowY});
    std::vector<double> apices;
    for (const Scene::Loop& loop : scene.loops)
        if (loop.apex.x > x0 && loop.apex.x < x1) apices.push_back(loop.apex.x);
    ASSERT_EQ(found.size(), apices.size());
    for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_NEAR(found[i].at.x, apices[i], 3.0);
        EXPECT_NEAR(found[i].at.y, kRowY, 1e-9);
    }
}

}  // namespace

TEST(CapillaryAnalysis, CleanPictureCountsEveryApexAndMeasuresEveryLimbToATenthOfAPixel) {
    Scene::Options o;
    const Scene::Scene scene = Scene::RenderLoops(o, {80, 190, 300, 410, 520}, 10, 8, kRowY);
    ExpectCount(scene, 20, 620);
    // A line over three of them only.
    ExpectCount(scene, 130, 460);
    ExpectWidths(scene, 0.15);
}

TEST(CapillaryAnalysis, NoisyBlurredUnevenJpegPictureStillCountsAndMeasures) {
    Scene::Options o;
    o.noiseSigma = 8;
    o.blurSigma = 1.2;
    o.unevenLight = 1;
    o.jpegQuality = 75;
    for (const double width : {6.0, 22.0}) {
        o.seed = static_cast<uint64_t>(width);
        const double pitch = 3 * width + 30;
        std::vector<double> apexX;
        for (double x = 20 + width * 1.5; x + width * 1.5 < 620; x += pitch) apexX.push_back(x);
        const Scene::Scene scene = Scene::RenderLoops(o, apexX, width, width, kRowY);
        ExpectCount(scene, 5, 635);
        ExpectWidths(scene, 0.6);
    }
}

TEST(CapillaryAnalysis, TwoLoopsTwoPixelsApartCountAsTwoAndKeepTheirWidths) {
    // Loops 8 + 6 + 8 pixels across, apices 24 apart: two pixels between them.
    Scene::Options o;
    o.noiseSigma = 4;
    o.blurSigma = 0.8;
    const Scene::Scene scene = Scene::RenderLoops(o, {300, 324}, 8, 6, kRowY);
    EXPECT_NEAR(scene.loops[1].left - scene.loops[0].right, 2.0, 1e-9);
    ExpectCount(scene, 250, 380);
    ExpectWidths(scene, 0.6);
}

TEST(CapillaryAnalysis, ALineDrawnJustOffTheApicesStillCountsEachLoopOnce) {
    // Below the apices the line crosses both limbs of each loop, parted by ground; above them
    // it only grazes the arcs. Each loop is one capillary either way, and the marks lie on it.
    Scene::Options o;
    o.noiseSigma = 5;
    o.blurSigma = 0.8;
    o.jpegQuality = 75;
    const Scene::Scene scene = Scene::RenderLoops(o, {100, 220, 340, 460, 580}, 10, 16, kRowY);
    for (const double off : {-3.0, 3.5, 4.0}) {
        const std::vector<CCrossingFinder::Crossing> found =
            CCrossingFinder::Find(scene.picture, {20, kRowY + off}, {630, kRowY + off});
        ASSERT_EQ(found.size(), scene.loops.size()) << "line " << off << " px off the apices";
        for (size_t i = 0; i < found.size(); ++i)
            EXPECT_NEAR(found[i].at.x, scene.loops[i].apex.x, 3.0) << "line " << off;
    }
    // Two neighbours' tops two pixels apart are no loop's limbs: still two.
    const Scene::Scene close = Scene::RenderLoops(o, {300, 338}, 10, 16, kRowY);
    EXPECT_NEAR(close.loops[1].left - close.loops[0].right, 2.0, 1e-9);
    EXPECT_EQ(CCrossingFinder::Find(close.picture, {240, kRowY}, {400, kRowY}).size(), 2u);
}

TEST(CapillaryAnalysis, NothingIsFoundOnPlainGroundOrInInputThatIsNoPicture) {
    Scene::Options o;
    o.noiseSigma = 6;
    const Scene::Scene empty = Scene::RenderLoops(o, {}, 10, 8, kRowY);
    EXPECT_TRUE(CCrossingFinder::Find(empty.picture, {10, kRowY}, {630, kRowY}).empty());
    EXPECT_FALSE(CWidthProbe::Measure(empty.picture, {320, 240}));

    const Scene::Scene scene = Scene::RenderLoops(Scene::Options(), {300}, 10, 8, kRowY);
    EXPECT_TRUE(CCrossingFinder::Find(cv::Mat(), {0, 0}, {100, 0}).empty());
    EXPECT_TRUE(CCrossingFinder::Find(scene.picture, {50, 50}, {50, 50}).empty());
    EXPECT_TRUE(CCrossingFinder::Find(scene.picture, {NAN, 50}, {50, 50}).empty());
    EXPECT_TRUE(CCrossingFinder::Find(scene.picture, {0, kRowY}, {1e12, kRowY}).empty());
    cv::Mat wrongType;
    scene.picture.convertTo(wrongType, CV_16UC3);
    EXPECT_TRUE(CCrossingFinder::Find(wrongType, {200, kRowY}, {400, kRowY}).empty());
    EXPECT_FALSE(CWidthProbe::Measure(wrongType, scene.loops[0].arterial.centre[100]));
    EXPECT_FALSE(CWidthProbe::Measure(cv::Mat(), {10, 10}));
    EXPECT_FALSE(CWidthProbe::Measure(scene.picture, {-5, 10}));
    EXPECT_FALSE(CWidthProbe::Measure(scene.picture, {10, 1e9}));
    EXPECT_FALSE(CWidthProbe::Measure(scene.picture, {NAN, 10}));
    // A line running off the picture reads its edge and still finds the loop.
    EXPECT_EQ(CCrossingFinder::Find(scene.picture, {-300, kRowY}, {900, kRowY}).size(), 1u);
    // A grey picture reads as it is; the same loop is found.
    cv::Mat grey;
    cv::cvtColor(scene.picture, grey, cv::COLOR_BGR2GRAY);
    EXPECT_EQ(CCrossingFinder::Find(grey, {200, kRowY}, {400, kRowY}).size(), 1u);
    const std::optional<CWidthProbe::Result> r =
        CWidthProbe::Measure(grey, scene.loops[0].venous.centre[100]);
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->widthPx, 10, 0.2);
}

TEST(CapillaryScene, TheSameSeedDrawsTheSamePictureAndTheTruthMatchesIt) {
    const Scene::Scene a = Scene::Render(Scene::Options::Hard(42));
    const Scene::Scene b = Scene::Render(Scene::Options::Hard(42));
    ASSERT_FALSE(a.loops.empty());
    EXPECT_EQ(cv::norm(a.picture, b.picture, cv::NORM_INF), 0.0);
    // Loops are left to right, apart, within the picture, their limbs as wide as told.
    for (size_t i = 0; i < a.loops.size(); ++i) {
        const Scene::Loop& loop = a.loops[i];
        EXPECT_GE(loop.arterial.widthPx, 4.0);
        EXPECT_LE(loop.venous.widthPx, 40.0);
        if (i > 0) {
            EXPECT_GT(loop.left, a.loops[i - 1].right);
        }
        // The apex is dark in the green channel, the ground beside the row is not.
        const cv::Mat green = CGreyProfile::Channel(a.picture);
        const float apex = CGreyProfile::At(green, loop.apex);
        const float above =
            CGreyProfile::At(green, loop.apex - cv::Point2d(0, loop.apexWidthPx + 6));
        EXPECT_LT(apex + 20, above) << "apex at " << loop.apex;
    }
}

TEST(CapillaryAnalysis, OnTheDemoCamerasPictureEachLimbCrossedMeasuresAsItsDrawnOutline) {
    // The emulated camera draws its loops as an 11 px dark outline with a lighter 5 px core,
    // softened by a 3x3 blur and JPEG; six loops cross a line low in the picture, two limbs
    // each. The lighter core must not halve the width.
    const std::vector<unsigned char> jpeg = platform::v4l2::CEmulatedFrameSource::Sample(
        platform::v4l2::EmulatedSample::Good, 3, 640, 480);
    const cv::Mat picture = cv::imdecode(jpeg, cv::IMREAD_COLOR);
    const std::vector<CCrossingFinder::Crossing> limbs =
        CCrossingFinder::Find(picture, {20, 336}, {620, 336});
    ASSERT_EQ(limbs.size(), 12u);
    for (size_t i = 0; i < limbs.size(); ++i) {
        const std::optional<CWidthProbe::Result> r = CWidthProbe::Measure(picture, limbs[i].at);
        ASSERT_TRUE(r) << "limb at " << limbs[i].at;
        EXPECT_GE(r->widthPx, 11.0) << "limb at " << limbs[i].at;
        EXPECT_LE(r->widthPx, 15.0) << "limb at " << limbs[i].at;
        // Between the two limbs of a loop lies ground: a click there measures nothing.
        if (i % 2 == 0) {
            const cv::Point2d between = (limbs[i].at + limbs[i + 1].at) / 2;
            EXPECT_FALSE(CWidthProbe::Measure(picture, between)) << "ground at " << between;
        }
    }
}
