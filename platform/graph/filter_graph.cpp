#include "platform/graph/filter_graph.h"

#include "platform/graph/snapshot_enumerator.h"

namespace {
constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216u);
constexpr HRESULT VFW_S_DUPLICATE_NAME = 0x0004022D;
}  // namespace

CFilterGraph::CFilterGraph() = default;

CFilterGraph::~CFilterGraph() {
    Stop();
    for (Entry& e : m_filters) DisconnectAll(e.filter.Get());
    for (Entry& e : m_filters) e.filter->JoinFilterGraph(nullptr, QString());
    m_filters.clear();
}

ULONG CFilterGraph::Release() {
    const ULONG left = --m_refCount;
    if (left == 0) delete this;
    return left;
}

HRESULT CFilterGraph::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IFilterGraph || iid == IID_IGraphBuilder) {
        *out = static_cast<IGraphBuilder*>(this);
        AddRef();
        return S_OK;
    }
    if (iid == IID_IMediaControl) {
        *out = static_cast<IMediaControl*>(this);
        AddRef();
        return S_OK;
    }
    if (iid == IID_IVideoWindow) {
        // The graph speaks for its video renderer, when it has one.
        for (Entry& e : m_filters) {
            if (SUCCEEDED(e.filter->QueryInterface(iid, out))) return S_OK;
        }
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

QString CFilterGraph::UniqueName(const QString& wanted) const {
    auto taken = [&](const QString& n) {
        for (const Entry& e : m_filters)
            if (e.name == n) return true;
        return false;
    };
    const QString base = wanted.isEmpty() ? QStringLiteral("Filter") : wanted;
    if (!taken(base)) return base;
    for (int i = 1;; ++i) {
        const QString n = base + QStringLiteral(" %1").arg(i, 4, 10, QLatin1Char('0'));
        if (!taken(n)) return n;
    }
}

HRESULT CFilterGraph::AddFilter(IBaseFilter* filter, const QString& name) {
    if (!filter) return E_POINTER;
    for (const Entry& e : m_filters)
        if (e.filter.Get() == filter) return VFW_E_DUPLICATE_NAME;
    const QString unique = UniqueName(name);
    filter->AddRef();
    m_filters.push_back({CComPtr<IBaseFilter>::Attach(filter), unique});
    filter->JoinFilterGraph(this, unique);
    if (m_state == State_Running) filter->Run(0);
    return unique == name ? S_OK : VFW_S_DUPLICATE_NAME;
}

void CFilterGraph::DisconnectAll(IBaseFilter* filter) {
    CComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins))) return;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        CComPtr<IPin> held = CComPtr<IPin>::Attach(pin);
        CComPtr<IPin> other;
        if (SUCCEEDED(pin->ConnectedTo(&other)) && other) other->Disconnect();
        pin->Disconnect();
    }
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* filter) {
    for (auto it = m_filters.begin(); it != m_filters.end(); ++it) {
        if (it->filter.Get() != filter) continue;
        filter->Stop();
        DisconnectAll(filter);
        filter->JoinFilterGraph(nullptr, QString());
        m_filters.erase(it);  // drops the graph's reference
        return S_OK;
    }
    return VFW_E_NOT_FOUND;
}

HRESULT CFilterGraph::EnumFilters(IEnumFilters** filters) {
    if (!filters) return E_POINTER;
    std::vector<CComPtr<IBaseFilter>> list;
    for (const Entry& e : m_filters) list.push_back(e.filter);
    *filters = new CEnumFilters(IID_IEnumFilters, std::move(list));
    return S_OK;
}

HRESULT CFilterGraph::FindFilterByName(const QString& name, IBaseFilter** filter) {
    if (!filter) return E_POINTER;
    *filter = nullptr;
    for (const Entry& e : m_filters) {
        if (e.name == name) {
            *filter = e.filter.Get();
            (*filter)->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT CFilterGraph::ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) {
    if (!out || !in) return E_POINTER;
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    for (IPin* pin : {out, in}) {
        PIN_INFO info;
        if (FAILED(pin->QueryPinInfo(&info))) return E_FAIL;
        CComPtr<IBaseFilter> owner = CComPtr<IBaseFilter>::Attach(info.pFilter);
        bool inGraph = false;
        for (const Entry& e : m_filters) inGraph = inGraph || e.filter.Get() == owner.Get();
        if (!inGraph) return VFW_E_NOT_IN_GRAPH;
    }
    return out->Connect(in, mt);
}

HRESULT CFilterGraph::Reconnect(IPin*) {
    return E_NOTIMPL;
}

HRESULT CFilterGraph::Disconnect(IPin* pin) {
    if (!pin) return E_POINTER;
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    return pin->Disconnect();
}

HRESULT CFilterGraph::Run() {
    if (m_state == State_Running) return S_OK;
    // Downstream first, so that the sources find everything ready.
    for (auto it = m_filters.rbegin(); it != m_filters.rend(); ++it) {
        const HRESULT hr = it->filter->Run(0);
        if (FAILED(hr)) {
            for (Entry& e : m_filters) e.filter->Stop();
            m_state = State_Stopped;
            return hr;
        }
    }
    m_state = State_Running;
    return S_OK;
}

HRESULT CFilterGraph::Pause() {
    for (Entry& e : m_filters) e.filter->Pause();
    m_state = State_Paused;
    return S_OK;
}

HRESULT CFilterGraph::Stop() {
    // Sources first: their streaming threads end before anything below them stops.
    for (Entry& e : m_filters) e.filter->Stop();
    m_state = State_Stopped;
    return S_OK;
}

HRESULT CFilterGraph::GetState(LONG, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    *state = m_state;
    return S_OK;
}
