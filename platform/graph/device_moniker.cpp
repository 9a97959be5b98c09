#include "platform/graph/device_moniker.h"

#include "platform/graph/property_bag.h"
#include "platform/graph/v4l2_source_filter.h"
#include "platform/v4l2/device_discovery.h"

bool CDeviceMoniker::IsDeviceDisplayName(const QString& name) {
    return !platform::v4l2::IdentityFromDisplayName(name).empty();
}

HRESULT CDeviceMoniker::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMoniker) {
        *out = static_cast<IMoniker*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT CDeviceMoniker::BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const auto device = platform::v4l2::FindCaptureDevice(m_displayName);
    if (!device) return VFW_E_NO_CAPTURE_HARDWARE;
    CComPtr<IBaseFilter> filter;
    const HRESULT hr = CV4l2SourceFilter::Create(*device, &filter);
    if (FAILED(hr)) return hr;
    return filter->QueryInterface(iid, out);
}

HRESULT CDeviceMoniker::BindToStorage(IBindCtx*, IMoniker*, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IPropertyBag) return E_NOINTERFACE;
    const auto device = platform::v4l2::FindCaptureDevice(m_displayName);
    if (!device) return VFW_E_NO_CAPTURE_HARDWARE;
    QMap<QString, QString> values;
    if (!device->card.isEmpty()) values.insert(QStringLiteral("FriendlyName"), device->card);
    values.insert(QStringLiteral("DevicePath"), QString::fromStdString(device->node));
    *out = static_cast<IPropertyBag*>(new CPropertyBag(std::move(values)));
    return S_OK;
}

HRESULT CDeviceMoniker::GetDisplayName(IBindCtx*, IMoniker*, QString* name) {
    if (!name) return E_POINTER;
    *name = m_displayName;
    return S_OK;
}
