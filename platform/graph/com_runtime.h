// The few COM entry points the capture code calls: initialisation, object creation, display
// name parsing, task memory and media types.
#pragma once

#include <QString>
#include <cstddef>

#include "platform/graph/dshow_interfaces.h"

// Counted per thread; S_FALSE when the thread was already initialised.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// Creates the filters and helpers of this layer: CLSID_SystemDeviceEnum,
// CLSID_CaptureGraphBuilder2, CLSID_FilterGraph, CLSID_SampleGrabber, CLSID_NullRenderer,
// CLSID_VideoRenderer. REGDB_E_CLASSNOTREG for anything else.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out);
// Tests make the creation of one class fail (null: none fails).
void SetCoCreateFailureForTesting(const CLSID* clsid);

HRESULT CreateBindCtx(DWORD reserved, IBindCtx** ctx);
// A device display name back into its moniker; MK_E_SYNTAX when it names no device of ours.
HRESULT MkParseDisplayName(IBindCtx* ctx, const QString& name, ULONG* eaten, IMoniker** moniker);

void* CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void* p);

// Media types as the stream configuration hands them out: the structure and its format block
// are freed with DeleteMediaType.
AM_MEDIA_TYPE* CreateVideoInfoMediaType(const GUID& subtype, LONG width, LONG height,
                                        REFERENCE_TIME avgTimePerFrame);
void FreeMediaType(AM_MEDIA_TYPE& mt);
void DeleteMediaType(AM_MEDIA_TYPE* mt);
// The VIDEOINFOHEADER of a media type, or null when it has none.
VIDEOINFOHEADER* VideoInfoOf(const AM_MEDIA_TYPE* mt);

void Sleep(DWORD ms);
