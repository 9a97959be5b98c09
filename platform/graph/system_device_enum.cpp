#include "platform/graph/system_device_enum.h"

#include "platform/graph/device_moniker.h"
#include "platform/graph/snapshot_enumerator.h"
#include "platform/v4l2/device_discovery.h"

HRESULT CSystemDeviceEnum::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ICreateDevEnum) {
        *out = static_cast<ICreateDevEnum*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT CSystemDeviceEnum::CreateClassEnumerator(REFCLSID category, IEnumMoniker** monikers,
                                                 DWORD) {
    if (!monikers) return E_POINTER;
    *monikers = nullptr;
    if (category != CLSID_VideoInputDeviceCategory) return S_FALSE;
    // Listing opens nothing: a device is opened only when its moniker is bound, so the caller
    // can pass over other programs' cameras by their display names alone.
    std::vector<CComPtr<IMoniker>> list;
    for (const auto& device : platform::v4l2::ListVideoDevices())
        list.push_back(CComPtr<IMoniker>::Attach(new CDeviceMoniker(device.displayName)));
    if (list.empty()) return S_FALSE;
    *monikers = new CEnumMoniker(IID_IEnumMoniker, std::move(list));
    return S_OK;
}
