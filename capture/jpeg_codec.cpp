#include "capture/jpeg_codec.h"

#include <turbojpeg.h>

#include <string>

CJpegCodec::CJpegCodec() = default;

CJpegCodec::~CJpegCodec() = default;

void CJpegCodec::CTjDestroy::operator()(void* handle) const {
    tjDestroy(handle);
}

namespace {

// The decoder's reduction that gives the smallest picture still at least atLeast; the full size
// when none does.
tjscalingfactor ReductionFor(int width, int height, cv::Size atLeast) {
    tjscalingfactor best{1, 1};
    if (atLeast.width <= 0 || atLeast.height <= 0) return best;
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    for (int i = 0; factors && i < count; ++i) {
        const tjscalingfactor f = factors[i];
        if (f.num >= f.denom) continue;
        const int w = TJSCALED(width, f);
        const int h = TJSCALED(height, f);
        if (w >= atLeast.width && h >= atLeast.height && w < TJSCALED(width, best)) best = f;
    }
    return best;
}

}  // namespace

bool CJpegCodec::Decode(const std::uint8_t* data, std::size_t size, cv::Mat& bgr,
                        cv::Size atLeast) {
    if (!data || size == 0 || size > 0x7FFFFFFF) {
        m_lastError = "no bytes";
        return false;
    }
    if (!m_decoder) m_decoder.reset(tjInitDecompress());
    if (!m_decoder) {
        m_lastError = "no decoder";
        return false;
    }
    int width = 0, height = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(m_decoder.get(), data, static_cast<unsigned long>(size), &width,
                            &height, &subsamp, &colorspace) != 0) {
        ResetDecoder();
        return false;
    }
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        m_lastError = "picture size " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    const tjscalingfactor reduction = ReductionFor(width, height, atLeast);
    width = TJSCALED(width, reduction);
    height = TJSCALED(height, reduction);
    bgr.create(height, width, CV_8UC3);
    if (tjDecompress2(m_decoder.get(), data, static_cast<unsigned long>(size), bgr.data, width,
                      static_cast<int>(bgr.step), height, TJPF_BGR, 0) != 0 &&
        tjGetErrorCode(m_decoder.get()) != TJERR_WARNING) {
        ResetDecoder();
        bgr.release();
        return false;
    }
    return true;
}

void CJpegCodec::ResetDecoder() {
    // A handle that failed half-way may keep state that spoils the next picture.
    m_lastError = tjGetErrorStr2(m_decoder.get());
    m_decoder.reset();
}

bool CJpegCodec::Encode(const cv::Mat& bgr, int quality, const std::uint8_t** data,
                        std::size_t* size) {
    if (bgr.empty() || bgr.type() != CV_8UC3) return false;
    if (!m_encoder) m_encoder.reset(tjInitCompress());
    if (!m_encoder) return false;
    const unsigned long capacity = tjBufSize(bgr.cols, bgr.rows, TJSAMP_420);
    if (m_encoded.size() < capacity) m_encoded.resize(capacity);
    unsigned char* out = m_encoded.data();
    unsigned long length = capacity;
    // NOREALLOC: the buffer is ours and already large enough for any picture of this size.
    if (tjCompress2(m_encoder.get(), bgr.data, bgr.cols, static_cast<int>(bgr.step), bgr.rows,
                    TJPF_BGR, &out, &length, TJSAMP_420, quality, TJFLAG_NOREALLOC) != 0) {
        m_lastError = tjGetErrorStr2(m_encoder.get());
        return false;
    }
    *data = out;
    *size = length;
    return true;
}
