#include "platform/graph/bind_context.h"

HRESULT CBindCtx::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IBindCtx) {
        *out = static_cast<IBindCtx*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}
