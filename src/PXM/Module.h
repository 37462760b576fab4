// The module's process-wide state and its class table.
#pragma once
#include "PXM/SmartPtr.h"
#include "pxm/HostInterfaces.h"

// The host's component collection: one reference, or null.
extern SmartPtr<IComponentCollection> gGlobalComponentCollection;

struct ModuleClass {
  const tagREFString* name;
  PXMCreatorFunction creator;
};
// The classes CreateFunction offers, in the order it tries them (defined beside the classes).
extern const ModuleClass kModuleClasses[];
extern const unsigned kModuleClassCount;
