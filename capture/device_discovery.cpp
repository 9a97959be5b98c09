#include "capture/device_discovery.h"

#include "platform/graph/com_runtime.h"

const SupportedCamera kSupportedCameras[kSupportedCameraSlots] = {{"534D", "0021"}};

namespace {

// Up to four characters after a marker and its separator. Without the marker the text is
// taken from position 3 (position -1 + 4), as the search result dictates.
QString IdAfter(const QString& name, const QString& marker) {
    const qsizetype at = name.indexOf(marker, 0, Qt::CaseSensitive);
    const qsizetype from = at + 4;
    if (from >= name.size()) return QString();
    return name.mid(from, 4);
}

bool SameText(const QString& a, const char* b) {
    return a.compare(QLatin1String(b ? b : ""), Qt::CaseInsensitive) == 0;
}

}  // namespace

bool dscap_is_supported_device(QString displayName) {
    const QString pid = IdAfter(displayName, QStringLiteral("pid"));
    const QString vid = IdAfter(displayName, QStringLiteral("vid"));
    for (const SupportedCamera& slot : kSupportedCameras) {
        // An unused slot would otherwise "match" a name that carries no ids at all.
        if (!slot.vendorId || !slot.productId || !*slot.vendorId || !*slot.productId) continue;
        if (SameText(pid, slot.productId) && SameText(vid, slot.vendorId)) return true;
    }
    return false;
}

std::vector<CaptureDeviceEntry> dscap_enum_device() {
    std::vector<CaptureDeviceEntry> list;
    CoInitialize(nullptr);
    {
        CComPtr<ICreateDevEnum> devEnum;
        CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                         devEnum.AsOut());
        CComPtr<IEnumMoniker> monikers;
        if (devEnum &&
            devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) == S_OK &&
            monikers) {
            monikers->Reset();
            IMoniker* raw = nullptr;
            ULONG fetched = 0;
            while (monikers->Next(1, &raw, &fetched) == S_OK) {
                CComPtr<IMoniker> moniker = CComPtr<IMoniker>::Attach(raw);
                QString displayName;
                if (FAILED(moniker->GetDisplayName(nullptr, nullptr, &displayName))) continue;
                // The ids are in the name: an unsupported camera is passed over before its
                // property bag would open it (the result is the same either way).
                if (!dscap_is_supported_device(displayName)) continue;
                CComPtr<IPropertyBag> bag;
                if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.AsOut())))
                    continue;
                VARIANT name;
                VariantInit(&name);
                name.vt = VT_BSTR;
                if (FAILED(bag->Read(QStringLiteral("FriendlyName"), &name, nullptr))) continue;
                list.push_back({displayName, name.bstrVal});
                VariantClear(&name);
            }
        }
    }
    CoUninitialize();
    return list;
}
