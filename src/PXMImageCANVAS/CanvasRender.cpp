// Drawing the canvas into another context: its pixels, scaled into the destination rectangle, with
// the pixels of its transparent colour left out.
#include <CoreGraphics/CoreGraphics.h>

#include "PXMImage/FitRectangle.h"
#include "PXMImageCANVAS/PXMImageCANVAS.h"

namespace {

// The transparent colour 0x00BBGGRR as a minimum and maximum per red, green and blue, in
// fractions of full intensity; each range holds the one colour.
void MaskingRanges(int32_t color, CGFloat ranges[6]) {
  const uint32_t bits = static_cast<uint32_t>(color);
  for (int component = 0; component < 3; ++component) {
    const CGFloat fraction = static_cast<CGFloat>(bits >> (8 * component) & 0xFF) / 255.0;
    ranges[2 * component] = fraction;
    ranges[2 * component + 1] = fraction;
  }
}

// The canvas's pixels as an image over its own buffer, no copy: the image is drawn and released
// before Render returns, while the canvas is locked, so nothing draws into the canvas or frees its
// buffer while the image is read. (A snapshot of the context would copy every pixel first; drawing
// the canvas into its own context is safe as well: Core Graphics draws from a copy when an image
// lies in the destination's memory.)
CGImageRef ImageOverPixels(uint8_t* pixels, uint32_t width, uint32_t height, bool grey) {
  const size_t bytesPerPixel = grey ? 1 : 4;
  const size_t bytesPerRow = size_t{width} * bytesPerPixel;
  CGDataProviderRef provider = CGDataProviderCreateWithData(nullptr, pixels, bytesPerRow * height, nullptr);
  CGColorSpaceRef space = grey ? CGColorSpaceCreateDeviceGray() : CGColorSpaceCreateDeviceRGB();
  CGImageRef image = CGImageCreate(width, height, 8, 8 * bytesPerPixel, bytesPerRow, space,
                                   grey ? kCGImageAlphaNone : kCGImageAlphaNoneSkipLast, provider, nullptr, false,
                                   kCGRenderingIntentDefault);
  CGColorSpaceRelease(space);
  CGDataProviderRelease(provider);
  return image;
}

}  // namespace

HRESULT CPXMImageCANVAS::Render(CGContext* context, CANVASRect* destination, CANVASRect* /*source: whole canvas*/) {
  if (!destination) return PXM_E_POINTER;
  if (destination->width < 2 || destination->height < 2) return PXM_S_OK;
  if (!m_Context) return PXM_E_FAIL;
  if (!context) return PXM_E_POINTER;

  // What the host has drawn into the canvas so far is what gets drawn. Error-checking lock: a render
  // nested in a render of this canvas on the same thread does not wait for itself.
  Lock();
  CGImageRef image = m_Buffer ? ImageOverPixels(m_Buffer, m_Width, m_Height, m_FOURCC == FOURCC_MONO) : nullptr;
  if (!image) {
    Unlock();
    return PXM_S_OK;
  }
  CGContextSaveGState(context);
  const CGRect rect = CGRectMake(destination->x, destination->y, destination->width, destination->height);
  if (m_TransparentColor != -1) {
    CGFloat ranges[6];
    MaskingRanges(m_TransparentColor, ranges);
    CGImageRef masked = CGImageCreateWithMaskingColors(image, ranges);
    CGContextDrawImage(context, rect, masked);  // a refused mask draws nothing
    CGImageRelease(masked);
  } else {
    CGContextDrawImage(context, rect, image);
  }
  CGImageRelease(image);
  CGContextRestoreGState(context);
  Unlock();
  return PXM_S_OK;
}

HRESULT CPXMImageCANVAS::Render(CGContext* context, CANVASRect* destination, IUnknown* /*unused*/, int flags) {
  CANVASRect rect = destination ? *destination : CANVASRect{0, 0, 0, 0};
  if (flags & FitToRect) rect = FitRectangle(rect, m_Width, m_Height);
  return Render(context, &rect, nullptr);
}
