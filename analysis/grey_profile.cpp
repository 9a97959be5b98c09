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

float CGreyProfile::At(const cv::Mat& channel, cv::Point2d p) {
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
    if (channel.empty() || count <= 0) return out;
    out.reserve(static_cast<size_t>(count));
    const cv::Point2d across(-dir.y, dir.x);
    for (int i = 0; i < count; ++i) {
        const cv::Point2d p = from + dir * (i * step);
        float sum = 0;
        for (int k = -halfBand; k <= halfBand; ++k) sum += At(channel, p + across * k);
        out.push_back(sum / static_cast<float>(2 * halfBand + 1));
    }
    return out;
}

std::vector<float> CGreyProfile::Smooth(const std::vector<float>& profile, double sigma) {
    if (sigma <= 0 || profile.size() < 2) return profile;
    const int radius = std::max(1, static_cast<int>(std::ceil(3 * sigma)));
    std::vector<float> kernel(static_cast<size_t>(2 * radius + 1));
    float total = 0;
    for (int k = -radius; k <= radius; ++k) {
        kernel[static_cast<size_t>(k + radius)] =
            static_cast<float>(std::exp(-0.5 * k * k / (sigma * sigma)));
        total += kernel[static_cast<size_t>(k + radius)];
    }
    const int n = static_cast<int>(profile.size());
    std::vector<float> out(profile.size());
    for (int i = 0; i < n; ++i) {
        float sum = 0;
        for (int k = -radius; k <= radius; ++k)
            sum += kernel[static_cast<size_t>(k + radius)] *
                   profile[static_cast<size_t>(std::clamp(i + k, 0, n - 1))];
        out[static_cast<size_t>(i)] = sum / total;
    }
    return out;
}
