#include "CountingCollection.h"

CountingCollection::~CountingCollection() {
  for (auto& [name, component] : m_Components) component->Release();
}

void CountingCollection::Register(const std::wstring& name, IUnknown* component) {
  component->AddRef();
  if (auto it = m_Components.find(name); it != m_Components.end()) it->second->Release();
  m_Components[name] = component;
}

HRESULT CountingCollection::QueryInterface(const IID& iid, void** out) {
  if (!out) return PXM_E_POINTER;
  *out = nullptr;
  if (iid != pxm::iid::IUnknown && iid != pxm::iid::IComponentCollection) return PXM_E_NOINTERFACE;
  *out = static_cast<IComponentCollection*>(this);
  AddRef();
  return PXM_S_OK;
}

uint32_t CountingCollection::AddRef() {
  ++addRefs;
  return ++m_RefCount;
}

uint32_t CountingCollection::Release() {
  ++releases;
  return --m_RefCount;
}

HRESULT CountingCollection::GetComponent(uint32_t nameLength, const wchar_t* name, const IID* iid, void** out) {
  if (!out) return PXM_E_POINTER;
  *out = nullptr;
  const std::wstring key(name, nameLength);
  ++lookups[key];
  auto it = m_Components.find(key);
  if (it == m_Components.end()) return PXM_E_FAIL;
  if (!iid) {
    it->second->AddRef();
    *out = it->second;
    return PXM_S_OK;
  }
  return it->second->QueryInterface(*iid, out);
}
