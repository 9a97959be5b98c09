#include "capture/jpeg_codec.h"

#include <turbojpeg.h>

CJpegCodec::CJpegCodec() = default;

CJpegCodec::~CJpegCodec() = default;

void CJpegCodec::CTjDestroy::operator()(void* handle) const {
    tjDestroy(handle);
}

bool CJpegCodec::Decode(const std::uint8_t* data, std::size_t size, cv::Mat& bgr) {
    if (!data || size == 0 || size > 0x7FFFFFFF) return false;
    if (!m_decoder) m_decoder.reset(tjInitDecompress());
    if (!m_decoder) return false;
    int width = 0, height = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(m_decoder.get(), data, static_cast<unsigned long>(size), &width,
                            &height, &subsamp, &colorspace) != 0) {
        ResetDecoder();
        return false;
    }
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
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
