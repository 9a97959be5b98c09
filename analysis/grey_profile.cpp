#include "analysis/grey_profile.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

cv::Mat CGreyProfile::Channel(const cv::Mat& frame) {
    if (frame.type() == CV_32FC1) return frame;
    cv::Mat channel;
    if (frame.type() == CV_8UC3)
        cv::extractChannel(frame, channel, 1);
    else if (frame.type() == CV_8UC1)
        channel = frame;
    else
        return {};
    cv::Mat out;
    channel.convertTo(out, CV_32F);
    return out;
}

namespace {

// Bilinear sample at a point known to lie inside the frame's last row and column.
inline float Inside(const cv::Mat& channel, cv::Point2d p) {
    const int x0 = static_cast<int>(p.x);
    const int y0 = static_cast<int>(p.y);
    const float fx = static_cast<float>(p.x - x0);
    const float fy = static_cast<float>(p.y - y0);
    const float* r0 = channel.ptr<float>(y0);
    const float* r1 = r0 + channel.step1();
    const float top = r0[x0] + (r0[x0 + 1] - r0[x0]) * fx;
    const float bottom = r1[x0] + (r1[x0 + 1] - r1[x0]) * fx;
    return top + (bottom - top) * fy;
}

inline bool IsInside(const cv::Mat& channel, cv::Point2d p) {
    return p.x >= 0 && p.y >= 0 && p.x < channel.cols - 1 && p.y < channel.rows - 1;
}

}  // namespace

float CGreyProfile::At(const cv::Mat& channel, cv::Point2d p) {
    if (IsInside(channel, p)) return Inside(channel, p);
    const double x = std::clamp(p.x, 0.0, channel.cols - 1.0);
    const double y = std::clamp(p.y, 0.0, channel.rows - 1.0);
    const int x0 = std::min(static_cast<int>(x), channel.cols - 2 < 0 ? 0 : channel.cols - 2);
    const int y0 = std::min(static_cast<int>(y), channel.rows - 2 < 0 ? 0 : channel.rows - 2);
    const int x1 = std::min(x0 + 1, channel.cols - 1);
    const int y1 = std::min(y0 + 1, channel.rows - 1);
    const float fx = static_cast<float>(x - x0);
    const float fy = static_cast<float>(y - y0);
    const float* r0 = channel.ptr<float>(y0);
    const float* r1 = channel.ptr<float>(y1);
    const float top = r0[x0] + (r0[x1] - r0[x0]) * fx;
    const float bottom = r1[x0] + (r1[x1] - r1[x0]) * fx;
    return top + (bottom - top) * fy;
}

std::vector<float> CGreyProfile::Along(const cv::Mat& channel, cv::Point2d from, cv::Point2d dir,
                                       double step, int count, int halfBand) {
    std::vector<float> out;
    Along(channel, from, dir, step, count, halfBand, out);
    return out;
}

void CGreyProfile::Along(const cv::Mat& channel, cv::Point2d from, cv::Point2d dir, double step,
                         int count, int halfBand, std::vector<float>& out) {
    out.clear();
    if (channel.empty() || count <= 0) return;
    out.reserve(static_cast<size_t>(count));
    const cv::Point2d across(-dir.y, dir.x);
    for (int i = 0; i < count; ++i) {
        const cv::Point2d p = from + dir * (i * step);
        float sum = 0;
        // The band's ends inside the frame: all of it is.
        if (IsInside(channel, p - across * halfBand) && IsInside(channel, p + across * halfBand))
            for (int k = -halfBand; k <= halfBand; ++k) sum += Inside(channel, p + across * k);
        else
            for (int k = -halfBand; k <= halfBand; ++k) sum += At(channel, p + across * k);
        out.push_back(sum / static_cast<float>(2 * halfBand + 1));
    }
}

std::vector<float> CGreyProfile::Smooth(const std::vector<float>& profile, double sigma) {
    if (sigma <= 0 || profile.size() < 2) return profile;
    std::vector<float> out;
    Smooth(profile, sigma, out, 0, static_cast<int>(profile.size()) - 1);
    return out;
}

void CGreyProfile::Smooth(const std::vector<float>& profile, double sigma, std::vector<float>& out,
                          int first, int last) {
    const int n = static_cast<int>(profile.size());
    out.assign(profile.size(), 0.0f);
    first = std::max(first, 0);
    last = std::min(last, n - 1);
    if (sigma <= 0 || n < 2) {
        for (int i = first; i <= last; ++i)
            out[static_cast<size_t>(i)] = profile[static_cast<size_t>(i)];
        return;
    }
    const int radius = std::max(1, static_cast<int>(std::ceil(3 * sigma)));
    float kernel[2 * 64 + 1];
    // Wider kernels than this are never asked for; sigma is held to what fits.
    const int r = std::min(radius, 64);
    float total = 0;
    for (int k = -r; k <= r; ++k) {
        kernel[k + r] = static_cast<float>(std::exp(-0.5 * k * k / (sigma * sigma)));
        total += kernel[k + r];
    }
    const float* in = profile.data();
    for (int i = first; i <= last; ++i) {
        float sum = 0;
        if (i - r >= 0 && i + r < n) {
            const float* at = in + (i - r);
            for (int k = 0; k <= 2 * r; ++k) sum += kernel[k] * at[k];
        } else {
            for (int k = -r; k <= r; ++k) sum += kernel[k + r] * in[std::clamp(i + k, 0, n - 1)];
        }
        out[static_cast<size_t>(i)] = sum / total;
    }
}
