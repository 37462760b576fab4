// The image object.
#pragma once

#include <CoreGraphics/CGImage.h>

#include <cstddef>
#include <cstdint>

#include "ColorSpace.h"
#include "DataProvider.h"
#include "PixelFormat.h"
#include "RefCounted.h"

struct CGImage : cg::RefCounted {
  CGDataProvider* provider = nullptr;  // retained: owns the pixels
  CGColorSpace* space = nullptr;       // retained
  const uint8_t* pixels = nullptr;     // pixel (0, 0): sub-images start inside their parent's rows
  size_t width = 0;
  size_t height = 0;
  size_t bitsPerComponent = 0;
  size_t bitsPerPixel = 0;
  size_t bytesPerRow = 0;
  CGBitmapInfo bitmapInfo = 0;
  cg::PixelFormat format{};
  bool masked = false;
  cg::ColorMask mask{};

  ~CGImage() {
    cg::release(provider);
    cg::release(space);
  }
};
