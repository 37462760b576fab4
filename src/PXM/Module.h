// The module's process-wide state and its class table.
#pragma once
#include "PXM/SharedGlobal.h"
#include "pxm/HostInterfaces.h"

// The host's component collection: one reference, or null. InitializeModule replaces it and the
// first user without one fills it, from any thread.
extern SharedGlobal<IComponentCollection> gGlobalComponentCollection;

struct ModuleClass {
  const tagREFString* name;
  PXMCreatorFunction creator;
};
// The classes CreateFunction offers, in the order it tries them (defined beside the classes).
extern const ModuleClass kModuleClasses[];
extern const unsigned kModuleClassCount;
