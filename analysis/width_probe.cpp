#include "analysis/width_probe.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "analysis/grey_profile.h"

namespace {

constexpr double kStep = 0.25;       // profile samples per pixel: 4
constexpr int kHalfBand = 3;         // lines along the vessel averaged into the profile
constexpr double kMinDepth = 8;      // grey levels
constexpr double kMaxHalfSpan = 70;  // pixels either side of the click read across
constexpr double kClickSlack = 2;    // pixels a click may miss the vessel's edge by
constexpr double kWallRun = 5;       // pixels a wall may take from a quarter to three quarters
constexpr std::array<double, 10> kScales = {1.0, 1.5, 2.0, 3.0, 4.0, 5.5, 7.5, 10.0, 13.0, 17.0};

struct Structure {
    cv::Point2d across;  // unit vector across the vessel
    double scale = 0;
};

// The scale-normalised Hessian at one point, from Gaussian derivative kernels summed over the
// patch around it: a dark line gives a large positive curvature across it. The Gaussian is
// separable, so each row of the patch is summed once against its weights along x, and the rows
// are then weighted along y; the weights are the same for every click.
struct ScaleKernel {
    double scale = 0;
    int radius = 0;
    std::vector<double> g;  // exp(-d^2 / 2s^2), d from -radius
};

const std::vector<ScaleKernel>& Kernels() {
    static const std::vector<ScaleKernel> kernels = [] {
        std::vector<ScaleKernel> out;
        for (const double s : kScales) {
            ScaleKernel k{s, static_cast<int>(std::ceil(3 * s)), {}};
            for (int d = -k.radius; d <= k.radius; ++d)
                k.g.push_back(std::exp(-(d * d) / (2 * s * s)));
            out.push_back(std::move(k));
        }
        return out;
    }();
    return kernels;
}

std::optional<Structure> LocalStructure(const cv::Mat& channel, cv::Point2d at) {
    std::optional<Structure> best;
    double bestResponse = 0;
    const int cx = static_cast<int>(std::lround(at.x));
    const int cy = static_cast<int>(std::lround(at.y));
    // The largest patch's columns, clamped to the frame once.
    const int reach = Kernels().back().radius;
    int columns[2 * 64 + 1];
    static_assert(kScales.back() * 3 <= 64);
    for (int d = -reach; d <= reach; ++d)
        columns[d + reach] = std::clamp(cx + d, 0, channel.cols - 1);
    for (const ScaleKernel& k : Kernels()) {
        const int r = k.radius;
        const double s2 = k.scale * k.scale;
        double hxx = 0, hyy = 0, hxy = 0;
        for (int dy = -r; dy <= r; ++dy) {
            const float* row = channel.ptr<float>(std::clamp(cy + dy, 0, channel.rows - 1));
            // Along x: the sums weighted by g, g dx and g dx^2.
            double a0 = 0, a1 = 0, a2 = 0;
            for (int dx = -r; dx <= r; ++dx) {
                const double v = row[columns[dx + reach]] * k.g[static_cast<size_t>(dx + r)];
                a0 += v;
                a1 += v * dx;
                a2 += v * dx * dx;
            }
            const double gy = k.g[static_cast<size_t>(dy + r)];
            hxx += gy * (a2 / s2 - a0);
            hyy += gy * a0 * (dy * dy / s2 - 1);
            hxy += gy * dy * a1 / s2;
        }
        // Normalised by sigma^2 (the derivatives) and the kernel's mass.
        const double norm = 1.0 / (2 * CV_PI * s2);
        hxx *= norm;
        hyy *= norm;
        hxy *= norm;
        const double mean = (hxx + hyy) / 2;
        const double diff = std::sqrt((hxx - hyy) * (hxx - hyy) / 4 + hxy * hxy);
        const double largest = mean + diff;
        if (largest <= bestResponse) continue;
        bestResponse = largest;
        // Eigenvector of the largest eigenvalue.
        cv::Point2d v = std::abs(hxy) > 1e-12 ? cv::Point2d(hxy, largest - hxx)
                        : hxx >= hyy          ? cv::Point2d(1, 0)
                                              : cv::Point2d(0, 1);
        v /= cv::norm(v);
        best = Structure{v, k.scale};
    }
    return best;
}

struct Cut {
    double lo = 0, hi = 0;  // half-depth crossings, pixels from the centre of the profile
    double depth = 0;
};

// Where the profile crosses level walking out from index i; interpolated between samples.
double Crossing(const std::vector<float>& p, int i, int direction, float level) {
    const int n = static_cast<int>(p.size());
    int k = i;
    while (k + direction >= 0 && k + direction < n && p[static_cast<size_t>(k + direction)] < level)
        k += direction;
    const int next = k + direction;
    if (next < 0 || next >= n) return k;
    const float a = p[static_cast<size_t>(k)];
    const float b = p[static_cast<size_t>(next)];
    return k + direction * (b != a ? (level - a) / (b - a) : 0.5);
}

// A quarter of the way out of the valley or more, the profile went down again by more than a
// quarter of the depth, and by more than a flat bottom's ripple: a neighbour begins. A dip lower
// down is the vessel's own (a lighter lumen, cells).
bool Turned(float highest, float now, float floor, float quarter) {
    return highest - floor > quarter &&
           highest - now > std::max(static_cast<float>(kMinDepth), 0.25f * (highest - floor));
}

// The shoulder beside an edge: the highest level within reach before the profile turns down
// into a neighbour.
float Shoulder(const std::vector<float>& p, double edge, int direction, double reach, float floor,
               float quarter) {
    const int n = static_cast<int>(p.size());
    const int start = std::clamp(static_cast<int>(std::lround(edge)), 0, n - 1);
    const int end = std::clamp(static_cast<int>(std::lround(edge + direction * reach)), 0, n - 1);
    float best = p[static_cast<size_t>(start)];
    for (int k = start; k != end + direction && k >= 0 && k < n; k += direction) {
        const float v = p[static_cast<size_t>(k)];
        best = std::max(best, v);
        if (Turned(best, v, floor, quarter)) break;
    }
    return best;
}

// The profiles of one click, kept between the cuts it makes so that their memory is reused.
struct Scratch {
    std::vector<float> raw, p, smoother, sorted;
};

// Full width at half depth across at, along dir; the valley looked for within search pixels.
std::optional<Cut> HalfDepth(const cv::Mat& channel, cv::Point2d at, cv::Point2d dir, double span,
                             double search, Scratch& scratch) {
    const int half = static_cast<int>(std::ceil(span / kStep));
    const int n = 2 * half + 1;
    CGreyProfile::Along(channel, at - dir * (half * kStep), dir, kStep, n, kHalfBand, scratch.raw);
    std::vector<float>& p = scratch.p;
    CGreyProfile::Smooth(scratch.raw, 0.6 / kStep, p, 0, n - 1);
    // The bottom of the valley under the click: downhill on a smoother copy, so that a flat
    // bottom's noise does not stop the walk and a neighbour as dark is not taken for it. The walk
    // stays within reach of the centre: only that much of it is smoothed.
    const int reach = std::min(half - 1, static_cast<int>(std::ceil(search / kStep)));
    const std::vector<float>& smoother = scratch.smoother;
    CGreyProfile::Smooth(p, 2.0 / kStep, scratch.smoother, half - reach - 1, half + reach + 1);
    int bottom = half;
    for (;;) {
        const int next =
            smoother[static_cast<size_t>(bottom - 1)] < smoother[static_cast<size_t>(bottom + 1)]
                ? bottom - 1
                : bottom + 1;
        if (std::abs(next - half) > reach ||
            !(smoother[static_cast<size_t>(next)] < smoother[static_cast<size_t>(bottom)]))
            break;
        bottom = next;
    }
    const int around = static_cast<int>(2 / kStep);
    const int from = std::max(0, bottom - around), to = std::min(n - 1, bottom + around);
    for (int k = from; k <= to; ++k)
        if (p[static_cast<size_t>(k)] < p[static_cast<size_t>(bottom)]) bottom = k;
    // First pass: shoulders as the highest levels either side; then again from the shoulders
    // just outside the edges found, which an uneven light does not tilt. A flat bottom may slope:
    // the walk out follows it down to its lowest point before it climbs the wall.
    // The ground's level, roughly: most of what is read across lies beside the vessel.
    std::vector<float>& sorted = scratch.sorted;
    sorted.assign(p.begin(), p.end());
    std::nth_element(sorted.begin(), sorted.begin() + n * 4 / 5, sorted.end());
    const float ground = sorted[static_cast<size_t>(n * 4 / 5)];
    struct Side {
        float shoulder, low;
        int lowAt;
    };
    auto walk = [&](int direction) {
        Side side{p[static_cast<size_t>(bottom)], p[static_cast<size_t>(bottom)], bottom};
        for (int k = bottom; k >= 0 && k < n; k += direction) {
            const float v = p[static_cast<size_t>(k)];
            if (v < side.low) side = Side{v, v, k};
            side.shoulder = std::max(side.shoulder, v);
            if (Turned(side.shoulder, v, side.low, (ground - side.low) / 4)) break;
        }
        return side;
    };
    const Side l = walk(-1), r = walk(+1);
    const float floor = std::min(l.low, r.low);
    bottom = l.low < r.low ? l.lowAt : r.lowAt;
    float left = l.shoulder, right = r.shoulder;
    double lo = 0, hi = 0;
    for (int pass = 0; pass < 2; ++pass) {
        lo = Crossing(p, bottom, -1, (floor + left) / 2);
        hi = Crossing(p, bottom, +1, (floor + right) / 2);
        const double width = (hi - lo) * kStep;
        const double reachPx = std::max(4.0, 0.5 * width) / kStep;
        left = Shoulder(p, lo, -1, reachPx, floor, (ground - floor) / 4);
        right = Shoulder(p, hi, +1, reachPx, floor, (ground - floor) / 4);
    }
    const double depth = std::min(left, right) - floor;
    if (depth < kMinDepth || lo <= 0 || hi >= n - 1) return std::nullopt;
    // A vessel's wall is sharp; the ground's blotches have gentle sides. The wall's run: from a
    // quarter to three quarters of the way up it, walking both ways from its half-depth point.
    auto wall = [&](double edge, int outward, float shoulder) {
        const float rise = shoulder - floor;
        int up = std::clamp(static_cast<int>(std::lround(edge)), 0, n - 1);
        while (up + outward >= 0 && up + outward < n &&
               p[static_cast<size_t>(up)] < floor + 0.75f * rise)
            up += outward;
        int down = std::clamp(static_cast<int>(std::lround(edge)), 0, n - 1);
        while (down - outward >= 0 && down - outward < n &&
               p[static_cast<size_t>(down)] > floor + 0.25f * rise)
            down -= outward;
        return std::abs(up - down) * kStep;
    };
    if (wall(lo, -1, left) > kWallRun || wall(hi, +1, right) > kWallRun) return std::nullopt;
    return Cut{(lo - half) * kStep, (hi - half) * kStep, depth};
}

}  // namespace

std::optional<CWidthProbe::Result> CWidthProbe::Measure(const cv::Mat& frame, cv::Point2d click) {
    const cv::Mat channel = CGreyProfile::Channel(frame);
    if (channel.empty()) return std::nullopt;
    return MeasureChannel(channel, click);
}

std::optional<CWidthProbe::Result> CWidthProbe::MeasureChannel(const cv::Mat& channel,
                                                               cv::Point2d click) {
    if (channel.empty() || channel.type() != CV_32F || !std::isfinite(click.x) ||
        !std::isfinite(click.y) || click.x < 0 || click.y < 0 || click.x > channel.cols - 1 ||
        click.y > channel.rows - 1)
        return std::nullopt;
    const std::optional<Structure> structure = LocalStructure(channel, click);
    if (!structure) return std::nullopt;
    // A vessel of width w answers most at a scale near w / 2: a few widths either side are read.
    // A click off a wide vessel's centre may answer at a small scale and cut its edges off: then
    // the whole reach is read.
    const double search = std::max(3.0, 2 * structure->scale);
    const double base = std::atan2(structure->across.y, structure->across.x);
    auto dirOf = [&](double angle) { return cv::Point2d(std::cos(angle), std::sin(angle)); };
    Scratch scratch;
    auto measure = [&](double span, cv::Point2d& centre, cv::Point2d& dir) -> std::optional<Cut> {
        // The direction across is where the vessel is narrowest: a parabola through the widths
        // at a few turns either side of the Hessian's.
        const std::optional<Cut> first =
            HalfDepth(channel, click, dirOf(base), span, search, scratch);
        if (!first) return std::nullopt;
        centre = click + dirOf(base) * ((first->lo + first->hi) / 2);
        double angle = base;
        for (const double turn : {0.2, 0.07}) {
            const std::optional<Cut> minus =
                HalfDepth(channel, centre, dirOf(angle - turn), span, 3, scratch);
            const std::optional<Cut> mid =
                HalfDepth(channel, centre, dirOf(angle), span, 3, scratch);
            const std::optional<Cut> plus =
                HalfDepth(channel, centre, dirOf(angle + turn), span, 3, scratch);
            if (!minus || !mid || !plus) break;
            const double wm = minus->hi - minus->lo, w0 = mid->hi - mid->lo,
                         wp = plus->hi - plus->lo;
            const double curvature = wm + wp - 2 * w0;
            double shift = curvature > 1e-9 ? 0.5 * (wm - wp) / curvature : (wm < wp ? -1 : 1);
            centre += dirOf(angle) * ((mid->lo + mid->hi) / 2);
            angle += std::clamp(shift, -1.0, 1.0) * turn;
        }
        dir = dirOf(angle);
        return HalfDepth(channel, centre, dir, span, 3, scratch);
    };
    cv::Point2d centre, dir;
    std::optional<Cut> cut =
        measure(std::min(kMaxHalfSpan, std::max(15.0, 6 * structure->scale)), centre, dir);
    if (!cut) cut = measure(kMaxHalfSpan, centre, dir);
    if (!cut) return std::nullopt;
    // A click on the ground beside a vessel measures nothing: the vessel must be under it.
    const double clickAt = (click - centre).dot(dir);
    if (clickAt < cut->lo - kClickSlack || clickAt > cut->hi + kClickSlack) return std::nullopt;
    Result result;
    result.edge1 = centre + dir * cut->lo;
    result.edge2 = centre + dir * cut->hi;
    result.widthPx = cut->hi - cut->lo;
    result.depth = cut->depth;
    return result;
}
