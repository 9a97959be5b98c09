// Writes the time stamp into the camera's own JPEG: the frame's DCT coefficients are kept as the
// camera coded them, except the blocks under the stamp, which are taken from the stamped picture
// coded with the frame's own quantization tables and sampling. Nothing else is coded twice: every
// other block keeps the camera's coefficients. One object per thread; it keeps its libjpeg
// objects, buffers and the frame's coefficient memory between frames.
//
// In a frame with subsampled chroma (4:2:0, 4:2:2) a decoder that upsamples chroma smoothly
// (libjpeg's default, so OpenCV's imdecode) gives each pixel 3/4 of its own chroma sample and 1/4
// of the neighbouring one. The row and column of pixels just outside the recoded blocks thus
// take a quarter of the recoded blocks' edge samples and can differ from the camera's frame by a
// level or two; pixels farther out are exact. Widening the recoded region does not help: the
// blocks added would be coded again from decoded pixels, which quantizes them once more, so the
// differing ring only moves outward. Keeping the camera's chroma in the edge blocks would tint
// the black stamp. The bench counts the ring apart from the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

class CJpegStamper {
  public:
    CJpegStamper();
    ~CJpegStamper();
    CJpegStamper(const CJpegStamper&) = delete;
    CJpegStamper& operator=(const CJpegStamper&) = delete;

    // jpeg is the camera's frame; stamped its decoded picture (8-bit BGR, the JPEG's size) with
    // the stamp drawn inside box. The result, valid until the next call, is a baseline JPEG with
    // standard Huffman tables. False, with LastError saying why, for a frame this cannot take:
    // another size, 12-bit samples, a sampling other than 4:4:4, 4:2:2, 4:2:0 or grey, or a
    // damaged scan (a decoder warning counts as damage).
    bool Stamp(const std::uint8_t* jpeg, std::size_t size, const cv::Mat& stamped, cv::Rect box,
               const std::uint8_t** data, std::size_t* outSize);

    // Decodes the camera's frame to 8-bit BGR of picture's size and keeps its coefficients for
    // the next Stamp of the same bytes, which then needs no second entropy decode. False, with
    // nothing kept and bgr's pixels undefined, for a frame Stamp would refuse.
    bool DecodeKeeping(const std::uint8_t* jpeg, std::size_t size, cv::Size picture, cv::Mat& bgr);

    std::string LastError() const { return m_lastError; }

    // The pixels whose blocks Stamp recodes for box in a frame with MCUs of mcu pixels.
    static cv::Rect Blocks(cv::Rect box, cv::Size mcu, cv::Size picture);

    // libjpeg's objects and the buffers, kept between frames.
    struct CState;

  private:
    std::unique_ptr<CState> m_state;
    std::string m_lastError;
};
