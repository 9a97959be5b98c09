#include "platform/graph/media_sample.h"

HRESULT CMediaSample::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMediaSample) {
        *out = static_cast<IMediaSample*>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CMediaSample::GetPointer(BYTE** buffer) {
    if (!buffer) return E_POINTER;
    // Downstream reads only; the interface's shape has no const.
    *buffer = const_cast<BYTE*>(m_data);
    return S_OK;
}

HRESULT CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
    if (start) *start = m_start;
    if (end) *end = m_start;
    return S_OK;
}
