// Runs the assisted count and the width probe on hard emulated pictures whose loops are known,
// with count lines and clicks placed from that truth, and prints how close they come and how long
// each call takes on the calling thread, by the wall clock and in the thread's own CPU time (on a
// loaded machine the wall clock also counts the time other processes had the core). Asserts
// nothing.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "analysis/crossing_finder.h"
#include "analysis/grey_profile.h"
#include "analysis/width_probe.h"
#include "emulated/emulated_capillary_scene.h"

namespace {

using Scene = platform::v4l2::CEmulatedCapillaryScene;
using Clock = std::chrono::steady_clock;

constexpr double kUmPerPx = 2.5;
constexpr double kGiantUm = 50;
constexpr int kLinesPerPicture = 3;
constexpr int kClicksPerLimb = 2;

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Wall and CPU time of each call timed.
struct Timing {
    std::vector<double> wallMs, cpuMs;
    template <typename F>
    auto operator()(F&& f) {
        const Clock::time_point wall = Clock::now();
        const double cpu = ThreadCpuMs();
        auto result = f();
        cpuMs.push_back(ThreadCpuMs() - cpu);
        wallMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - wall).count());
        return result;
    }
};

double Percentile(std::vector<double> v, double share) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t at = std::min(v.size() - 1, static_cast<size_t>(std::ceil(share * v.size())) - 1);
    return v[at];
}

double Mean(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v) sum += x;
    return v.empty() ? 0 : sum / v.size();
}

struct Band {
    double lo, hi;
    std::vector<double> errors;  // signed, pixels
    int failed = 0;
};

// A point of the row's line at x.
cv::Point2d OnRow(const Scene::Scene& s, double x) {
    const double t = (x - s.rowFrom.x) / (s.rowTo.x - s.rowFrom.x);
    return s.rowFrom + (s.rowTo - s.rowFrom) * t;
}

}  // namespace

int main(int argc, char** argv) {
    const int pictures = argc > 1 ? std::max(1, std::atoi(argv[1])) : 240;
    int lines = 0, exact = 0, over = 0, under = 0;
    // The same lines drawn carelessly, 2 to 4 px off the apices' line: how much the count
    // depends on where the clinician draws.
    // Above (0) and below (1) the apices: lines, exact, over, under.
    int offLines[2] = {0, 0}, offExact[2] = {0, 0}, offOver[2] = {0, 0}, offUnder[2] = {0, 0};
    std::vector<double> densityErrors;
    Timing frameTime, lineTime, clickTime;
    std::vector<Band> bands = {{4, 6, {}, 0}, {6, 10, {}, 0}, {10, 20, {}, 0}, {20, 40.01, {}, 0}};
    int giantTp = 0, giantFn = 0, giantTn = 0, giantFp = 0;
    for (int i = 0; i < pictures; ++i) {
        const Scene::Options options = Scene::Options::Hard(static_cast<uint64_t>(i + 1));
        const Scene::Scene scene = Scene::Render(options);
        const int n = static_cast<int>(scene.loops.size());
        // The review tools read the frame's channel once, when the frame is shown.
        const cv::Mat channel = frameTime([&] { return CGreyProfile::Channel(scene.picture); });
        cv::RNG rng(static_cast<uint64_t>(5000 + i));
        // Lines along the row of apices, from a gap between loops to another, at least 6 px
        // wide, so that no loop is cut by a line's end.
        std::vector<double> gaps;  // x in the middle of each usable gap, with loops left of it
        std::vector<int> leftOf;
        auto addGap = [&](double a, double b, int loopsLeft) {
            if (b - a >= 6) {
                gaps.push_back((a + b) / 2);
                leftOf.push_back(loopsLeft);
            }
        };
        addGap(1, n ? scene.loops[0].left : options.width - 2.0, 0);
        for (int k = 0; k + 1 < n; ++k)
            addGap(scene.loops[k].right, scene.loops[k + 1].left, k + 1);
        if (n) addGap(scene.loops[n - 1].right, options.width - 2.0, n);
        for (int l = 0; l < kLinesPerPicture && gaps.size() >= 2; ++l) {
            int a = rng.uniform(0, static_cast<int>(gaps.size()));
            int b = rng.uniform(0, static_cast<int>(gaps.size()));
            if (a == b) continue;
            if (a > b) std::swap(a, b);
            const double offset = rng.uniform(-0.75, 0.75);
            const cv::Point2d from = OnRow(scene, gaps[a]) + cv::Point2d(0, offset);
            const cv::Point2d to = OnRow(scene, gaps[b]) + cv::Point2d(0, offset);
            const int truth = leftOf[b] - leftOf[a];
            const size_t found =
                lineTime([&] { return CCrossingFinder::Find(channel, from, to).size(); });
            ++lines;
            exact += static_cast<int>(found) == truth;
            over += static_cast<int>(found) > truth;
            under += static_cast<int>(found) < truth;
            const bool below = rng.uniform(0, 2) != 0;
            const cv::Point2d off(0, rng.uniform(2.0, 4.0) * (below ? 1 : -1));
            const int offFound =
                static_cast<int>(CCrossingFinder::Find(channel, from + off, to + off).size());
            ++offLines[below];
            offExact[below] += offFound == truth;
            offOver[below] += offFound > truth;
            offUnder[below] += offFound < truth;
            const double mm = cv::norm(to - from) * kUmPerPx / 1000;
            densityErrors.push_back(std::abs(static_cast<double>(found) - truth) / mm);
        }
        // Clicks on the limbs, away from the apex, within a quarter width of the centre line.
        for (const Scene::Loop& loop : scene.loops) {
            for (const Scene::Limb* limb : {&loop.arterial, &loop.venous}) {
                for (int c = 0; c < kClicksPerLimb; ++c) {
                    const int first = static_cast<int>(std::max(20.0, limb->widthPx * 1.5));
                    int last = static_cast<int>(limb->centre.size()) - 1;
                    while (last > first && limb->centre[static_cast<size_t>(last)].y >
                                               options.height - 10 - limb->widthPx)
                        --last;
                    if (last <= first) continue;
                    const cv::Point2d centre =
                        limb->centre[static_cast<size_t>(rng.uniform(first, last))];
                    const cv::Point2d click =
                        centre + cv::Point2d(rng.uniform(-0.25, 0.25) * limb->widthPx, 0);
                    const std::optional<CWidthProbe::Result> r =
                        clickTime([&] { return CWidthProbe::MeasureChannel(channel, click); });
                    const bool giant = limb->widthPx * kUmPerPx > kGiantUm;
                    for (Band& band : bands) {
                        if (limb->widthPx < band.lo || limb->widthPx >= band.hi) continue;
                        if (r)
                            band.errors.push_back(r->widthPx - limb->widthPx);
                        else
                            ++band.failed;
                    }
                    // No answer counts as a wrong one either way.
                    const bool said = r ? r->widthPx * kUmPerPx > kGiantUm : !giant;
                    if (giant)
                        (said ? giantTp : giantFn)++;
                    else
                        (said ? giantFp : giantTn)++;
                }
            }
        }
    }
    std::printf(
        "assisted count and width on %d hard pictures (noise, blur, uneven light, JPEG 75,"
        " limbs 4-40 px, 30 %% of neighbours 1-4 px apart), %.1f um/px\n\n",
        pictures, kUmPerPx);
    std::printf("count: %d lines, exact %.1f %% (goal >= 90 %%), %d over, %d under\n", lines,
                100.0 * exact / std::max(1, lines), over, under);
    std::printf("count: mean abs density error %.3f /mm (goal <= 0.3)\n", Mean(densityErrors));
    for (const bool below : {false, true})
        std::printf(
            "count, lines 2-4 px %s the apices: %d lines, exact %.1f %%, %d over, %d under\n",
            below ? "below" : "above", offLines[below],
            100.0 * offExact[below] / std::max(1, offLines[below]), offOver[below],
            offUnder[below]);
    std::printf("count, lines 2-4 px off the apices: exact %.1f %%\n\n",
                100.0 * (offExact[0] + offExact[1]) / std::max(1, offLines[0] + offLines[1]));
    std::printf(
        "width band (px) | clicks | failed | mean abs err px | p95 abs err px | mean signed\n");
    for (const Band& band : bands) {
        std::vector<double> abs;
        for (double e : band.errors) abs.push_back(std::abs(e));
        std::printf("%5.0f - %-5.0f    | %6zu | %6d | %15.3f | %14.3f | %+.3f\n", band.lo,
                    std::floor(band.hi), band.errors.size() + band.failed, band.failed, Mean(abs),
                    Percentile(abs, 0.95), Mean(band.errors));
    }
    std::vector<double> six;
    int sixFailed = 0;
    for (const Band& band : bands)
        if (band.lo >= 6) {
            for (double e : band.errors) six.push_back(std::abs(e));
            sixFailed += band.failed;
        }
    std::printf("width >= 6 px: mean %.3f px (goal <= 0.5), p95 %.3f px (goal <= 1), %d failed\n\n",
                Mean(six), Percentile(six, 0.95), sixFailed);
    const double sens = 100.0 * giantTp / std::max(1, giantTp + giantFn);
    const double specificity = 100.0 * giantTn / std::max(1, giantTn + giantFp);
    std::printf(
        "giant (> %.0f um): sensitivity %.1f %% (%d/%d), specificity %.1f %% (%d/%d) "
        "(goal >= 95 %% each)\n\n",
        kGiantUm, sens, giantTp, giantTp + giantFn, specificity, giantTn, giantTn + giantFp);
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) < 3) load[0] = load[1] = load[2] = -1;
    std::printf("load average %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    auto print = [](const char* what, const Timing& t, const char* goal) {
        for (const bool cpu : {false, true}) {
            const std::vector<double>& v = cpu ? t.cpuMs : t.wallMs;
            std::printf("time per %-5s %s: mean %.2f ms, p95 %.2f ms, max %.2f ms%s\n", what,
                        cpu ? "(thread CPU)" : "(wall)      ", Mean(v), Percentile(v, 0.95),
                        Percentile(v, 1.0), goal);
        }
    };
    print("frame", frameTime, " (once per frame shown)");
    print("line", lineTime, " (goal <= 30)");
    print("click", clickTime, " (goal <= 30)");
    return 0;
}
