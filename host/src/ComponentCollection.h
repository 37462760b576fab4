// The global component collection: one per process, shared by everyone who asks for it,
// and gone with its last reference (the next request makes a new one).
#pragma once
#include <span>

#include "Object.h"
#include "pxm/HostInterfaces.h"

namespace host {

class ComponentCollection final : public Object<ComponentCollection, IComponentCollection> {
 public:
  static std::span<const InterfaceEntry<ComponentCollection>> Interfaces();
  // The process's collection with a new reference for the caller; null without memory.
  static ComponentCollection* Acquire();

  // "CreatableString" gives the string component (null identifier: IComponentString),
  // "PXMTransform" the transform (null identifier: IPXMTransform); a new one each time.
  HRESULT GetComponent(uint32_t nameLength, const wchar_t* name, const IID* iid, void** out) override;

 private:
  friend class Object<ComponentCollection, IComponentCollection>;
  ComponentCollection() = default;
  ~ComponentCollection();
};

}  // namespace host
