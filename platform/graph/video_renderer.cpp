#include "platform/graph/video_renderer.h"

CVideoRenderer::CVideoRenderer() {
    m_pins.push_back(
        std::make_unique<CBasePin>(this, QStringLiteral("Input"), PINDIR_INPUT, GUID_NULL));
}

HRESULT CVideoRenderer::QueryExtra(REFIID iid, void** out) {
    if (iid == IID_IVideoWindow) {
        *out = static_cast<IVideoWindow*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CVideoRenderer::OnRun() {
    // Running shows the window only when it shows itself automatically.
    std::lock_guard lock(m_mutex);
    if (m_autoShow == OATRUE) m_visible = OATRUE;
    return S_OK;
}

HRESULT CVideoRenderer::ReceiveSample(CBasePin*, IMediaSample*) {
    std::lock_guard lock(m_mutex);
    ++m_rendered;
    return S_OK;
}

long CVideoRenderer::SamplesRendered() const {
    std::lock_guard lock(m_mutex);
    return m_rendered;
}

#define QV_WINDOW_PROPERTY(Name, Type, member)        \
    HRESULT CVideoRenderer::put_##Name(Type value) {  \
        std::lock_guard lock(m_mutex);                \
        member = value;                               \
        return S_OK;                                  \
    }                                                 \
    HRESULT CVideoRenderer::get_##Name(Type* value) { \
        if (!value) return E_POINTER;                 \
        std::lock_guard lock(m_mutex);                \
        *value = member;                              \
        return S_OK;                                  \
    }
QV_WINDOW_PROPERTY(WindowStyle, LONG, m_style)
QV_WINDOW_PROPERTY(AutoShow, LONG, m_autoShow)
QV_WINDOW_PROPERTY(Visible, LONG, m_visible)
QV_WINDOW_PROPERTY(Owner, OAHWND, m_owner)
#undef QV_WINDOW_PROPERTY
