// Grey levels along a line through a frame, averaged across a band around it. Blood absorbs
// green most, so a colour frame is read in its green channel.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

class CGreyProfile {
  public:
    // The channel the finders read, as 32-bit float: green of a BGR frame, a grey frame as it
    // is, a float one unchanged; empty for anything else.
    static cv::Mat Channel(const cv::Mat& frame);
    // Bilinear sample at p; the nearest edge pixel outside the frame.
    static float At(const cv::Mat& channel, cv::Point2d p);
    // Samples every step pixels from from along dir (unit length), count of them; each is the
    // mean of the 2 * halfBand + 1 samples across, one pixel apart.
    static std::vector<float> Along(const cv::Mat& channel, cv::Point2d from, cv::Point2d dir,
                                    double step, int count, int halfBand);
    // The same into out, whose memory is reused from call to call.
    static void Along(const cv::Mat& channel, cv::Point2d from, cv::Point2d dir, double step,
                      int count, int halfBand, std::vector<float>& out);
    // Gaussian smoothing of a profile, sigma in samples; the ends are held.
    static std::vector<float> Smooth(const std::vector<float>& profile, double sigma);
    // The same into out (not profile itself), sized as profile; only the samples first to last
    // are computed, the others are zero.
    static void Smooth(const std::vector<float>& profile, double sigma, std::vector<float>& out,
                       int first, int last);
};
