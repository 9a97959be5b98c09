// Synthetic pictures of a capillary microscope: pink-red ground, dark red capillary loops,
// cells moving along them, sensor noise. Deterministic per frame index.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "emulated/emulated_camera_config.h"

namespace platform::v4l2 {

class CEmulatedFrameSource {
  public:
    // The BGR picture of frame index, width x height.
    static cv::Mat Picture(int index, int width, int height);
    // The JPEG bytes of a sample of the given kind for frame index. Good 640x480 frames come
    // from a small cache, so streaming costs little.
    static std::vector<unsigned char> Sample(EmulatedSample kind, int index, int width, int height);
    // The JPEG with its Huffman table segments (DHT) taken out.
    // The JPEG's picture with its contrast scaled about mid grey and offset added, encoded again.
    static std::vector<unsigned char> Adjusted(const std::vector<unsigned char>& jpeg, int offset,
                                               double contrast);
    static std::vector<unsigned char> WithoutHuffmanTables(const std::vector<unsigned char>& jpeg);
    // Fills the cache now, so that no stream pays for it.
    static void Warm();
    // Frames the cache cycles through.
    static constexpr int kCachedFrames = 24;
};

}  // namespace platform::v4l2
