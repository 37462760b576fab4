// The root of every interface. Slots 0 to 2 of every interface table.
#pragma once
#include "pxm/Types.h"

struct IUnknown {
  virtual HRESULT QueryInterface(const IID& iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
};
