// Windows-style scalar types, result codes and message numbers shared by the whole tree.
#pragma once

#include <cstdint>

using BOOL = int;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HRESULT = std::int32_t;
using COLORREF = std::uint32_t;
using LONGLONG = std::int64_t;
using REFERENCE_TIME = std::int64_t;

// A window handle: a number that stays unique for the process, 0 for no window.
using HWND = std::uintptr_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT VFW_S_NOPREVIEWPIN = 0x0004027E;

inline constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
inline constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

constexpr UINT WM_USER = 0x0400;

inline constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
inline constexpr int GetRValue(COLORREF c) {
    return c & 0xFF;
}
inline constexpr int GetGValue(COLORREF c) {
    return (c >> 8) & 0xFF;
}
inline constexpr int GetBValue(COLORREF c) {
    return (c >> 16) & 0xFF;
}

inline constexpr LPARAM MAKELPARAM(int lo, int hi) {
    return static_cast<LPARAM>(static_cast<std::uint32_t>(
        (lo & 0xFFFF) | (static_cast<std::uint32_t>(hi & 0xFFFF) << 16)));
}
// Signed coordinates, as GET_X_LPARAM / GET_Y_LPARAM give them.
inline constexpr int GET_X_LPARAM(LPARAM l) {
    return static_cast<std::int16_t>(l & 0xFFFF);
}
inline constexpr int GET_Y_LPARAM(LPARAM l) {
    return static_cast<std::int16_t>((l >> 16) & 0xFFFF);
}
