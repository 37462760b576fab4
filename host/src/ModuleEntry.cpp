// The entry points that a loader finds with dlsym: the class factory and the module's
// initialisation.
#include <string_view>

#include "ComponentCollection.h"
#include "DataStream.h"
#include "StringComponent.h"
#include "pxm/Types.h"

using namespace host;

namespace {

HRESULT CreateGlobalComponentCollection(void*, const IID* iid, void** out) {
  return HandOut(ComponentCollection::Acquire(), iid, out);
}

HRESULT CreateComponentString(void*, const IID* iid, void** out) {
  return HandOut(Make<StringComponent>(), iid, out);
}

HRESULT CreateDataStream(void*, const IID* iid, void** out) { return HandOut(DataStream::Make(), iid, out); }

struct ClassEntry {
  std::wstring_view name;
  PXMCreatorFunction create;
};

constexpr ClassEntry kClasses[] = {
    {L"GlobalComponentCollection", CreateGlobalComponentCollection},
    {L"ComponentString", CreateComponentString},
    {L"DataStream", CreateDataStream},
};

}  // namespace

// Writes the creator of the named class; an unknown name (compared exactly, by length and
// characters) gives 0x80004005 and leaves *creator as it was.
extern "C" __attribute__((visibility("default"))) HRESULT CreateFunction(tagREFString className, void** creator) {
  if (creator == nullptr) return PXM_E_POINTER;
  if (className.m_Text == nullptr && className.m_Length != 0) return PXM_E_FAIL;
  const std::wstring_view name(className.m_Text != nullptr ? className.m_Text : L"", className.m_Length);
  for (const ClassEntry& entry : kClasses) {
    if (entry.name == name) {
      *creator = reinterpret_cast<void*>(entry.create);
      return PXM_S_OK;
    }
  }
  return PXM_E_FAIL;
}

// The host's components need nothing from the loading module: the collection is kept by
// no one here.
extern "C" __attribute__((visibility("default"))) HRESULT InitializeModule(void*, IComponentCollection*) {
  return PXM_S_OK;
}
