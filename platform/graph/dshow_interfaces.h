// The filter-graph interfaces the capture engine calls, with the names, members and codes it
// knows them by. Strings are QString (the wide string of the windows).
#pragma once

#include <QString>

#include "platform/graph/com_types.h"

// ---- identifiers -------------------------------------------------------------------------

// {00000000-0000-0000-C000-000000000046}
constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Interfaces and classes of this layer; the numbers only have to be distinct.
#define QV_GRAPH_GUID(name, n)                \
    constexpr GUID name {                     \
        0x51760000u + (n), 0x4752, 0x4150, {  \
            0x48, 0x51, 0x56, 0, 0, 0, 0, (n) \
        }                                     \
    }
QV_GRAPH_GUID(IID_ICreateDevEnum, 1);
QV_GRAPH_GUID(IID_IEnumMoniker, 2);
QV_GRAPH_GUID(IID_IMoniker, 3);
QV_GRAPH_GUID(IID_IPropertyBag, 4);
QV_GRAPH_GUID(IID_IBindCtx, 5);
QV_GRAPH_GUID(IID_IBaseFilter, 6);
QV_GRAPH_GUID(IID_IPin, 7);
QV_GRAPH_GUID(IID_IEnumPins, 8);
QV_GRAPH_GUID(IID_IEnumFilters, 9);
QV_GRAPH_GUID(IID_IGraphBuilder, 10);
QV_GRAPH_GUID(IID_IFilterGraph, 11);
QV_GRAPH_GUID(IID_IMediaControl, 12);
QV_GRAPH_GUID(IID_IVideoWindow, 13);
QV_GRAPH_GUID(IID_ICaptureGraphBuilder2, 14);
QV_GRAPH_GUID(IID_ISampleGrabber, 15);
QV_GRAPH_GUID(IID_ISampleGrabberCB, 16);
QV_GRAPH_GUID(IID_IAMStreamConfig, 17);
QV_GRAPH_GUID(IID_IAMVideoControl, 18);
QV_GRAPH_GUID(IID_IMediaSample, 19);
QV_GRAPH_GUID(CLSID_SystemDeviceEnum, 32);
QV_GRAPH_GUID(CLSID_CaptureGraphBuilder2, 33);
QV_GRAPH_GUID(CLSID_FilterGraph, 34);
QV_GRAPH_GUID(CLSID_SampleGrabber, 35);
QV_GRAPH_GUID(CLSID_NullRenderer, 36);
QV_GRAPH_GUID(CLSID_VideoRenderer, 37);
QV_GRAPH_GUID(CLSID_VideoInputDeviceCategory, 38);
QV_GRAPH_GUID(CLSID_AudioInputDeviceCategory, 39);
#undef QV_GRAPH_GUID

// Media types built on a four-character code: {XXXXXXXX-0000-0010-8000-00AA00389B71}.
constexpr GUID FourccGuid(std::uint32_t fourcc) {
    return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
constexpr GUID MEDIATYPE_Video = FourccGuid(0x73646976);  // 'vids'
constexpr GUID MEDIASUBTYPE_MJPG = FourccGuid(0x47504A4D);
constexpr GUID MEDIASUBTYPE_YUY2 = FourccGuid(0x32595559);
constexpr GUID FORMAT_VideoInfo{
    0x05589f80, 0xc356, 0x11ce, {0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};
constexpr GUID PIN_CATEGORY_CAPTURE{
    0xfb6c4281, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};
constexpr GUID PIN_CATEGORY_PREVIEW{
    0xfb6c4282, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};
constexpr GUID PIN_CATEGORY_STILL{
    0xfb6c428a, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};

// ---- structures --------------------------------------------------------------------------

struct RECT {
    LONG left = 0, top = 0, right = 0, bottom = 0;
};

struct BITMAPINFOHEADER {
    DWORD biSize = sizeof(BITMAPINFOHEADER);
    LONG biWidth = 0;
    LONG biHeight = 0;
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 0;
    DWORD biCompression = 0;
    DWORD biSizeImage = 0;
    LONG biXPelsPerMeter = 0;
    LONG biYPelsPerMeter = 0;
    DWORD biClrUsed = 0;
    DWORD biClrImportant = 0;
};

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate = 0;
    DWORD dwBitErrorRate = 0;
    REFERENCE_TIME AvgTimePerFrame = 0;  // 100 ns units
    BITMAPINFOHEADER bmiHeader;
};

struct AM_MEDIA_TYPE {
    GUID majortype = GUID_NULL;
    GUID subtype = GUID_NULL;
    BOOL bFixedSizeSamples = FALSE;
    BOOL bTemporalCompression = FALSE;
    ULONG lSampleSize = 0;
    GUID formattype = GUID_NULL;
    IUnknown* pUnk = nullptr;
    ULONG cbFormat = 0;
    BYTE* pbFormat = nullptr;
};

struct VIDEO_STREAM_CONFIG_CAPS {
    GUID guid = GUID_NULL;
    struct {
        LONG cx = 0, cy = 0;
    } MinOutputSize, MaxOutputSize;
    REFERENCE_TIME MinFrameInterval = 0;
    REFERENCE_TIME MaxFrameInterval = 0;
};

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

class IBaseFilter;
class IFilterGraph;
struct PIN_INFO {
    IBaseFilter* pFilter = nullptr;  // one reference, released by the caller
    PIN_DIRECTION dir = PINDIR_INPUT;
    QString achName;
};
struct FILTER_INFO {
    QString achName;
    IFilterGraph* pGraph = nullptr;  // one reference when set
};

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };

constexpr LONG OATRUE = -1;
constexpr LONG OAFALSE = 0;
constexpr LONG WS_CHILD = 0x40000000;
constexpr LONG WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

enum VARTYPE : std::uint16_t { VT_EMPTY = 0, VT_BSTR = 8 };
struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    QString bstrVal;
};
inline void VariantInit(VARIANT* v) {
    v->vt = VT_EMPTY;
    v->bstrVal.clear();
}
inline HRESULT VariantClear(VARIANT* v) {
    VariantInit(v);
    return S_OK;
}

// ---- interfaces --------------------------------------------------------------------------

class IMediaSample : public IUnknown {
  public:
    virtual HRESULT GetPointer(BYTE** buffer) = 0;
    virtual LONG GetSize() = 0;
    virtual LONG GetActualDataLength() = 0;
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
};

class IPin : public IUnknown {
  public:
    virtual HRESULT Connect(IPin* receive, const AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pin) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* dir) = 0;
    virtual HRESULT QueryId(QString* id) = 0;
};

class IEnumPins : public IUnknown {
  public:
    virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
};

class IMediaFilter : public IUnknown {
  public:
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Run(REFERENCE_TIME start) = 0;
    virtual HRESULT GetState(DWORD timeoutMs, FILTER_STATE* state) = 0;
};

class IBaseFilter : public IMediaFilter {
  public:
    virtual HRESULT EnumPins(IEnumPins** pins) = 0;
    virtual HRESULT FindPin(const QString& id, IPin** pin) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
    virtual HRESULT JoinFilterGraph(IFilterGraph* graph, const QString& name) = 0;
};

class IEnumFilters : public IUnknown {
  public:
    virtual HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
};

class IFilterGraph : public IUnknown {
  public:
    virtual HRESULT AddFilter(IBaseFilter* filter, const QString& name) = 0;
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** filters) = 0;
    virtual HRESULT FindFilterByName(const QString& name, IBaseFilter** filter) = 0;
    virtual HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT Reconnect(IPin* pin) = 0;
    virtual HRESULT Disconnect(IPin* pin) = 0;
    virtual HRESULT SetDefaultSyncSource() = 0;
};

class IGraphBuilder : public IFilterGraph {
  public:
    virtual HRESULT Connect(IPin* out, IPin* in) = 0;
};

class IMediaControl : public IUnknown {
  public:
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(LONG timeoutMs, FILTER_STATE* state) = 0;
};

class IVideoWindow : public IUnknown {
  public:
    virtual HRESULT put_WindowStyle(LONG style) = 0;
    virtual HRESULT get_WindowStyle(LONG* style) = 0;
    virtual HRESULT put_AutoShow(LONG autoShow) = 0;
    virtual HRESULT get_AutoShow(LONG* autoShow) = 0;
    virtual HRESULT put_Visible(LONG visible) = 0;
    virtual HRESULT get_Visible(LONG* visible) = 0;
    virtual HRESULT put_Owner(OAHWND owner) = 0;
    virtual HRESULT get_Owner(OAHWND* owner) = 0;
};

class IAMStreamConfig : public IUnknown {
  public:
    virtual HRESULT SetFormat(AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT GetFormat(AM_MEDIA_TYPE** mt) = 0;
    virtual HRESULT GetNumberOfCapabilities(int* count, int* size) = 0;
    virtual HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) = 0;
};

class IAMVideoControl : public IUnknown {
  public:
    virtual HRESULT GetCaps(IPin* pin, LONG* flags) = 0;
    virtual HRESULT SetMode(IPin* pin, LONG mode) = 0;
    virtual HRESULT GetMode(IPin* pin, LONG* mode) = 0;
};
constexpr LONG VideoControlFlag_Trigger = 0x4;
constexpr LONG VideoControlFlag_ExternalTriggerEnable = 0x8;

class ISampleGrabberCB : public IUnknown {
  public:
    virtual HRESULT SampleCB(double sampleTime, IMediaSample* sample) = 0;
    virtual HRESULT BufferCB(double sampleTime, BYTE* buffer, long bufferLength) = 0;
};

class ISampleGrabber : public IUnknown {
  public:
    virtual HRESULT SetOneShot(BOOL oneShot) = 0;
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT SetBufferSamples(BOOL buffer) = 0;
    virtual HRESULT GetCurrentBuffer(long* size, long* buffer) = 0;
    virtual HRESULT GetCurrentSample(IMediaSample** sample) = 0;
    virtual HRESULT SetCallback(ISampleGrabberCB* callback, long whichMethod) = 0;
};

class ICaptureGraphBuilder2 : public IUnknown {
  public:
    virtual HRESULT SetFiltergraph(IGraphBuilder* graph) = 0;
    virtual HRESULT GetFiltergraph(IGraphBuilder** graph) = 0;
    virtual HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter,
                                  REFIID iid, void** out) = 0;
    virtual HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                                 IBaseFilter* intermediate, IBaseFilter* sink) = 0;
    virtual HRESULT FindPin(IUnknown* source, PIN_DIRECTION dir, const GUID* category,
                            const GUID* type, BOOL unconnected, int index, IPin** pin) = 0;
};

class IPropertyBag : public IUnknown {
  public:
    virtual HRESULT Read(const QString& name, VARIANT* value, void* errorLog) = 0;
};

class IBindCtx : public IUnknown {};

class IMoniker : public IUnknown {
  public:
    virtual HRESULT BindToObject(IBindCtx* ctx, IMoniker* left, REFIID iid, void** out) = 0;
    virtual HRESULT BindToStorage(IBindCtx* ctx, IMoniker* left, REFIID iid, void** out) = 0;
    virtual HRESULT GetDisplayName(IBindCtx* ctx, IMoniker* left, QString* name) = 0;
};

class IEnumMoniker : public IUnknown {
  public:
    virtual HRESULT Next(ULONG count, IMoniker** monikers, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
};

class ICreateDevEnum : public IUnknown {
  public:
    virtual HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** monikers,
                                          DWORD flags) = 0;
};
