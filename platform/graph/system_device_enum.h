// The system device enumerator: the video input category lists the V4L2 video devices by
// their display names; binding a moniker (storage or object) fails for one that does not capture.
#pragma once

#include "platform/graph/dshow_interfaces.h"

class CSystemDeviceEnum : public ICreateDevEnum {
    QV_REFCOUNTED_UNKNOWN()
  public:
    CSystemDeviceEnum() = default;
    virtual ~CSystemDeviceEnum() = default;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    // S_FALSE and no enumerator when the category is empty (or not one of video input).
    HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** monikers, DWORD flags) override;
};
