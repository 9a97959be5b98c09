#include "emulated/emulated_capillary_scene.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace platform::v4l2 {
namespace {

struct LoopSpec {
    double cx = 0, apexY = 0;
    double spacing = 0;  // centre line to centre line of the two limbs
    double arterialW = 0, venousW = 0;
    double bottomY = 0;
    double absorption = 1;  // how dark its blood is, around 1
};

// Limbs meander together, so that neighbours keep their distance.
struct Meander {
    double amplitude = 0, frequency = 0, phase = 0;
    double At(double y, double apexY) const {
        const double ramp = std::clamp((y - apexY) / 60.0, 0.0, 1.0);
        return amplitude * ramp * std::sin(frequency * y + phase);
    }
};

struct PathPoint {
    cv::Point2d at;
    double half;  // half width
};

// Centre line from the bottom of the arterial limb over the apex and down the venous limb.
std::vector<PathPoint> PathOf(const LoopSpec& s, const Meander& m,
                              CEmulatedCapillaryScene::Loop* loop) {
    std::vector<PathPoint> path;
    const double rho = s.spacing / 2;
    const double cy = s.apexY + rho;  // centre of the apex arc
    for (double y = s.bottomY; y > cy; y -= 1.0)
        path.push_back({{s.cx - rho + m.At(y, s.apexY), y}, s.arterialW / 2});
    const int steps = std::max(8, static_cast<int>(std::ceil(CV_PI * rho)));
    for (int a = 0; a <= steps; ++a) {
        const double t = static_cast<double>(a) / steps;
        const double angle = CV_PI * (1 - t);
        const double half = (s.arterialW + (s.venousW - s.arterialW) * t) / 2;
        path.push_back({{s.cx + rho * std::cos(angle), cy - rho * std::sin(angle)}, half});
    }
    for (double y = cy + 1.0; y <= s.bottomY; y += 1.0)
        path.push_back({{s.cx + rho + m.At(y, s.apexY), y}, s.venousW / 2});
    loop->apex = {s.cx, s.apexY};
    loop->apexWidthPx = (s.arterialW + s.venousW) / 2;
    loop->arterial.widthPx = s.arterialW;
    loop->venous.widthPx = s.venousW;
    for (double y = cy; y <= s.bottomY; y += 1.0) {
        loop->arterial.centre.emplace_back(s.cx - rho + m.At(y, s.apexY), y);
        loop->venous.centre.emplace_back(s.cx + rho + m.At(y, s.apexY), y);
    }
    loop->left = s.cx - rho - s.arterialW / 2;
    loop->right = s.cx + rho + s.venousW / 2;
    return path;
}

// How much of each pixel the loop's blood covers: from the signed distance to the tube's wall,
// a pixel half inside is half covered. Kept as the largest over loops.
void Cover(const std::vector<PathPoint>& path, cv::Mat& coverage) {
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        const PathPoint& a = path[i];
        const PathPoint& b = path[i + 1];
        const double reach = std::max(a.half, b.half) + 1.0;
        const int x0 = std::max(0, static_cast<int>(std::floor(std::min(a.at.x, b.at.x) - reach)));
        const int x1 = std::min(coverage.cols - 1,
                                static_cast<int>(std::ceil(std::max(a.at.x, b.at.x) + reach)));
        const int y0 = std::max(0, static_cast<int>(std::floor(std::min(a.at.y, b.at.y) - reach)));
        const int y1 = std::min(coverage.rows - 1,
                                static_cast<int>(std::ceil(std::max(a.at.y, b.at.y) + reach)));
        const cv::Point2d ab = b.at - a.at;
        const double ab2 = std::max(1e-12, ab.dot(ab));
        for (int y = y0; y <= y1; ++y) {
            float* row = coverage.ptr<float>(y);
            for (int x = x0; x <= x1; ++x) {
                const cv::Point2d q(x, y);
                const double t = std::clamp((q - a.at).dot(ab) / ab2, 0.0, 1.0);
                const double d = cv::norm(q - (a.at + ab * t));
                const double half = a.half + (b.half - a.half) * t;
                const float c = static_cast<float>(std::clamp(half - d + 0.5, 0.0, 1.0));
                row[x] = std::max(row[x], c);
            }
        }
    }
}

cv::Mat Ground(int width, int height, cv::RNG& rng) {
    cv::Mat coarse(std::max(2, height / 40), std::max(2, width / 40), CV_32FC3);
    for (int y = 0; y < coarse.rows; ++y)
        for (int x = 0; x < coarse.cols; ++x)
            coarse.at<cv::Vec3f>(y, x) = cv::Vec3f(
                rng.uniform(120.f, 145.f), rng.uniform(125.f, 150.f), rng.uniform(210.f, 238.f));
    cv::Mat ground;
    cv::resize(coarse, ground, cv::Size(width, height), 0, 0, cv::INTER_CUBIC);
    return ground;
}

CEmulatedCapillaryScene::Scene Paint(const CEmulatedCapillaryScene::Options& o,
                                     const std::vector<LoopSpec>& plans, const Meander& meander,
                                     cv::RNG& rng) {
    CEmulatedCapillaryScene::Scene scene;
    cv::Mat img = Ground(o.width, o.height, rng);
    // Darkness, per loop, so that loops of unequal contrast share a line.
    cv::Mat dark(img.size(), CV_32F, cv::Scalar(0));
    for (const LoopSpec& s : plans) {
        CEmulatedCapillaryScene::Loop loop;
        cv::Mat coverage(img.size(), CV_32F, cv::Scalar(0));
        Cover(PathOf(s, meander, &loop), coverage);
        dark = cv::max(dark, coverage * s.absorption);
        scene.loops.push_back(std::move(loop));
    }
    // Red cells make the blood grainy.
    cv::Mat grain(img.size(), CV_32F);
    rng.fill(grain, cv::RNG::NORMAL, 0, 1);
    cv::GaussianBlur(grain, grain, cv::Size(0, 0), 1.5);
    cv::normalize(grain, grain, -1, 1, cv::NORM_MINMAX);
    const cv::Vec3f absorb(0.55f, 0.65f, 0.32f);  // blood takes green most, red least
    for (int y = 0; y < img.rows; ++y) {
        cv::Vec3f* row = img.ptr<cv::Vec3f>(y);
        const float* d = dark.ptr<float>(y);
        const float* g = grain.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x) {
            const float k = d[x] * (1 + 0.06f * g[x]);
            for (int c = 0; c < 3; ++c) row[x][c] *= 1 - std::min(0.95f, absorb[c] * k);
        }
    }
    if (o.unevenLight > 0) {
        // Light from one side, falling off towards the far corner.
        const double angle = rng.uniform(0.0, 2 * CV_PI);
        const cv::Point2d towards(std::cos(angle), std::sin(angle));
        const double diag = std::hypot(o.width, o.height) / 2;
        for (int y = 0; y < img.rows; ++y) {
            cv::Vec3f* row = img.ptr<cv::Vec3f>(y);
            for (int x = 0; x < img.cols; ++x) {
                const double along =
                    ((x - o.width / 2.0) * towards.x + (y - o.height / 2.0) * towards.y) / diag;
                const float light = static_cast<float>(1 - o.unevenLight * 0.25 * (1 + along));
                row[x] *= light;
            }
        }
    }
    if (o.blurSigma > 0) cv::GaussianBlur(img, img, cv::Size(0, 0), o.blurSigma);
    if (o.noiseSigma > 0) {
        cv::Mat noise(img.size(), CV_32FC3);
        rng.fill(noise, cv::RNG::NORMAL, 0, o.noiseSigma);
        img += noise;
    }
    img.convertTo(scene.picture, CV_8UC3);
    if (o.jpegQuality > 0) {
        std::vector<unsigned char> jpeg;
        cv::imencode(".jpg", scene.picture, jpeg, {cv::IMWRITE_JPEG_QUALITY, o.jpegQuality});
        scene.picture = cv::imdecode(jpeg, cv::IMREAD_COLOR);
    }
    return scene;
}

double LogUniform(cv::RNG& rng, double lo, double hi) {
    return lo >= hi ? lo : std::exp(rng.uniform(std::log(lo), std::log(hi)));
}

}  // namespace

CEmulatedCapillaryScene::Options CEmulatedCapillaryScene::Options::Hard(uint64_t seed) {
    cv::RNG rng(seed * 7919 + 13);
    Options o;
    o.seed = seed;
    o.noiseSigma = rng.uniform(2.0, 9.0);
    o.blurSigma = rng.uniform(0.5, 1.3);
    o.unevenLight = rng.uniform(0.0, 1.0);
    o.jpegQuality = 75;
    o.minWidthPx = 4;
    o.maxWidthPx = 40;
    o.minGapPx = 5;
    o.maxGapPx = 30;
    o.closeShare = 0.3;
    return o;
}

CEmulatedCapillaryScene::Scene CEmulatedCapillaryScene::Render(const Options& o) {
    cv::RNG rng(o.seed);
    Meander meander{rng.uniform(0.0, 4.0), rng.uniform(0.02, 0.05), rng.uniform(0.0, 2 * CV_PI)};
    const double rowY = o.height * rng.uniform(0.15, 0.3);
    const double slope = rng.uniform(-0.05, 0.05);
    std::vector<LoopSpec> plans;
    double cursor = rng.uniform(8.0, 30.0);
    for (;;) {
        LoopSpec s;
        const double w = LogUniform(rng, o.minWidthPx, o.maxWidthPx);
        s.arterialW = std::clamp(w * rng.uniform(0.85, 1.0), o.minWidthPx, o.maxWidthPx);
        s.venousW = std::clamp(w * rng.uniform(1.0, 1.15), o.minWidthPx, o.maxWidthPx);
        const double inner = rng.uniform(std::max(3.0, 0.4 * w), 1.2 * w + 6);
        s.spacing = (s.arterialW + s.venousW) / 2 + inner;
        s.cx = cursor + s.arterialW / 2 + s.spacing / 2;
        const double right = s.cx + s.spacing / 2 + s.venousW / 2;
        if (right > o.width - 8) break;
        // Apices lie on the row within a pixel.
        s.apexY = rowY + slope * (s.cx - o.width / 2.0) + rng.uniform(-0.75, 0.75);
        s.bottomY = std::min(o.height + 5.0, s.apexY + rng.uniform(0.5, 0.9) * o.height);
        s.absorption = rng.uniform(0.8, 1.1);
        plans.push_back(s);
        const bool close = rng.uniform(0.0, 1.0) < o.closeShare;
        cursor = right + (close ? rng.uniform(1.0, 4.0) : rng.uniform(o.minGapPx, o.maxGapPx));
    }
    Scene scene = Paint(o, plans, meander, rng);
    scene.rowFrom = {0, rowY + slope * (0 - o.width / 2.0)};
    scene.rowTo = {o.width - 1.0, rowY + slope * (o.width - 1 - o.width / 2.0)};
    return scene;
}

CEmulatedCapillaryScene::Scene CEmulatedCapillaryScene::RenderLoops(
    const Options& o, const std::vector<double>& apexX, double widthPx, double innerGapPx,
    double rowY) {
    cv::RNG rng(o.seed);
    std::vector<LoopSpec> plans;
    for (const double x : apexX) {
        LoopSpec s;
        s.cx = x;
        s.apexY = rowY;
        s.arterialW = s.venousW = widthPx;
        s.spacing = widthPx + innerGapPx;
        s.bottomY = o.height + 5.0;
        plans.push_back(s);
    }
    Scene scene = Paint(o, plans, Meander{}, rng);
    scene.rowFrom = {0, rowY};
    scene.rowTo = {o.width - 1.0, rowY};
    return scene;
}

}  // namespace platform::v4l2
