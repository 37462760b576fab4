// The bitmap context object and its graphics state.
#pragma once

#include <CoreGraphics/CGContext.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ColorSpace.h"
#include "PixelFormat.h"
#include "RefCounted.h"

namespace cg {
struct GState {
  CGAffineTransform ctm = CGAffineTransformIdentity;
  CGFloat fill[4] = {0, 0, 0, 1};  // red, green, blue, alpha
  CGInterpolationQuality interpolation = kCGInterpolationDefault;
};
}  // namespace cg

struct CGContext : cg::RefCounted {
  uint8_t* data = nullptr;  // row 0 is the top row of the device
  bool ownsData = false;
  size_t width = 0;
  size_t height = 0;
  size_t bytesPerRow = 0;
  size_t bitsPerComponent = 0;
  size_t bitsPerPixel = 0;
  CGBitmapInfo bitmapInfo = 0;
  CGColorSpace* space = nullptr;  // retained
  cg::PixelFormat format{};

  cg::GState state;
  cg::GState* saved = nullptr;  // malloc'd stack of saved states
  size_t savedCount = 0;
  size_t savedCapacity = 0;
  size_t lostSaves = 0;  // saves on top of the stack that found no memory

  ~CGContext() {
    std::free(saved);
    if (ownsData) std::free(data);
    cg::release(space);
  }
};
