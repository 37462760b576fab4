#include "ComponentCollection.h"

#include <mutex>
#include <string_view>

#include "StringComponent.h"
#include "Transform.h"

namespace host {

namespace {
std::mutex gCollectionLock;
ComponentCollection* gCollection = nullptr;  // no reference: cleared by its destructor
}  // namespace

std::span<const InterfaceEntry<ComponentCollection>> ComponentCollection::Interfaces() {
  static constexpr InterfaceEntry<ComponentCollection> kMap[] = {
      {&pxm::iid::IUnknown, AnswerAs<ComponentCollection, IComponentCollection>},
      {&pxm::iid::IComponentCollection, AnswerAs<ComponentCollection, IComponentCollection>},
  };
  return kMap;
}

ComponentCollection* ComponentCollection::Acquire() {
  std::lock_guard<std::mutex> hold(gCollectionLock);
  // The held one may be in its last Release on another thread; then it is replaced.
  if (gCollection != nullptr && gCollection->AddRefIfAlive()) return gCollection;
  gCollection = new (std::nothrow) ComponentCollection();
  return gCollection;
}

ComponentCollection::~ComponentCollection() {
  std::lock_guard<std::mutex> hold(gCollectionLock);
  if (gCollection == this) gCollection = nullptr;
}

HRESULT ComponentCollection::GetComponent(uint32_t nameLength, const wchar_t* name, const IID* iid, void** out) {
  if (out == nullptr) return PXM_E_POINTER;
  *out = nullptr;
  if (name == nullptr && nameLength != 0) return PXM_E_POINTER;
  const std::wstring_view wanted(name != nullptr ? name : L"", nameLength);
  if (wanted == L"CreatableString") {
    return HandOut(StringComponent::MakeDescribed(), iid != nullptr ? iid : &pxm::iid::IComponentString, out);
  }
  if (wanted == L"PXMTransform") {
    return HandOut(Make<Transform>(), iid != nullptr ? iid : &pxm::iid::IPXMTransform, out);
  }
  return PXM_E_FAIL;
}

}  // namespace host
