// Result codes of every interface operation: a signed 32-bit value, negative on failure.
#pragma once
#include <cstdint>

typedef int32_t HRESULT;

inline constexpr HRESULT PXM_S_OK = 0;
inline constexpr HRESULT PXM_S_FALSE = 1;  // success with nothing (more) to hand out
inline constexpr HRESULT PXM_E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT PXM_E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT PXM_E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT PXM_E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT PXM_E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT PXM_E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT PXM_E_NOTCREATABLE = static_cast<HRESULT>(0xF0040031u);  // pixel format not creatable by this class

constexpr bool PXM_SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool PXM_FAILED(HRESULT hr) { return hr < 0; }
