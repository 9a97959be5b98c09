// The COM shapes the capture graph is written in: GUIDs, IUnknown, a holder of one reference.
// Plain C++: no apartments, no registry, no marshalling.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/win_types.h"

using ULONG = std::uint32_t;
using LONG = std::int32_t;
using DWORD = std::uint32_t;
using BYTE = std::uint8_t;
using OAHWND = std::intptr_t;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !(a == b);
}
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

class IUnknown {
  public:
    virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    ~IUnknown() = default;
};

constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT MK_E_SYNTAX = static_cast<HRESULT>(0x800401E4u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT VFW_E_NOT_STOPPED = static_cast<HRESULT>(0x80040224u);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = static_cast<HRESULT>(0x80040204u);
constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209u);
constexpr HRESULT VFW_E_NOT_IN_GRAPH = static_cast<HRESULT>(0x8004025Fu);
constexpr HRESULT VFW_E_NO_CAPTURE_HARDWARE = static_cast<HRESULT>(0x80040218u);
constexpr HRESULT VFW_E_INVALIDMEDIATYPE = static_cast<HRESULT>(0x80040200u);
constexpr HRESULT VFW_E_DUPLICATE_NAME = static_cast<HRESULT>(0x8004023Bu);

// An errno value as a failure code (HRESULT_FROM_WIN32 style, facility 7).
inline HRESULT HResultFromErrno(int err) {
    return err ? static_cast<HRESULT>(0x80070000u | (static_cast<unsigned>(err) & 0xFFFFu))
               : E_FAIL;
}

// Holds one reference; Release() gives it back early, as the engine does step by step.
template <class T>
class CComPtr {
  public:
    CComPtr() = default;
    CComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already owns.
    static CComPtr Attach(T* p) {
        CComPtr c;
        c.m_p = p;
        return c;
    }
    CComPtr(const CComPtr& o) : m_p(o.m_p) {
        if (m_p) m_p->AddRef();
    }
    CComPtr(CComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    CComPtr& operator=(const CComPtr& o) {
        CComPtr(o).Swap(*this);
        return *this;
    }
    CComPtr& operator=(CComPtr&& o) noexcept {
        CComPtr(std::move(o)).Swap(*this);
        return *this;
    }
    ~CComPtr() { Release(); }

    void Release() {
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-parameters: releases what is held and gives the slot.
    T** operator&() {
        Release();
        return &m_p;
    }
    void** AsOut() {
        Release();
        return reinterpret_cast<void**>(&m_p);
    }
    void Swap(CComPtr& o) { std::swap(m_p, o.m_p); }

  private:
    T* m_p = nullptr;
};

// Asks an object for another interface; null when it has none.
template <class T>
CComPtr<T> QueryAs(IUnknown* unk, REFIID iid) {
    CComPtr<T> out;
    if (unk) unk->QueryInterface(iid, out.AsOut());
    return out;
}

// The reference count of a class that is deleted when its last reference goes.
#define QV_REFCOUNTED_UNKNOWN()          \
  public:                                \
    ULONG AddRef() override {            \
        return ++m_refCount;             \
    }                                    \
    ULONG Release() override {           \
        const ULONG left = --m_refCount; \
        if (left == 0) delete this;      \
        return left;                     \
    }                                    \
                                         \
  private:                               \
    std::atomic<ULONG> m_refCount{1};    \
                                         \
  public:

// A class with a second interface forwards that interface's IUnknown to its first base.
#define QV_FORWARD_UNKNOWN(Base)                              \
    HRESULT QueryInterface(REFIID iid, void** out) override { \
        return Base::QueryInterface(iid, out);                \
    }                                                         \
    ULONG AddRef() override {                                 \
        return Base::AddRef();                                \
    }                                                         \
    ULONG Release() override {                                \
        return Base::Release();                               \
    }
