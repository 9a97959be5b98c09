#include "analysis/crossing_finder.h"

#include <algorithm>
#include <cmath>

#include "analysis/grey_profile.h"

namespace {

// Cells and noise make small dips; this much smoothing keeps a 3-pixel vessel.
constexpr double kSmoothSigma = 1.2;
constexpr double kMinLength = 4;
constexpr double kMaxLength = 20000;
// The steepest step on each side of a valley, in grey levels per pixel: at least this, and at
// least its depth over kSideRun pixels (a line may cross a vessel aslant, which widens its wall).
constexpr double kMinSlope = 2.0;
constexpr double kSideRun = 12.0;

bool SteepSides(const std::vector<float>& p, int left, int bottom, int right, double depth) {
    const int n = static_cast<int>(p.size());
    const double need = std::max(kMinSlope, depth / kSideRun);
    auto steepest = [&](int from, int to) {
        double best = 0;
        for (int k = std::max(0, from); k < std::min(n - 1, to); ++k)
            best = std::max(best, static_cast<double>(std::abs(p[static_cast<size_t>(k + 1)] -
                                                               p[static_cast<size_t>(k)])));
        return best;
    };
    // From a little outside the half-depth crossing to the bottom.
    return steepest(left - 3, bottom) >= need && steepest(bottom, right + 3) >= need;
}

}  // namespace

std::vector<CCrossingFinder::Crossing> CCrossingFinder::FindInProfile(const std::vector<float>& raw,
                                                                      const Options& options) {
    std::vector<Crossing> found;
    const int n = static_cast<int>(raw.size());
    if (n < 3) return found;
    const std::vector<float> p = CGreyProfile::Smooth(raw, kSmoothSigma);
    auto v = [&](int i) { return p[static_cast<size_t>(i)]; };
    std::vector<Crossing> candidates;
    for (int i = 1; i < n - 1; ++i) {
        // A flat bottom counts once, at its middle.
        if (!(v(i) < v(i - 1))) continue;
        int j = i;
        while (j + 1 < n && v(j + 1) == v(i)) ++j;
        if (j + 1 >= n || !(v(j + 1) > v(i))) continue;
        const int at = (i + j) / 2;
        // Prominence: the lower of the highest points on each side before the profile goes
        // below this valley again.
        float left = v(i);
        for (int k = i - 1; k >= 0 && v(k) >= v(i); --k) left = std::max(left, v(k));
        float right = v(i);
        for (int k = j + 1; k < n && v(k) >= v(i); ++k) right = std::max(right, v(k));
        const double depth = std::min(left, right) - v(i);
        if (depth < options.minDepth) continue;
        // Width at half depth, with the crossings interpolated between samples.
        const float level = v(i) + static_cast<float>(depth / 2);
        int l = i;
        while (l > 0 && v(l - 1) < level) --l;
        int r = j;
        while (r < n - 1 && v(r + 1) < level) ++r;
        double lo = l, hi = r;
        if (l > 0) lo = l - (level - v(l)) / (v(l - 1) - v(l));
        if (r < n - 1) hi = r + (level - v(r)) / (v(r + 1) - v(r));
        // Blotches of the ground are valleys too, but with gentle sides; a vessel's wall is sharp.
        if (!SteepSides(p, l, at, r, depth)) {
            i = j;
            continue;
        }
        Crossing c;
        c.along = (lo + hi) / 2;
        c.depth = depth;
        c.widthPx = hi - lo;
        i = j;
        if (c.widthPx < options.minWidth) continue;
        candidates.push_back(c);
    }
    double deepest = 0;
    for (const Crossing& c : candidates) deepest = std::max(deepest, c.depth);
    std::sort(candidates.begin(), candidates.end(),
              [](const Crossing& a, const Crossing& b) { return a.depth > b.depth; });
    for (const Crossing& c : candidates) {
        if (c.depth < options.minRelativeDepth * deepest) continue;
        const bool crowded = std::any_of(found.begin(), found.end(), [&](const Crossing& f) {
            return std::abs(f.along - c.along) < options.minSpacing;
        });
        if (!crowded) found.push_back(c);
    }
    std::sort(found.begin(), found.end(),
              [](const Crossing& a, const Crossing& b) { return a.along < b.along; });
    return found;
}

std::vector<CCrossingFinder::Crossing> CCrossingFinder::Find(const cv::Mat& frame, cv::Point2d a,
                                                             cv::Point2d b,
                                                             const Options& options) {
    const cv::Mat channel = CGreyProfile::Channel(frame);
    const double length = cv::norm(b - a);
    if (channel.empty() || !std::isfinite(length) || length < kMinLength || length > kMaxLength)
        return {};
    const cv::Point2d dir = (b - a) / length;
    const int count = static_cast<int>(std::floor(length)) + 1;
    std::vector<Crossing> found =
        FindInProfile(CGreyProfile::Along(channel, a, dir, 1.0, count, options.halfBand), options);
    for (Crossing& c : found) c.at = a + dir * c.along;
    return found;
}
