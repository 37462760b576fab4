// Entry points: InitializeModule keeps the host's collection, CreateFunction hands out creators.
#include "PXM/Module.h"

#include "PXM/Export.h"
#include "pxm/Module.h"

SharedGlobal<IComponentCollection> gGlobalComponentCollection;

PXM_EXPORT HRESULT InitializeModule(void* /*reserved*/, IComponentCollection* collection) {
  if (collection) collection->AddRef();
  gGlobalComponentCollection.Replace(collection);
  return PXM_S_OK;
}

// The same entry point under its plain name, which sibling-module loaders look up.
extern "C" PXM_EXPORT HRESULT InitializeModulePlainName(void* reserved, IComponentCollection* collection)
    PXM_SYMBOL_NAME("InitializeModule");
extern "C" HRESULT InitializeModulePlainName(void* reserved, IComponentCollection* collection) {
  return InitializeModule(reserved, collection);
}

extern "C" PXM_EXPORT HRESULT CreateFunction(tagREFString className, void** creator) {
  for (unsigned i = 0; i < kModuleClassCount; ++i) {
    const tagREFString& name = *kModuleClasses[i].name;
    if (name.m_Length != className.m_Length) continue;
    bool same = true;
    for (uint32_t k = 0; k < name.m_Length && same; ++k) same = className.m_Text[k] == name.m_Text[k];
    if (!same) continue;
    if (!creator) return PXM_E_POINTER;
    *creator = reinterpret_cast<void*>(kModuleClasses[i].creator);
    return PXM_S_OK;
  }
  return PXM_E_FAIL;
}

// The module's termination routine: nothing to do; the holders' destructors release the host's
// objects at exit.
__attribute__((destructor)) static void finalizer() {}
