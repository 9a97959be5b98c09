// Enumerates a snapshot of a filter's pins.
#pragma once

#include <vector>

#include "platform/graph/dshow_interfaces.h"

class CEnumPins : public IEnumPins {
    QV_REFCOUNTED_UNKNOWN()
  public:
    explicit CEnumPins(std::vector<CComPtr<IPin>> pins) : m_pins(std::move(pins)) {}
    virtual ~CEnumPins() = default;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) override;
    HRESULT Skip(ULONG count) override;
    HRESULT Reset() override;

  private:
    std::vector<CComPtr<IPin>> m_pins;
    size_t m_pos = 0;
};
