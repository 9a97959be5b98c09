#include "platform/graph/pin_enumerator.h"

HRESULT CEnumPins::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumPins) {
        *out = static_cast<IEnumPins*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
    if (!pins) return E_POINTER;
    ULONG n = 0;
    while (n < count && m_pos < m_pins.size()) {
        IPin* p = m_pins[m_pos++].Get();
        p->AddRef();
        pins[n++] = p;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT CEnumPins::Skip(ULONG count) {
    m_pos = std::min(m_pins.size(), m_pos + count);
    return m_pos < m_pins.size() ? S_OK : S_FALSE;
}

HRESULT CEnumPins::Reset() {
    m_pos = 0;
    return S_OK;
}
