#include "platform/graph/source_still_pin.h"

#include <cstring>

#include "platform/graph/com_runtime.h"

CSourceStillPin::CSourceStillPin(CBaseFilter* owner, int capabilities)
    : CBasePin(owner, QStringLiteral("Still"), PINDIR_OUTPUT, PIN_CATEGORY_STILL),
      m_capabilities(capabilities < 0 ? 0 : capabilities) {}

HRESULT CSourceStillPin::QueryExtra(REFIID iid, void** out) {
    if (iid == IID_IAMStreamConfig) {
        *out = static_cast<IAMStreamConfig*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CSourceStillPin::SetFormat(AM_MEDIA_TYPE* mt) {
    const VIDEOINFOHEADER* vih = VideoInfoOf(mt);
    if (!mt || !vih || mt->majortype != MEDIATYPE_Video) return VFW_E_INVALIDMEDIATYPE;
    if (m_capabilities == 0) return E_FAIL;
    m_subtype = mt->subtype;
    m_width = vih->bmiHeader.biWidth;
    m_height = vih->bmiHeader.biHeight;
    ++m_formatsSet;
    return S_OK;
}

HRESULT CSourceStillPin::GetFormat(AM_MEDIA_TYPE** mt) {
    if (!mt) return E_POINTER;
    *mt = CreateVideoInfoMediaType(m_subtype, m_width, m_height, 0);
    return S_OK;
}

HRESULT CSourceStillPin::GetNumberOfCapabilities(int* count, int* size) {
    if (!count || !size) return E_POINTER;
    *count = m_capabilities;
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT CSourceStillPin::GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) {
    if (!mt) return E_POINTER;
    *mt = nullptr;
    if (index < 0 || index >= m_capabilities) return E_INVALIDARG;
    *mt = CreateVideoInfoMediaType(MEDIASUBTYPE_YUY2, 640 * (index + 1), 480 * (index + 1), 0);
    if (caps) {
        VIDEO_STREAM_CONFIG_CAPS c;
        c.guid = FORMAT_VideoInfo;
        c.MinOutputSize = {640, 480};
        c.MaxOutputSize = c.MinOutputSize;
        std::memcpy(caps, &c, sizeof(c));
    }
    return S_OK;
}
