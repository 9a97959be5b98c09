// Enumerates a snapshot of objects (pins, filters, monikers) taken when the enumerator is made;
// later changes to the source do not disturb a walk in progress.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/graph/dshow_interfaces.h"

template <class TEnum, class TItem>
class CSnapshotEnumerator : public TEnum {
    QV_REFCOUNTED_UNKNOWN()
  public:
    // iid: the enumerator interface's id, answered by QueryInterface.
    CSnapshotEnumerator(const GUID& iid, std::vector<CComPtr<TItem>> items)
        : m_iid(iid), m_items(std::move(items)) {}
    virtual ~CSnapshotEnumerator() = default;

    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == m_iid) {
            *out = static_cast<TEnum*>(this);
            this->AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }

    HRESULT Next(ULONG count, TItem** items, ULONG* fetched) override {
        if (!items) return E_POINTER;
        ULONG n = 0;
        while (n < count && m_pos < m_items.size()) {
            TItem* item = m_items[m_pos++].Get();
            item->AddRef();
            items[n++] = item;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }

    HRESULT Skip(ULONG count) override {
        m_pos = std::min(m_items.size(), m_pos + count);
        return m_pos < m_items.size() ? S_OK : S_FALSE;
    }

    HRESULT Reset() override {
        m_pos = 0;
        return S_OK;
    }

  private:
    GUID m_iid;
    std::vector<CComPtr<TItem>> m_items;
    size_t m_pos = 0;
};

using CEnumPins = CSnapshotEnumerator<IEnumPins, IPin>;
using CEnumFilters = CSnapshotEnumerator<IEnumFilters, IBaseFilter>;
using CEnumMoniker = CSnapshotEnumerator<IEnumMoniker, IMoniker>;
