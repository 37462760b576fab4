// The data provider object.
#pragma once

#include <CoreGraphics/CGDataProvider.h>

#include <cstddef>
#include <cstdint>

#include "RefCounted.h"

struct CGDataProvider : cg::RefCounted {
  void* info = nullptr;
  const uint8_t* data = nullptr;
  size_t size = 0;
  CGDataProviderReleaseDataCallback releaseData = nullptr;

  ~CGDataProvider() {
    if (releaseData) releaseData(info, data, size);
  }
};
