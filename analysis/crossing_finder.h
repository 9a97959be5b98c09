// The capillaries that cross a line: dark valleys of the grey-level profile along a band around
// it, each deep, wide and far enough from the next.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

class CCrossingFinder {
  public:
    struct Options {
        int halfBand = 3;                // pixels either side of the line averaged into the profile
        double minDepth = 10;            // grey levels a valley must lie below its lower shoulder
        double minRelativeDepth = 0.15;  // ... and at least this share of the deepest valley's
        double minWidth = 2.5;           // pixels, at half its depth
        double minSpacing = 5;           // pixels between two crossings
    };
    struct Crossing {
        cv::Point2d at;      // in frame pixels, on the line
        double along = 0;    // pixels from the line's start
        double depth = 0;    // grey levels
        double widthPx = 0;  // at half depth, along the line
    };

    // Crossings of the line from a to b in frame (BGR, grey or the float channel CGreyProfile
    // makes), ordered from a; none for a line shorter than a few pixels or longer than any
    // picture, or a frame of another type.
    static std::vector<Crossing> Find(const cv::Mat& frame, cv::Point2d a, cv::Point2d b,
                                      const Options& options);
    static std::vector<Crossing> Find(const cv::Mat& frame, cv::Point2d a, cv::Point2d b) {
        return Find(frame, a, b, Options());
    }
    // The same on a profile sampled one pixel apart: the valleys' indices and their depth and
    // width.
    static std::vector<Crossing> FindInProfile(const std::vector<float>& profile,
                                               const Options& options);
};
