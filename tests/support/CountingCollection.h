// A component collection that hands out the components registered with it and counts references
// and lookups, so tests see the module release all it takes. It lives as long as the test wants.
#pragma once
#include <map>
#include <string>

#include "ComPtr.h"

class CountingCollection final : public IComponentCollection {
 public:
  // Handed out by GetComponent with a new reference each time; null withdraws the name.
  void Register(const std::wstring& name, IUnknown* component) {
    m_Components.erase(name);
    if (component) m_Components.emplace(name, ComPtr<IUnknown>((component->AddRef(), component)));
  }
  uint32_t References() const { return m_RefCount; }
  std::map<std::wstring, int> lookups;

  HRESULT QueryInterface(const IID& iid, void** out) override {
    *out = iid == pxm::iid::IUnknown || iid == pxm::iid::IComponentCollection ? this : nullptr;
    return *out ? (AddRef(), PXM_S_OK) : PXM_E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++m_RefCount; }
  uint32_t Release() override { return --m_RefCount; }
  HRESULT GetComponent(uint32_t nameLength, const wchar_t* name, const IID* iid, void** out) override {
    *out = nullptr;
    auto it = m_Components.find(std::wstring(name, nameLength));
    if (++lookups[std::wstring(name, nameLength)], it == m_Components.end()) return PXM_E_FAIL;
    return iid ? it->second->QueryInterface(*iid, out) : (it->second->AddRef(), *out = it->second.Get(), PXM_S_OK);
  }

 private:
  uint32_t m_RefCount = 1;  // the test's own reference
  std::map<std::wstring, ComPtr<IUnknown>> m_Components;
};
