#include "platform/graph/property_bag.h"

HRESULT CPropertyBag::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPropertyBag) {
        *out = static_cast<IPropertyBag*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT CPropertyBag::Read(const QString& name, VARIANT* value, void*) {
    if (!value) return E_POINTER;
    auto it = m_values.find(name);
    if (it == m_values.end()) return E_INVALIDARG;
    if (value->vt != VT_BSTR && value->vt != VT_EMPTY) return E_FAIL;
    value->vt = VT_BSTR;
    value->bstrVal = it.value();
    return S_OK;
}
