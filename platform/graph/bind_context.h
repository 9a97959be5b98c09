// A bind context: carries nothing here, but the calls that take one get one.
#pragma once

#include "platform/graph/dshow_interfaces.h"

class CBindCtx : public IBindCtx {
    QV_REFCOUNTED_UNKNOWN()
  public:
    CBindCtx() = default;
    virtual ~CBindCtx() = default;
    HRESULT QueryInterface(REFIID iid, void** out) override;
};
