#include "platform/graph/base_pin.h"

#include "platform/graph/base_filter.h"

CBasePin::CBasePin(CBaseFilter* owner, QString name, PIN_DIRECTION dir, const GUID& category)
    : m_owner(owner), m_name(std::move(name)), m_dir(dir), m_category(category) {}

CBasePin::~CBasePin() {
    // The filter disconnects its pins before it goes; this is the last guard.
    if (m_connected) m_connected->Release();
}

HRESULT CBasePin::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *out = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    return QueryExtra(iid, out);
}

HRESULT CBasePin::QueryExtra(REFIID, void**) {
    return E_NOINTERFACE;
}

ULONG CBasePin::AddRef() {
    return m_owner->AddRef();
}

ULONG CBasePin::Release() {
    return m_owner->Release();
}

bool CBasePin::IsConnected() const {
    std::lock_guard lock(m_mutex);
    return m_connected != nullptr;
}

HRESULT CBasePin::Connect(IPin* receive, const AM_MEDIA_TYPE* mt) {
    if (!receive) return E_POINTER;
    if (m_dir != PINDIR_OUTPUT) return E_UNEXPECTED;
    auto* other = dynamic_cast<CBasePin*>(receive);
    if (!other || other == this) return E_NOINTERFACE;
    if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
    const HRESULT hr = other->ReceiveConnection(this, mt);
    if (FAILED(hr)) return hr;
    std::lock_guard lock(m_mutex);
    other->AddRef();
    m_connected = other;
    return S_OK;
}

HRESULT CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) {
    if (!connector) return E_POINTER;
    if (m_dir != PINDIR_INPUT) return E_UNEXPECTED;
    auto* other = dynamic_cast<CBasePin*>(connector);
    if (!other) return E_NOINTERFACE;
    if (!m_owner->AcceptsConnection(this, mt)) return VFW_E_INVALIDMEDIATYPE;
    std::lock_guard lock(m_mutex);
    if (m_connected) return VFW_E_ALREADY_CONNECTED;
    other->AddRef();
    m_connected = other;
    return S_OK;
}

HRESULT CBasePin::Disconnect() {
    CBasePin* was = nullptr;
    {
        std::lock_guard lock(m_mutex);
        was = std::exchange(m_connected, nullptr);
    }
    if (!was) return S_FALSE;
    was->Release();
    return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    std::lock_guard lock(m_mutex);
    *pin = m_connected;
    if (!m_connected) return VFW_E_NOT_CONNECTED;
    m_connected->AddRef();
    return S_OK;
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = m_owner;
    m_owner->AddRef();
    info->dir = m_dir;
    info->achName = m_name;
    return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* dir) {
    if (!dir) return E_POINTER;
    *dir = m_dir;
    return S_OK;
}

HRESULT CBasePin::QueryId(QString* id) {
    if (!id) return E_POINTER;
    *id = m_name;
    return S_OK;
}

HRESULT CBasePin::Deliver(IMediaSample* sample) {
    CBasePin* to = nullptr;
    {
        std::lock_guard lock(m_mutex);
        to = m_connected;
        if (to) to->AddRef();
    }
    if (!to) return S_FALSE;
    const HRESULT hr = to->Receive(sample);
    to->Release();
    return hr;
}

HRESULT CBasePin::Receive(IMediaSample* sample) {
    if (m_dir != PINDIR_INPUT) return E_UNEXPECTED;
    return m_owner->ReceiveSample(this, sample);
}
