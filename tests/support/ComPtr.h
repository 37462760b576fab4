// The test host's reference holder, and a look at an object's reference count.
#pragma once
#include "pxm/ComPtr.h"
#include "pxm/PXM.h"

inline uint32_t RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}
