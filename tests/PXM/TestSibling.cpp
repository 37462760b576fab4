// A sibling module of the tests' own: records how the module loader calls it.
#include <string_view>

#include "pxm/HostInterfaces.h"

#define EXPORT extern "C" __attribute__((visibility("default")))
static int gInitializeCalls = 0;
static IComponentCollection* gLastCollection = nullptr;
static HRESULT CreateNothing(void*, const IID*, void** out) { return *out = nullptr, PXM_E_NOINTERFACE; }

EXPORT HRESULT InitializeModule(void*, IComponentCollection* collection) { return ++gInitializeCalls, gLastCollection = collection, PXM_S_OK; }
EXPORT HRESULT CreateFunction(tagREFString name, void** creator) {
  return std::wstring_view(name.m_Text, name.m_Length) != L"Nothing" ? PXM_E_FAIL : (*creator = reinterpret_cast<void*>(&CreateNothing), PXM_S_OK);
}
EXPORT int TestSiblingInitializeCalls() { return gInitializeCalls; }
EXPORT IComponentCollection* TestSiblingLastCollection() { return gLastCollection; }
