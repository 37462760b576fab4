// Colour spaces: device RGB, device grey, and indexed over one of them.
#pragma once

#include <CoreGraphics/CGBase.h>

CG_EXTERN_C_BEGIN

typedef struct CGColorSpace *CGColorSpaceRef;

typedef int32_t CGColorRenderingIntent;
enum {
  kCGRenderingIntentDefault = 0,
  kCGRenderingIntentAbsoluteColorimetric = 1,
  kCGRenderingIntentRelativeColorimetric = 2,
  kCGRenderingIntentPerceptual = 3,
  kCGRenderingIntentSaturation = 4
};

CG_EXTERN CGColorSpaceRef CGColorSpaceCreateDeviceRGB(void);
CG_EXTERN CGColorSpaceRef CGColorSpaceCreateDeviceGray(void);
// colorTable holds (lastIndex + 1) entries of packed 8-bit components of the base space; it is copied.
// Null when lastIndex > 255 or the base is not device RGB or device grey.
CG_EXTERN CGColorSpaceRef CGColorSpaceCreateIndexed(CGColorSpaceRef baseSpace, size_t lastIndex,
                                                    const unsigned char *colorTable);
CG_EXTERN CGColorSpaceRef CGColorSpaceRetain(CGColorSpaceRef space);
CG_EXTERN void CGColorSpaceRelease(CGColorSpaceRef space);
// 3 for RGB, 1 for grey and for indexed spaces (the index), 0 for null.
CG_EXTERN size_t CGColorSpaceGetNumberOfComponents(CGColorSpaceRef space);

CG_EXTERN_C_END
