// The test host's reference holder, and a look at an object's reference count.
#pragma once
#include "pxm/ComPtr.h"
#include "pxm/PXM.h"

// The object's current reference count, as AddRef and Release report it.
inline uint32_t RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}
