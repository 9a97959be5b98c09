#include "platform/graph/filter_enumerator.h"

HRESULT CEnumFilters::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumFilters) {
        *out = static_cast<IEnumFilters*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CEnumFilters::Next(ULONG count, IBaseFilter** filters, ULONG* fetched) {
    if (!filters) return E_POINTER;
    ULONG n = 0;
    while (n < count && m_pos < m_filters.size()) {
        IBaseFilter* p = m_filters[m_pos++].Get();
        p->AddRef();
        filters[n++] = p;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT CEnumFilters::Skip(ULONG count) {
    m_pos = std::min(m_filters.size(), m_pos + count);
    return m_pos < m_filters.size() ? S_OK : S_FALSE;
}

HRESULT CEnumFilters::Reset() {
    m_pos = 0;
    return S_OK;
}
