#include "platform/graph/capture_graph_builder.h"

#include "platform/graph/base_pin.h"
#include "platform/graph/com_runtime.h"

namespace {

// A pin's category; pins from outside this layer have none.
GUID CategoryOf(IPin* pin) {
    auto* base = dynamic_cast<CBasePin*>(pin);
    return base ? base->Category() : GUID_NULL;
}

CComPtr<IPin> FirstFreePin(IBaseFilter* filter, PIN_DIRECTION dir) {
    CComPtr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(&pins))) return {};
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        CComPtr<IPin> held = CComPtr<IPin>::Attach(pin);
        PIN_DIRECTION d;
        CComPtr<IPin> other;
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == dir && FAILED(pin->ConnectedTo(&other)))
            return held;
    }
    return {};
}

}  // namespace

HRESULT CCaptureGraphBuilder::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ICaptureGraphBuilder2) {
        *out = static_cast<ICaptureGraphBuilder2*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT CCaptureGraphBuilder::SetFiltergraph(IGraphBuilder* graph) {
    if (!graph) return E_POINTER;
    if (m_graph) return E_UNEXPECTED;
    graph->AddRef();
    m_graph = CComPtr<IGraphBuilder>::Attach(graph);
    return S_OK;
}

HRESULT CCaptureGraphBuilder::GetFiltergraph(IGraphBuilder** graph) {
    if (!graph) return E_POINTER;
    *graph = m_graph.Get();
    if (!*graph) return E_UNEXPECTED;
    (*graph)->AddRef();
    return S_OK;
}

HRESULT CCaptureGraphBuilder::FindPin(IUnknown* source, PIN_DIRECTION dir, const GUID* category,
                                      const GUID* type, BOOL unconnected, int index, IPin** pin) {
    if (!source || !pin) return E_POINTER;
    *pin = nullptr;
    CComPtr<IBaseFilter> filter = QueryAs<IBaseFilter>(source, IID_IBaseFilter);
    if (!filter) {
        // A pin was given: it is its own only candidate.
        CComPtr<IPin> self = QueryAs<IPin>(source, IID_IPin);
        if (!self || index != 0) return E_FAIL;
        PIN_DIRECTION d;
        if (FAILED(self->QueryDirection(&d)) || d != dir) return E_FAIL;
        if (category && CategoryOf(self.Get()) != *category) return E_FAIL;
        *pin = self.Get();
        (*pin)->AddRef();
        return S_OK;
    }
    CComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins))) return E_FAIL;
    pins->Reset();
    IPin* p = nullptr;
    int seen = 0;
    while (pins->Next(1, &p, nullptr) == S_OK) {
        CComPtr<IPin> held = CComPtr<IPin>::Attach(p);
        PIN_DIRECTION d;
        if (FAILED(p->QueryDirection(&d)) || d != dir) continue;
        if (category && CategoryOf(p) != *category) continue;
        // Every pin of this layer carries video.
        if (type && *type != MEDIATYPE_Video) continue;
        if (unconnected) {
            CComPtr<IPin> other;
            if (SUCCEEDED(p->ConnectedTo(&other))) continue;
        }
        if (seen++ == index) {
            *pin = p;
            p->AddRef();
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT CCaptureGraphBuilder::FindInterface(const GUID* category, const GUID* type,
                                            IBaseFilter* filter, REFIID iid, void** out) {
    if (!filter || !out) return E_POINTER;
    *out = nullptr;
    if (!category) {
        if (SUCCEEDED(filter->QueryInterface(iid, out))) return S_OK;
    }
    CComPtr<IPin> pin;
    if (FAILED(FindPin(filter, PINDIR_OUTPUT, category, type, FALSE, 0, &pin)))
        return category ? E_FAIL : E_NOINTERFACE;
    return pin->QueryInterface(iid, out);
}

HRESULT CCaptureGraphBuilder::RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                                           IBaseFilter* intermediate, IBaseFilter* sink) {
    if (!m_graph) return E_UNEXPECTED;
    if (!source) return E_POINTER;
    HRESULT result = S_OK;
    CComPtr<IPin> from;
    if (FAILED(FindPin(source, PINDIR_OUTPUT, category, type, TRUE, 0, &from))) {
        if (!category || *category != PIN_CATEGORY_PREVIEW) return E_FAIL;
        if (FAILED(FindPin(source, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, type, TRUE, 0, &from)))
            return E_FAIL;
        result = VFW_S_NOPREVIEWPIN;
    }
    if (intermediate) {
        CComPtr<IPin> in = FirstFreePin(intermediate, PINDIR_INPUT);
        if (!in) return E_FAIL;
        const HRESULT hr = m_graph->ConnectDirect(from.Get(), in.Get(), nullptr);
        if (FAILED(hr)) return hr;
        from = FirstFreePin(intermediate, PINDIR_OUTPUT);
        if (!from) return result;  // the intermediate ends the stream
    }
    CComPtr<IBaseFilter> renderer;
    if (!sink) {
        HRESULT hr = CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IBaseFilter, renderer.AsOut());
        if (FAILED(hr)) return hr;
        hr = m_graph->AddFilter(renderer.Get(), QStringLiteral("Video Renderer"));
        if (FAILED(hr)) return hr;
        sink = renderer.Get();
    }
    CComPtr<IPin> in = FirstFreePin(sink, PINDIR_INPUT);
    if (!in) return E_FAIL;
    const HRESULT hr = m_graph->ConnectDirect(from.Get(), in.Get(), nullptr);
    return FAILED(hr) ? hr : result;
}
