#include "platform/graph/base_filter.h"

#include "platform/graph/snapshot_enumerator.h"

CBaseFilter::CBaseFilter() = default;

CBaseFilter::~CBaseFilter() {
    for (auto& pin : m_pins) pin->Disconnect();
}

ULONG CBaseFilter::Release() {
    const ULONG left = --m_refCount;
    if (left == 0) delete this;
    return left;
}

HRESULT CBaseFilter::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IBaseFilter) {
        *out = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    return QueryExtra(iid, out);
}

HRESULT CBaseFilter::QueryExtra(REFIID, void**) {
    return E_NOINTERFACE;
}

HRESULT CBaseFilter::Stop() {
    if (m_state.exchange(State_Stopped) != State_Stopped) OnStop();
    return S_OK;
}

HRESULT CBaseFilter::Pause() {
    if (m_state.load() == State_Running) {
        OnStop();
    }
    m_state.store(State_Paused);
    return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME) {
    if (m_state.load() == State_Running) return S_OK;
    const HRESULT hr = OnRun();
    if (FAILED(hr)) {
        m_state.store(State_Stopped);
        return hr;
    }
    m_state.store(State_Running);
    return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    *state = m_state.load();
    return S_OK;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** pins) {
    if (!pins) return E_POINTER;
    std::vector<CComPtr<IPin>> list;
    for (auto& pin : m_pins) {
        pin->AddRef();
        list.push_back(CComPtr<IPin>::Attach(pin.get()));
    }
    *pins = new CEnumPins(IID_IEnumPins, std::move(list));
    return S_OK;
}

HRESULT CBaseFilter::FindPin(const QString& id, IPin** pin) {
    if (!pin) return E_POINTER;
    *pin = nullptr;
    for (auto& p : m_pins) {
        if (p->Name() == id) {
            p->AddRef();
            *pin = p.get();
            return S_OK;
        }
    }
    return static_cast<HRESULT>(0x80040216u);  // VFW_E_NOT_FOUND
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    info->achName = m_name;
    info->pGraph = m_graph;
    if (m_graph) m_graph->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* graph, const QString& name) {
    m_graph = graph;
    m_name = graph ? name : QString();
    return S_OK;
}

HRESULT CBaseFilter::ReceiveSample(CBasePin*, IMediaSample*) {
    return S_OK;
}

bool CBaseFilter::AcceptsConnection(CBasePin*, const AM_MEDIA_TYPE*) {
    return true;
}
