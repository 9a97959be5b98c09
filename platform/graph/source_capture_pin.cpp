#include "platform/graph/source_capture_pin.h"

#include <linux/videodev2.h>

#include <cstdlib>
#include <cstring>
#include <numeric>

#include "platform/graph/com_runtime.h"

using platform::v4l2::V4l2Format;
using platform::v4l2::V4l2Interval;

CSourceCapturePin::CSourceCapturePin(CBaseFilter* owner, platform::v4l2::CV4l2Capture& capture)
    : CBasePin(owner, QStringLiteral("Capture"), PINDIR_OUTPUT, PIN_CATEGORY_CAPTURE),
      m_capture(capture),
      m_caps(capture.EnumerateFormats()) {}

HRESULT CSourceCapturePin::QueryExtra(REFIID iid, void** out) {
    if (iid == IID_IAMStreamConfig && !m_caps.empty()) {
        *out = static_cast<IAMStreamConfig*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

GUID CSourceCapturePin::SubtypeOf(uint32_t fourcc) {
    return FourccGuid(fourcc == V4L2_PIX_FMT_YUYV ? MEDIASUBTYPE_YUY2.Data1 : fourcc);
}

uint32_t CSourceCapturePin::FourccOf(const GUID& subtype) {
    return subtype == MEDIASUBTYPE_YUY2 ? V4L2_PIX_FMT_YUYV : subtype.Data1;
}

HRESULT CSourceCapturePin::GetFormat(AM_MEDIA_TYPE** mt) {
    if (!mt) return E_POINTER;
    *mt = nullptr;
    V4l2Format f;
    if (!m_capture.GetFormat(f)) return E_FAIL;
    REFERENCE_TIME avg = 0;
    V4l2Interval i;
    if (m_capture.GetFrameInterval(i))
        avg = static_cast<REFERENCE_TIME>(i.numerator) * 10000000 / i.denominator;
    *mt = CreateVideoInfoMediaType(SubtypeOf(f.fourcc), static_cast<LONG>(f.width),
                                   static_cast<LONG>(f.height), avg);
    VideoInfoOf(*mt)->bmiHeader.biSizeImage = f.sizeImage;
    return S_OK;
}

HRESULT CSourceCapturePin::SetFormat(AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    const VIDEOINFOHEADER* vih = VideoInfoOf(mt);
    if (mt->majortype != MEDIATYPE_Video || !vih || vih->bmiHeader.biWidth <= 0 ||
        vih->bmiHeader.biHeight == 0)
        return VFW_E_INVALIDMEDIATYPE;
    if (m_capture.IsStreaming()) return VFW_E_NOT_STOPPED;
    const V4l2Format wanted{FourccOf(mt->subtype), static_cast<uint32_t>(vih->bmiHeader.biWidth),
                            static_cast<uint32_t>(std::abs(vih->bmiHeader.biHeight)), 0};
    V4l2Format chosen;
    if (!m_capture.SetFormat(wanted, &chosen)) return E_FAIL;
    const bool kept = chosen.fourcc == wanted.fourcc && chosen.width == wanted.width &&
                      chosen.height == wanted.height;
    if (vih->AvgTimePerFrame > 0 && m_capture.SupportsFrameInterval()) {
        const uint64_t num = static_cast<uint64_t>(vih->AvgTimePerFrame);
        const uint64_t den = 10000000;
        const uint64_t g = std::gcd(num, den);
        m_capture.SetFrameInterval({static_cast<uint32_t>(num / g), static_cast<uint32_t>(den / g)},
                                   nullptr);
    }
    return kept ? S_OK : E_FAIL;
}

HRESULT CSourceCapturePin::GetNumberOfCapabilities(int* count, int* size) {
    if (!count || !size) return E_POINTER;
    *count = static_cast<int>(m_caps.size());
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT CSourceCapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) {
    if (!mt) return E_POINTER;
    *mt = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= m_caps.size()) return S_FALSE;
    const V4l2Format& f = m_caps[static_cast<size_t>(index)];
    *mt = CreateVideoInfoMediaType(SubtypeOf(f.fourcc), static_cast<LONG>(f.width),
                                   static_cast<LONG>(f.height), 333333);
    if (caps) {
        VIDEO_STREAM_CONFIG_CAPS c;
        c.guid = FORMAT_VideoInfo;
        c.MinOutputSize = {static_cast<LONG>(f.width), static_cast<LONG>(f.height)};
        c.MaxOutputSize = c.MinOutputSize;
        c.MinFrameInterval = 10000;
        c.MaxFrameInterval = 10000000;
        std::memcpy(caps, &c, sizeof(c));
    }
    return S_OK;
}
