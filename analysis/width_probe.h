// The width of a vessel at a point on it: the direction across comes from the local structure
// (the Hessian of the picture at the scale that answers most strongly), the width is the full
// width at half depth of the grey-level profile across, with the turn that makes it narrowest.
#pragma once

#include <opencv2/core.hpp>
#include <optional>

class CWidthProbe {
  public:
    struct Result {
        cv::Point2d edge1, edge2;  // where the profile crosses half depth, frame pixels
        double widthPx = 0;
        double depth = 0;  // grey levels from the shoulders to the bottom
    };

    // The vessel under click in frame (BGR or grey); none where nothing dark and line-like lies
    // there, or for a frame of another type.
    static std::optional<Result> Measure(const cv::Mat& frame, cv::Point2d click);
    // The same on the channel CGreyProfile::Channel made, so that several clicks share it.
    static std::optional<Result> MeasureChannel(const cv::Mat& channel, cv::Point2d click);
};
