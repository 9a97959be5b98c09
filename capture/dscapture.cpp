#include "capture/dscapture.h"

#include <atomic>
#include <cerrno>
#include <vector>

#include "platform/graph/com_runtime.h"
#include "platform/graph/v4l2_source_filter.h"
#include "platform/message_delivery.h"

namespace {
std::atomic<DWORD> g_settleDelayMs{500};
constexpr REFERENCE_TIME kFrameInterval = 83333;  // 100 ns units
}  // namespace

void DsCapture::SetSettleDelayForTesting(DWORD ms) {
    g_settleDelayMs.store(ms);
}

DsCapture::DsCapture(ICaptureWindow* owner, QString displayName, CComPtr<IMoniker> moniker)
    : m_displayName(std::move(displayName)),
      m_owner(owner),
      m_moniker(std::move(moniker)),
      m_callback(owner) {}

bool dscap_access_denied(HRESULT hr) {
    return hr == HResultFromErrno(EACCES) || hr == HResultFromErrno(EPERM);
}

int dscap_errno(HRESULT hr) {
    const auto code = static_cast<unsigned>(hr);
    return (code & 0xFFFF0000u) == 0x80070000u ? static_cast<int>(code & 0xFFFFu) : 0;
}

DsCapture* dscap_open_device(ICaptureWindow* owner, const CaptureDeviceEntry& entry) {
    CoInitialize(nullptr);  // stays initialised on the window's thread
    CComPtr<IBindCtx> ctx;
    if (FAILED(CreateBindCtx(0, &ctx)) || !ctx) return nullptr;
    CComPtr<IMoniker> moniker;
    ULONG eaten = 0;
    if (FAILED(MkParseDisplayName(ctx.Get(), entry.displayName, &eaten, &moniker)) || !moniker)
        return nullptr;
    return new DsCapture(owner, entry.displayName, std::move(moniker));
}

HRESULT DsCapture::OpenSource() {
    if (!m_builder) {
        CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC,
                         IID_ICaptureGraphBuilder2, m_builder.AsOut());
        if (!m_builder) return E_FAIL;
    }
    if (!m_moniker) return E_FAIL;
    HRESULT hr = m_moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, m_source.AsOut());
    if (!m_source) {
        ReleaseInterfaces();
        return FAILED(hr) ? hr : E_FAIL;
    }
    if (!m_graph) {
        hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                              m_graph.AsOut());
        if (FAILED(hr) || !m_graph) {
            ReleaseInterfaces();
            return FAILED(hr) ? hr : E_FAIL;
        }
    }
    hr = m_builder->SetFiltergraph(m_graph.Get());
    if (hr != S_OK) {
        ReleaseInterfaces();
        return hr;
    }
    hr = m_graph->AddFilter(m_source.Get(), QStringLiteral("Source"));
    if (hr != S_OK) {
        ReleaseInterfaces();
        return hr;
    }
    m_source->QueryInterface(IID_IAMVideoControl, m_videoControl.AsOut());
    // The camera thread only posts: the window learns of the loss on its own thread.
    if (auto* camera = dynamic_cast<CV4l2SourceFilter*>(m_source.Get())) {
        ICaptureWindow* owner = m_owner;
        camera->SetStreamEndHandler([owner](int err) {
            if (owner)
                platform::PostMessageW(owner->GetCaptureHwnd(), WM_DEVICE_LOST,
                                       static_cast<WPARAM>(err), 0);
        });
    }
    return S_OK;
}

HRESULT DsCapture::BuildGraph() {
    const HRESULT hr = BeginBuildGraph();
    if (hr != S_OK) return hr;
    if (QueryAs<ISampleGrabber>(m_grabber.Get(), IID_ISampleGrabber)) Sleep(SettleDelayMs());
    return FinishBuildGraph();
}

DWORD DsCapture::SettleDelayMs() {
    return g_settleDelayMs.load();
}

HRESULT DsCapture::BeginBuildGraph() {
    if (m_graphBuilt) return S_FALSE;
    if (m_running) return E_FAIL;
    if (!m_source) return E_INVALIDARG;
    if (!m_graph || !m_builder) return E_INVALIDARG;
    if (m_grabber) return S_OK;  // begun already: the camera is settling

    HRESULT hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IBaseFilter, m_grabber.AsOut());
    if (FAILED(hr)) return hr;
    hr = m_graph->AddFilter(m_grabber.Get(), QStringLiteral("SampleGrabber"));
    if (FAILED(hr)) {
        m_grabber.Release();
        return hr;
    }
    return S_OK;
}

HRESULT DsCapture::FinishBuildGraph() {
    if (m_graphBuilt) return S_FALSE;
    if (m_running) return E_FAIL;
    if (!m_source || !m_graph || !m_builder || !m_grabber) return E_INVALIDARG;

    if (CComPtr<ISampleGrabber> grabber =
            QueryAs<ISampleGrabber>(m_grabber.Get(), IID_ISampleGrabber)) {
        // A camera without a stream configuration keeps its own format.
        CComPtr<IAMStreamConfig> config;
        m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, nullptr, m_source.Get(),
                                 IID_IAMStreamConfig, config.AsOut());
        AM_MEDIA_TYPE* mt = nullptr;
        if (config && SUCCEEDED(config->GetFormat(&mt)) && mt) {
            if (mt->pbFormat && mt->cbFormat >= sizeof(VIDEOINFOHEADER)) {
                mt->majortype = MEDIATYPE_Video;
                mt->subtype = MEDIASUBTYPE_MJPG;
                mt->formattype = FORMAT_VideoInfo;
                auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat);
                vih->AvgTimePerFrame = kFrameInterval;
                vih->bmiHeader.biWidth = 640;
                vih->bmiHeader.biHeight = 480;
                config->SetFormat(mt);  // a camera that refuses runs in its own format
            }
            DeleteMediaType(mt);
        }
        grabber->SetOneShot(FALSE);
        grabber->SetBufferSamples(TRUE);
        grabber->SetCallback(&m_callback, 1);
    }

    HRESULT hr = m_builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, m_source.Get(),
                                         m_grabber.Get(), nullptr);
    if (hr != S_OK && hr != VFW_S_NOPREVIEWPIN) {
        m_graphBuilt = 0;
        DismantleGraph();
        return hr;
    }

    hr = m_graph->QueryInterface(IID_IVideoWindow, m_videoWindow.AsOut());
    if (hr != S_OK) {
        DismantleGraph();
        return hr;
    }
    m_videoWindow->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS);
    m_videoWindow->put_AutoShow(OAFALSE);
    m_videoWindow->put_Visible(OAFALSE);

    if (m_videoControl) {
        if (!m_stillPin &&
            FAILED(m_builder->FindPin(m_source.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_STILL,
                                      &MEDIATYPE_Video, FALSE, 0, &m_stillPin)))
            m_videoControl.Release();
        if (m_stillPin) {
            if (!m_stillConfig)
                m_stillPin->QueryInterface(IID_IAMStreamConfig, m_stillConfig.AsOut());
            if (!m_stillConfig) {
                m_videoControl.Release();
                m_stillPin.Release();
            } else if (!AddStillPath()) {
                m_videoControl.Release();
                m_stillPin.Release();
                m_stillConfig.Release();
                m_stillGrabber.Release();
            }
        }
    }
    m_graphBuilt = 1;
    return S_OK;
}

bool DsCapture::AddStillPath() {
    CComPtr<IAMStreamConfig> config;
    if (FAILED(m_builder->FindInterface(&PIN_CATEGORY_STILL, &MEDIATYPE_Video, m_source.Get(),
                                        IID_IAMStreamConfig, config.AsOut())) ||
        !config)
        return false;
    int count = 0;
    int size = 0;
    if (FAILED(config->GetNumberOfCapabilities(&count, &size))) return false;
    // A still pin without capabilities keeps the format it has.
    if (count > 0) {
        std::vector<BYTE> caps(std::max<size_t>(static_cast<size_t>(std::max(size, 0)),
                                                sizeof(VIDEO_STREAM_CONFIG_CAPS)));
        AM_MEDIA_TYPE* mt = nullptr;
        if (SUCCEEDED(config->GetStreamCaps(0, &mt, caps.data())) && mt) {
            if (mt->pbFormat && mt->cbFormat >= sizeof(VIDEOINFOHEADER)) {
                mt->subtype = MEDIASUBTYPE_YUY2;
                mt->formattype = FORMAT_VideoInfo;
                auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat);
                vih->bmiHeader.biWidth = 640;
                vih->bmiHeader.biHeight = 480;
                config->SetFormat(mt);
            }
            DeleteMediaType(mt);
        }
    }

    CComPtr<IBaseFilter> nullRenderer;
    if (FAILED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                nullRenderer.AsOut())) ||
        FAILED(m_graph->AddFilter(nullRenderer.Get(), QStringLiteral("NullRender"))))
        return false;
    if (FAILED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                m_stillGrabber.AsOut())) ||
        FAILED(m_graph->AddFilter(m_stillGrabber.Get(), QStringLiteral("StillSampleGrabber")))) {
        m_graph->RemoveFilter(nullRenderer.Get());
        return false;
    }
    if (FAILED(m_builder->RenderStream(&PIN_CATEGORY_STILL, &MEDIATYPE_Video, m_source.Get(),
                                       m_stillGrabber.Get(), nullRenderer.Get()))) {
        m_graph->RemoveFilter(nullRenderer.Get());
        m_graph->RemoveFilter(m_stillGrabber.Get());
        return false;
    }
    if (CComPtr<ISampleGrabber> grabber =
            QueryAs<ISampleGrabber>(m_stillGrabber.Get(), IID_ISampleGrabber)) {
        grabber->SetOneShot(FALSE);
        grabber->SetBufferSamples(FALSE);
        grabber->SetCallback(&m_callback, 0);
    }
    return true;  // the graph keeps the null renderer
}

bool DsCapture::Run() {
    if (m_running) return true;
    if (!m_graphBuilt || !m_graph) return false;
    CComPtr<IMediaControl> control = QueryAs<IMediaControl>(m_graph.Get(), IID_IMediaControl);
    if (!control) return false;
    if (SUCCEEDED(control->Run())) {
        m_running = 1;
        return true;
    }
    // The camera would not stream: leave the graph stopped and say so, so that the window
    // reports a failed start instead of showing no picture without a word.
    control->Stop();
    return false;
}

bool DsCapture::Stop() {
    if (!m_running) return false;
    if (CComPtr<IMediaControl> control = QueryAs<IMediaControl>(m_graph.Get(), IID_IMediaControl))
        control->Stop();
    m_running = 0;
    return true;
}

void DsCapture::DismantleGraph() {
    m_grabber.Release();
    m_stillGrabber.Release();
    if (m_videoWindow) {
        m_videoWindow->put_Owner(0);
        m_videoWindow->put_Visible(OAFALSE);
        m_videoWindow.Release();
    }
    if (m_source) RemoveDownstream(m_source.Get());
    m_graphBuilt = 0;
}

void DsCapture::RemoveDownstream(IBaseFilter* filter) {
    if (!filter || !m_graph) return;
    CComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)) || !pins) return;
    pins->Reset();
    IPin* raw = nullptr;
    while (pins->Next(1, &raw, nullptr) == S_OK) {
        if (!raw) continue;
        CComPtr<IPin> pin = CComPtr<IPin>::Attach(raw);
        CComPtr<IPin> to;
        pin->ConnectedTo(&to);
        if (!to) continue;
        PIN_INFO info;
        if (FAILED(to->QueryPinInfo(&info))) break;
        CComPtr<IBaseFilter> owner = CComPtr<IBaseFilter>::Attach(info.pFilter);
        if (info.dir == PINDIR_INPUT) {
            RemoveDownstream(owner.Get());
            m_graph->Disconnect(to.Get());
            m_graph->Disconnect(pin.Get());
            m_graph->RemoveFilter(owner.Get());
        }
    }
}

void DsCapture::ReleaseInterfaces() {
    m_graph.Release();
    m_builder.Release();
    m_source.Release();
    m_grabber.Release();
    m_videoControl.Release();
    m_stillPin.Release();
    m_stillConfig.Release();
    m_stillGrabber.Release();
}

DsCapture::StillPath DsCapture::StillPathState() const {
    const int held = static_cast<int>(static_cast<bool>(m_videoControl)) +
                     static_cast<int>(static_cast<bool>(m_stillPin)) +
                     static_cast<int>(static_cast<bool>(m_stillConfig)) +
                     static_cast<int>(static_cast<bool>(m_stillGrabber));
    if (held == 0) return StillPath::None;
    return held == 4 ? StillPath::Built : StillPath::Partial;
}

bool DsCapture::HoldsInterfaces() const {
    return m_graph || m_builder || m_source || m_grabber || m_videoControl || m_stillPin ||
           m_stillConfig || m_stillGrabber;
}

void DsCapture::Close() {
    Stop();
    DismantleGraph();
    ReleaseInterfaces();
    m_moniker.Release();
    delete this;
}
