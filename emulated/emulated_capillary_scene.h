// Pictures of a row of capillary loops whose geometry is known: for each loop the centre lines of
// its two limbs, its apex and the width of each in pixels, so that what the review tools find can
// be checked. Options make the picture hard: sensor noise, blur, uneven light, JPEG, loops from
// thin to giant, loops close together. Deterministic per seed.
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

namespace platform::v4l2 {

class CEmulatedCapillaryScene {
  public:
    struct Options {
        int width = 640, height = 480;
        double noiseSigma = 0;   // grey levels of sensor noise, per channel
        double blurSigma = 0;    // pixels of optical blur
        double unevenLight = 0;  // 0: even; 1: the light falls to about half at one side
        int jpegQuality = 0;     // 0: no JPEG round trip
        double minWidthPx = 6, maxWidthPx = 12;  // limb widths, drawn log-uniform
        double minGapPx = 8, maxGapPx = 30;      // between neighbouring loops
        double closeShare = 0;                   // share of neighbours only 1 to 4 pixels apart
        uint64_t seed = 1;
        // The benchmark's pictures: everything above at once.
        static Options Hard(uint64_t seed);
    };
    struct Limb {
        std::vector<cv::Point2d> centre;  // from the apex down
        double widthPx = 0;
    };
    struct Loop {
        Limb arterial, venous;       // left and right limb
        cv::Point2d apex;            // top of the centre line over the loop
        double apexWidthPx = 0;      // the loop's width at its apex
        double left = 0, right = 0;  // outer extent across the row, pixels
    };
    struct Scene {
        cv::Mat picture;          // BGR
        std::vector<Loop> loops;  // left to right
        // The line the apices lie on (each within a pixel of it), across the picture.
        cv::Point2d rowFrom, rowTo;
    };

    static Scene Render(const Options& options);
    // A picture with loops placed by the caller: one loop per entry of apexX, all of one width
    // and inner gap, apices on rowY. For fixed cases in tests.
    static Scene RenderLoops(const Options& options, const std::vector<double>& apexX,
                             double widthPx, double innerGapPx, double rowY);
};

}  // namespace platform::v4l2
