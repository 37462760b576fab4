// Names of the module's result codes, for messages.
#pragma once
#include <cstdio>
#include <string>

#include "pxm/Result.h"

inline std::string ResultName(HRESULT hr) {
  switch (static_cast<uint32_t>(hr)) {
    case 0: return "S_OK";
    case 1: return "S_FALSE";
    case 0x80004001u: return "E_NOTIMPL";
    case 0x80004002u: return "E_NOINTERFACE";
    case 0x80004003u: return "E_POINTER";
    case 0x80004005u: return "E_FAIL";
    case 0x80070057u: return "E_INVALIDARG";
    case 0x8007000Eu: return "E_OUTOFMEMORY";
    case 0xF0040031u: return "PXM_E_NOTCREATABLE";
    default: return "unknown result";
  }
}

inline std::string DescribeResult(HRESULT hr) {
  char hex[16];
  std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<uint32_t>(hr));
  return std::string(hex) + " (" + ResultName(hr) + ")";
}
