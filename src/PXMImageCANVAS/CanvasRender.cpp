// Drawing the canvas into another context: a snapshot of its bitmap context, scaled into the
// destination rectangle, with the pixels of its transparent colour left out.
#include <CoreGraphics/CoreGraphics.h>

#include "PXMImage/FitRectangle.h"
#include "PXMImageCANVAS/PXMImageCANVAS.h"

namespace {

// The transparent colour 0x00BBGGRR as a minimum and maximum per red, green and blue, in sample
// values (0 to 255, as Core Graphics takes them for 8-bit components); each range holds the one
// colour. A grey image reads the first range only.
void MaskingRanges(int32_t color, CGFloat ranges[6]) {
  const uint32_t bits = static_cast<uint32_t>(color);
  for (int component = 0; component < 3; ++component)
    ranges[2 * component] = ranges[2 * component + 1] = static_cast<CGFloat>(bits >> (8 * component) & 0xFF);
}

// Whether a pixel of the layout can have the colour: grey pixels have equal red, green and blue.
bool CanHold(uint32_t fourcc, int32_t color) {
  const uint32_t bits = static_cast<uint32_t>(color) & 0xFFFFFF;
  return fourcc != FOURCC_MONO || bits == (bits & 0xFF) * 0x010101u;
}

}  // namespace

HRESULT CPXMImageCANVAS::Render(CGContext* context, CANVASRect* destination, CANVASRect* /*source: whole canvas*/) {
  if (!destination) return PXM_E_POINTER;
  if (destination->width < 2 || destination->height < 2) return PXM_S_OK;
  if (!m_Context) return PXM_E_FAIL;
  if (!context) return PXM_E_POINTER;

  // What the host has drawn into the canvas so far is what gets drawn.
  CGImageRef snapshot = CGBitmapContextCreateImage(m_Context);
  if (!snapshot) return PXM_S_OK;
  CGContextSaveGState(context);
  const CGRect rect = CGRectMake(destination->x, destination->y, destination->width, destination->height);
  if (m_TransparentColor != -1 && CanHold(m_FOURCC, m_TransparentColor)) {
    CGFloat ranges[6];
    MaskingRanges(m_TransparentColor, ranges);
    CGImageRef masked = CGImageCreateWithMaskingColors(snapshot, ranges);
    CGContextDrawImage(context, rect, masked);  // a refused mask draws nothing
    CGImageRelease(masked);
  } else {
    CGContextDrawImage(context, rect, snapshot);
  }
  CGImageRelease(snapshot);
  CGContextRestoreGState(context);
  return PXM_S_OK;
}

HRESULT CPXMImageCANVAS::Render(CGContext* context, CANVASRect* destination, IUnknown* /*unused*/, int flags) {
  CANVASRect rect = destination ? *destination : CANVASRect{0, 0, 0, 0};
  if (flags & FitToRect) rect = FitRectangle(rect, m_Width, m_Height);
  return Render(context, &rect, nullptr);
}
