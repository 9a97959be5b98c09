#include "platform/graph/com_runtime.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/graph/bind_context.h"
#include "platform/graph/capture_graph_builder.h"
#include "platform/graph/device_moniker.h"
#include "platform/graph/filter_graph.h"
#include "platform/graph/null_renderer.h"
#include "platform/graph/sample_grabber.h"
#include "platform/graph/system_device_enum.h"
#include "platform/graph/video_renderer.h"

namespace {
thread_local int t_comInits = 0;
std::atomic<const CLSID*> g_failingClass{nullptr};

template <class T>
HRESULT Hand(T* object, REFIID iid, void** out) {
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}
}  // namespace

HRESULT CoInitialize(void*) {
    return t_comInits++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (t_comInits > 0) --t_comInits;
}

void SetCoCreateFailureForTesting(const CLSID* clsid) {
    g_failingClass.store(clsid);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return E_NOINTERFACE;  // no aggregation
    const CLSID* failing = g_failingClass.load();
    if (failing && *failing == clsid) return REGDB_E_CLASSNOTREG;
    if (clsid == CLSID_SystemDeviceEnum) return Hand(new CSystemDeviceEnum, iid, out);
    if (clsid == CLSID_CaptureGraphBuilder2) return Hand(new CCaptureGraphBuilder, iid, out);
    if (clsid == CLSID_FilterGraph) return Hand(new CFilterGraph, iid, out);
    if (clsid == CLSID_SampleGrabber) return Hand(new CSampleGrabber, iid, out);
    if (clsid == CLSID_NullRenderer) return Hand(new CNullRenderer, iid, out);
    if (clsid == CLSID_VideoRenderer) return Hand(new CVideoRenderer, iid, out);
    return REGDB_E_CLASSNOTREG;
}

HRESULT CreateBindCtx(DWORD, IBindCtx** ctx) {
    if (!ctx) return E_POINTER;
    *ctx = new CBindCtx;
    return S_OK;
}

HRESULT MkParseDisplayName(IBindCtx* ctx, const QString& name, ULONG* eaten, IMoniker** moniker) {
    if (!ctx || !moniker) return E_INVALIDARG;
    *moniker = nullptr;
    if (eaten) *eaten = 0;
    if (!CDeviceMoniker::IsDeviceDisplayName(name)) return MK_E_SYNTAX;
    *moniker = new CDeviceMoniker(name);
    if (eaten) *eaten = static_cast<ULONG>(name.size());
    return S_OK;
}

void* CoTaskMemAlloc(std::size_t size) {
    return std::malloc(size ? size : 1);
}

void CoTaskMemFree(void* p) {
    std::free(p);
}

AM_MEDIA_TYPE* CreateVideoInfoMediaType(const GUID& subtype, LONG width, LONG height,
                                        REFERENCE_TIME avgTimePerFrame) {
    auto* mt = new AM_MEDIA_TYPE;
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = subtype;
    mt->formattype = FORMAT_VideoInfo;
    mt->bFixedSizeSamples = subtype == MEDIASUBTYPE_MJPG ? FALSE : TRUE;
    mt->cbFormat = sizeof(VIDEOINFOHEADER);
    auto* vih = new (CoTaskMemAlloc(sizeof(VIDEOINFOHEADER))) VIDEOINFOHEADER;
    vih->AvgTimePerFrame = avgTimePerFrame;
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biCompression = subtype.Data1;
    vih->bmiHeader.biBitCount = subtype == MEDIASUBTYPE_YUY2 ? 16 : 24;
    vih->bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 2);
    vih->rcSource = {0, 0, width, height};
    vih->rcTarget = vih->rcSource;
    mt->pbFormat = reinterpret_cast<BYTE*>(vih);
    mt->lSampleSize = vih->bmiHeader.biSizeImage;
    return mt;
}

void FreeMediaType(AM_MEDIA_TYPE& mt) {
    if (mt.pbFormat) CoTaskMemFree(mt.pbFormat);
    mt.pbFormat = nullptr;
    mt.cbFormat = 0;
    if (mt.pUnk) mt.pUnk->Release();
    mt.pUnk = nullptr;
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) {
    if (!mt) return;
    FreeMediaType(*mt);
    delete mt;
}

VIDEOINFOHEADER* VideoInfoOf(const AM_MEDIA_TYPE* mt) {
    if (!mt || mt->formattype != FORMAT_VideoInfo || !mt->pbFormat ||
        mt->cbFormat < sizeof(VIDEOINFOHEADER))
        return nullptr;
    return reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat);
}

void Sleep(DWORD ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
