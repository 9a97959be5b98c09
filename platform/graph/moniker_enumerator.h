// Enumerates the monikers of a device category, in the order the devices were found.
#pragma once

#include <vector>

#include "platform/graph/dshow_interfaces.h"

class CEnumMoniker : public IEnumMoniker {
    QV_REFCOUNTED_UNKNOWN()
  public:
    explicit CEnumMoniker(std::vector<CComPtr<IMoniker>> monikers)
        : m_monikers(std::move(monikers)) {}
    virtual ~CEnumMoniker() = default;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    HRESULT Next(ULONG count, IMoniker** monikers, ULONG* fetched) override;
    HRESULT Skip(ULONG count) override;
    HRESULT Reset() override;

  private:
    std::vector<CComPtr<IMoniker>> m_monikers;
    size_t m_pos = 0;
};
