// CREFString::CreateString: host string objects from the host's string component.
#include "PXM/HostServices.h"
#include "PXM/Module.h"
#include "PXM/ModuleLoader.h"
#include "PXM/REFString.h"

namespace {

// Kept for the life of the process once found; threads that look for it together each find one,
// the first kept wins and the others are released unused.
SharedGlobal<IComponentString> gStringComponent;

SmartPtr<IComponentString> FindStringComponent() {
  SmartPtr<IComponentString> component;
  if (SmartPtr<IComponentCollection> collection = gGlobalComponentCollection.Hold())
    collection->GetComponent(15, L"CreatableString", nullptr, component.ReceiveVoid());
  if (component) return component;
  PXMCreatorFunction creator = MODULECreateFunction({13, L"DuvirovurozAd"}, {15, L"ComponentString"});
  if (creator && PXM_SUCCEEDED(creator(nullptr, &IID_IComponentString, component.ReceiveVoid())) && component) {
    component->SetPart(4, 11, L"Collections");
    component->SetPart(1, 15, L"CreatableString");
  } else {
    component.Reset();
  }
  return component;
}

}  // namespace

ICreatableString* CREFString::CreateString() {
  SmartPtr<IComponentString> component = gStringComponent.Hold();
  if (!component) component = gStringComponent.Fill(FindStringComponent());
  ICreatableString* string = nullptr;
  if (component) component->CreateObject(&IID_ICreatableString, reinterpret_cast<void**>(&string));
  return string;
}
