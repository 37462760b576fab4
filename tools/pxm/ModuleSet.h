// The modules the tool hosts: the sibling module "DuvirovurozAd" (the host framework) and the
// PXM module, both loaded by path from the tool's own directory, with the host's collection
// handed to the module. From then on the tool works through CreateFunction and interfaces only.
#pragma once
#include <string>

#include "pxm/ComPtr.h"
#include "pxm/PXM.h"

class ModuleSet {
 public:
  // Loads both modules; on failure error() says why.
  ModuleSet();
  ~ModuleSet();
  const std::string& error() const { return m_Error; }

  // A new object of a class of the PXM module, asked for the interface; null when refused.
  template <class I>
  ComPtr<I> Create(const wchar_t* className, const IID& iid) const {
    ComPtr<I> object;
    CreateObject(className, iid, object.Out());
    return object;
  }
  HRESULT CreateObject(const wchar_t* className, const IID& iid, void** out) const;

  // A host string holding the text (a path for Load), or null.
  ComPtr<IString> MakeString(const std::wstring& text) const;

  // The host's collection, with a new reference.
  void Collection(void** out) const {
    *out = m_Collection.Get();
    if (m_Collection) m_Collection->AddRef();
  }

  // The host module's library handle, for its C++ API.
  void* hostLibrary() const { return m_Host; }

 private:
  std::string m_Error;
  void* m_Host = nullptr;
  void* m_Module = nullptr;
  PXMCreateFunction m_CreateFunction = nullptr;
  ComPtr<IComponentCollection> m_Collection;
};

// The directory the running program lives in.
std::string ProgramDirectory();
