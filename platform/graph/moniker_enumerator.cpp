#include "platform/graph/moniker_enumerator.h"

HRESULT CEnumMoniker::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumMoniker) {
        *out = static_cast<IEnumMoniker*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CEnumMoniker::Next(ULONG count, IMoniker** monikers, ULONG* fetched) {
    if (!monikers) return E_POINTER;
    ULONG n = 0;
    while (n < count && m_pos < m_monikers.size()) {
        IMoniker* p = m_monikers[m_pos++].Get();
        p->AddRef();
        monikers[n++] = p;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT CEnumMoniker::Skip(ULONG count) {
    m_pos = std::min(m_monikers.size(), m_pos + count);
    return m_pos < m_monikers.size() ? S_OK : S_FALSE;
}

HRESULT CEnumMoniker::Reset() {
    m_pos = 0;
    return S_OK;
}
