// A sibling module of the tests' own: records how the module loader calls it.
#include <atomic>
#include <string_view>

#include "pxm/HostInterfaces.h"

namespace {
std::atomic<int> gInitializeCalls{0};
IComponentCollection* gLastCollection = nullptr;

HRESULT CreateNothing(void*, const IID*, void** out) {
  if (out) *out = nullptr;
  return PXM_E_NOINTERFACE;
}
}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT InitializeModule(void*, IComponentCollection* collection) {
  ++gInitializeCalls;
  gLastCollection = collection;
  return PXM_S_OK;
}

extern "C" __attribute__((visibility("default"))) HRESULT CreateFunction(tagREFString name, void** creator) {
  if (name.m_Length == 7 && std::wstring_view(name.m_Text, 7) == L"Nothing") {
    *creator = reinterpret_cast<void*>(&CreateNothing);
    return PXM_S_OK;
  }
  return PXM_E_FAIL;
}

extern "C" __attribute__((visibility("default"))) int TestSiblingInitializeCalls() { return gInitializeCalls; }
extern "C" __attribute__((visibility("default"))) IComponentCollection* TestSiblingLastCollection() {
  return gLastCollection;
}
