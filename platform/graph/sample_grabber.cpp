#include "platform/graph/sample_grabber.h"

#include <algorithm>
#include <cstring>

CSampleGrabber::CSampleGrabber() {
    m_pins.push_back(
        std::make_unique<CBasePin>(this, QStringLiteral("Input"), PINDIR_INPUT, GUID_NULL));
    m_pins.push_back(
        std::make_unique<CBasePin>(this, QStringLiteral("Output"), PINDIR_OUTPUT, GUID_NULL));
}

HRESULT CSampleGrabber::QueryExtra(REFIID iid, void** out) {
    if (iid == IID_ISampleGrabber) {
        *out = static_cast<ISampleGrabber*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CSampleGrabber::SetOneShot(BOOL oneShot) {
    std::lock_guard lock(m_mutex);
    m_oneShot = oneShot != FALSE;
    return S_OK;
}

HRESULT CSampleGrabber::SetMediaType(const AM_MEDIA_TYPE* mt) {
    std::lock_guard lock(m_mutex);
    m_majorType = mt ? mt->majortype : GUID_NULL;
    m_subtype = mt ? mt->subtype : GUID_NULL;
    return S_OK;
}

HRESULT CSampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE*) {
    return m_pins[0]->IsConnected() ? E_NOTIMPL : VFW_E_NOT_CONNECTED;
}

HRESULT CSampleGrabber::SetBufferSamples(BOOL buffer) {
    std::lock_guard lock(m_mutex);
    m_buffering = buffer != FALSE;
    if (!m_buffering) m_buffer.clear();
    return S_OK;
}

HRESULT CSampleGrabber::GetCurrentBuffer(long* size, long* buffer) {
    if (!size) return E_POINTER;
    std::lock_guard lock(m_mutex);
    if (!m_buffering) return E_INVALIDARG;
    if (m_buffer.empty()) return VFW_E_NOT_CONNECTED;
    if (!buffer) {
        *size = static_cast<long>(m_buffer.size());
        return S_OK;
    }
    const size_t n = std::min<size_t>(static_cast<size_t>(*size), m_buffer.size());
    std::memcpy(buffer, m_buffer.data(), n);
    *size = static_cast<long>(n);
    return S_OK;
}

HRESULT CSampleGrabber::GetCurrentSample(IMediaSample** sample) {
    if (sample) *sample = nullptr;
    return E_NOTIMPL;
}

HRESULT CSampleGrabber::SetCallback(ISampleGrabberCB* callback, long whichMethod) {
    if (whichMethod != 0 && whichMethod != 1) return E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    m_callback = callback;
    m_whichMethod = whichMethod;
    return S_OK;
}

bool CSampleGrabber::AcceptsConnection(CBasePin* pin, const AM_MEDIA_TYPE* mt) {
    if (pin != m_pins[0].get()) return true;
    std::lock_guard lock(m_mutex);
    if (!mt) return true;
    if (m_majorType != GUID_NULL && mt->majortype != m_majorType) return false;
    if (m_subtype != GUID_NULL && mt->subtype != m_subtype) return false;
    return true;
}

HRESULT CSampleGrabber::OnRun() {
    std::lock_guard lock(m_mutex);
    m_oneShotDone = false;
    return S_OK;
}

long CSampleGrabber::SamplesSeen() const {
    std::lock_guard lock(m_mutex);
    return m_samples;
}

HRESULT CSampleGrabber::ReceiveSample(CBasePin*, IMediaSample* sample) {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const LONG size = sample->GetActualDataLength();
    ISampleGrabberCB* callback = nullptr;
    long which = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_oneShot && m_oneShotDone) return S_FALSE;
        m_oneShotDone = m_oneShot;
        ++m_samples;
        if (m_buffering) m_buffer.assign(data, data + size);
        callback = m_callback;
        which = m_whichMethod;
    }
    if (callback) {
        REFERENCE_TIME start = 0;
        sample->GetTime(&start, nullptr);
        const double seconds = static_cast<double>(start) / 1e7;
        if (which == 0)
            callback->SampleCB(seconds, sample);
        else
            callback->BufferCB(seconds, data, size);
    }
    return m_pins[1]->Deliver(sample);
}
