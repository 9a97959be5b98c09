// JPEG to BGR and back through TurboJPEG: three to four times cheaper than going through
// OpenCV's codecs. One object per thread; it keeps its buffers between frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

class CJpegCodec {
  public:
    CJpegCodec();
    ~CJpegCodec();
    CJpegCodec(const CJpegCodec&) = delete;
    CJpegCodec& operator=(const CJpegCodec&) = delete;

    // Colour and grey JPEGs alike become an 8-bit BGR image. Damaged data that still gives a
    // picture (a decoder warning) counts as decoded; false when nothing could be decoded, and
    // LastError says why. A picture larger than atLeast in both directions is decoded at the
    // smallest of the decoder's own reductions (1/2, 1/4, ...) that keeps it at least that
    // large, which costs a fraction of a full decode.
    bool Decode(const std::uint8_t* data, std::size_t size, cv::Mat& bgr,
                cv::Size atLeast = cv::Size());
    // A contiguous 8-bit BGR image to a baseline JPEG with 4:2:0 chroma. The result stays valid
    // until the next call.
    bool Encode(const cv::Mat& bgr, int quality, const std::uint8_t** data, std::size_t* size);

    std::string LastError() const { return m_lastError; }

  private:
    void ResetDecoder();

    // A TurboJPEG handle, destroyed with its holder.
    struct CTjDestroy {
        void operator()(void* handle) const;
    };
    using TjHandle = std::unique_ptr<void, CTjDestroy>;

    TjHandle m_decoder;
    TjHandle m_encoder;
    std::vector<std::uint8_t> m_encoded;
    std::string m_lastError;
};
