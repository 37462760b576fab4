// A component collection of the test's own: hands out the components registered with it by
// name and counts every reference taken on it and every lookup, so tests can show that the
// module releases all it takes.
#pragma once
#include <map>
#include <string>

#include "ComPtr.h"

class CountingCollection final : public IComponentCollection {
 public:
  CountingCollection() = default;

  // Components handed out by GetComponent (with a new reference each time).
  void Register(const std::wstring& name, IUnknown* component);

  int addRefs = 0;
  int releases = 0;
  std::map<std::wstring, int> lookups;
  uint32_t References() const { return m_RefCount; }

  HRESULT QueryInterface(const IID& iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT GetComponent(uint32_t nameLength, const wchar_t* name, const IID* iid, void** out) override;

  ~CountingCollection();

 private:
  uint32_t m_RefCount = 1;  // the test's own reference; the object lives on the test's stack
  std::map<std::wstring, IUnknown*> m_Components;
};
