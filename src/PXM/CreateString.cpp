// CREFString::CreateString: host string objects from the host's string component.
#include "PXM/HostServices.h"
#include "PXM/Module.h"
#include "PXM/ModuleLoader.h"
#include "PXM/REFString.h"

ICreatableString* CREFString::CreateString() {
  static SmartPtr<IComponentString> gStringComponent;
  if (!gStringComponent) {
    if (IComponentCollection* collection = gGlobalComponentCollection.Get()) {
      collection->GetComponent(15, L"CreatableString", nullptr, gStringComponent.ReceiveVoid());
    }
  }
  if (!gStringComponent) {
    PXMCreatorFunction creator = MODULECreateFunction({13, L"DuvirovurozAd"}, {15, L"ComponentString"});
    if (creator && PXM_SUCCEEDED(creator(nullptr, &IID_IComponentString, gStringComponent.ReceiveVoid())) &&
        gStringComponent) {
      gStringComponent->SetPart(4, 11, L"Collections");
      gStringComponent->SetPart(1, 15, L"CreatableString");
    }
  }
  ICreatableString* string = nullptr;
  if (gStringComponent) gStringComponent->CreateObject(&IID_ICreatableString, reinterpret_cast<void**>(&string));
  return string;
}
