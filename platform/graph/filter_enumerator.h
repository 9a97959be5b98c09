// Enumerates a snapshot of a graph's filters.
#pragma once

#include <vector>

#include "platform/graph/dshow_interfaces.h"

class CEnumFilters : public IEnumFilters {
    QV_REFCOUNTED_UNKNOWN()
  public:
    explicit CEnumFilters(std::vector<CComPtr<IBaseFilter>> filters)
        : m_filters(std::move(filters)) {}
    virtual ~CEnumFilters() = default;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) override;
    HRESULT Skip(ULONG count) override;
    HRESULT Reset() override;

  private:
    std::vector<CComPtr<IBaseFilter>> m_filters;
    size_t m_pos = 0;
};
