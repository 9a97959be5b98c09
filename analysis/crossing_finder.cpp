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
// A valley less than this share of the depth of a deeper one whose half-depth span reaches it is
// a notch in the deeper one's wall (a loop's limb parting from its arc).
constexpr double kNotchShare = 0.5;

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

// A loop's two limbs are about as wide as each other, and lie at most this many of their widths
// apart, plus the slack, where a line crosses both near the apex.
constexpr double kPairSpan = 2.5;
constexpr double kPairSlack = 8.0;
constexpr double kPairWidthRatio = 2.0;
// Pixels of ground between the midpoint of the two and either's half-depth edge.
constexpr double kClear = 0.5;
// The arc is the same vessel: nearly as dark as the limbs, and no thicker.
constexpr double kArcDepth = 0.7;
constexpr double kArcThickness = 1.0;

// The loop's arc over the ground between two crossings: the ground between them is as light as
// the lightest there (no vessel's wall), and a dark valley crosses the perpendicular from their
// midpoint, on either side of the line, within reach of the apex. Two neighbouring loops' tops
// fail it: their midpoint lies in a wall, or the perpendicular runs down the gap between them.
bool ArcBetween(const cv::Mat& channel, const std::vector<float>& smooth, cv::Point2d a,
                cv::Point2d dir, const CCrossingFinder::Crossing& c1,
                const CCrossingFinder::Crossing& c2, const CCrossingFinder::Options& options) {
    const double gap = c2.along - c1.along;
    const double narrow = std::min(c1.widthPx, c2.widthPx);
    const double wide = std::max(c1.widthPx, c2.widthPx);
    if (gap > kPairSpan * narrow + kPairSlack || wide > kPairWidthRatio * narrow) return false;
    // Ground between the two, with their midpoint in it, clear of both walls.
    const double halfway = (c1.along + c2.along) / 2;
    if (halfway - (c1.along + c1.widthPx / 2) < kClear ||
        (c2.along - c2.widthPx / 2) - halfway < kClear)
        return false;
    const int n = static_cast<int>(smooth.size());
    const int from = std::clamp(static_cast<int>(std::ceil(c1.along)), 0, n - 1);
    const int to = std::clamp(static_cast<int>(std::floor(c2.along)), 0, n - 1);
    const int middle = std::clamp(static_cast<int>(std::lround(halfway)), 0, n - 1);
    float saddle = smooth[static_cast<size_t>(middle)];
    for (int k = from; k <= to; ++k) saddle = std::max(saddle, smooth[static_cast<size_t>(k)]);
    if (smooth[static_cast<size_t>(middle)] < saddle - 0.25 * std::min(c1.depth, c2.depth))
        return false;
    const cv::Point2d mid = a + dir * halfway;
    const cv::Point2d across(-dir.y, dir.x);
    // Past the arc's far wall, so that the ground beyond it shows.
    const int count = static_cast<int>(std::ceil(gap / 2 + wide + 4)) + 1;
    // Averaged along the line, within the ground between the limbs.
    const int halfBand = std::clamp(static_cast<int>((gap - wide) / 4), 0, 3);
    CCrossingFinder::Options arc = options;
    arc.minDepth = std::max(options.minDepth, kArcDepth * std::min(c1.depth, c2.depth));
    arc.minRelativeDepth = 0;
    for (const double side : {1.0, -1.0}) {
        const std::vector<float> profile =
            CGreyProfile::Along(channel, mid, across * side, 1.0, count, halfBand);
        // The arc is the first valley out, as thick as a limb, no farther than the two limbs
        // are apart; a valley that goes on is the wall of a limb running off from the line.
        const std::vector<CCrossingFinder::Crossing> out =
            CCrossingFinder::FindInProfile(profile, arc);
        if (!out.empty() && out.front().along <= gap / 2 + narrow / 2 &&
            out.front().widthPx <= kArcThickness * narrow + 2)
            return true;
    }
    return false;
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
            // Too near a deeper one, or a notch in its wall: the same vessel.
            const double apart = std::abs(f.along - c.along);
            return apart < options.minSpacing ||
                   (c.depth < kNotchShare * f.depth && apart <= (f.widthPx + c.widthPx) / 2);
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
    const std::vector<float> profile =
        CGreyProfile::Along(channel, a, dir, 1.0, count, options.halfBand);
    const std::vector<Crossing> valleys = FindInProfile(profile, options);
    const std::vector<float> smooth = CGreyProfile::Smooth(profile, kSmoothSigma);
    // Below the apices a line crosses both limbs of a loop: the two are one capillary, marked
    // between them.
    std::vector<Crossing> found;
    for (size_t i = 0; i < valleys.size(); ++i) {
        Crossing c = valleys[i];
        if (i + 1 < valleys.size() &&
            ArcBetween(channel, smooth, a, dir, c, valleys[i + 1], options)) {
            const Crossing& other = valleys[i + 1];
            c.widthPx = other.along - c.along + (c.widthPx + other.widthPx) / 2;
            c.along = (c.along + other.along) / 2;
            c.depth = std::max(c.depth, other.depth);
            ++i;
        }
        c.at = a + dir * c.along;
        found.push_back(c);
    }
    return found;
}
