// Images: pixels of a data provider described by depth, layout and colour space.
#pragma once

#include <CoreGraphics/CGBase.h>
#include <CoreGraphics/CGColorSpace.h>
#include <CoreGraphics/CGDataProvider.h>
#include <CoreGraphics/CGGeometry.h>

CG_EXTERN_C_BEGIN

typedef struct CGImage *CGImageRef;

// Alpha info and the other bitmap options are separate types: a combination casts the alpha info,
// as in (CGBitmapInfo)kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder16Little.
CG_ENUM(uint32_t, CGImageAlphaInfo) {
  kCGImageAlphaNone = 0,
  kCGImageAlphaPremultipliedLast = 1,
  kCGImageAlphaPremultipliedFirst = 2,
  kCGImageAlphaLast = 3,
  kCGImageAlphaFirst = 4,
  kCGImageAlphaNoneSkipLast = 5,
  kCGImageAlphaNoneSkipFirst = 6,
  kCGImageAlphaOnly = 7
};

CG_OPTIONS(uint32_t, CGBitmapInfo) {
  kCGBitmapAlphaInfoMask = 0x1F,
  kCGBitmapFloatComponents = 1 << 8,
  kCGBitmapByteOrderMask = 0x7000,
  kCGBitmapByteOrderDefault = 0 << 12,
  kCGBitmapByteOrder16Little = 1 << 12,
  kCGBitmapByteOrder32Little = 2 << 12,
  kCGBitmapByteOrder16Big = 3 << 12,
  kCGBitmapByteOrder32Big = 4 << 12
};

// Descriptions drawn (anything else is null):
//   indexed (over device RGB or grey) or device grey: 8 bits per component and pixel, alpha info none;
//   device RGB, 5 bits per component, 16 per pixel: alpha info skip-first, byte order 16Little;
//   device RGB, 8 bits per component, 24 per pixel: alpha info none, bytes red, green, blue;
//   device RGB, 8 bits per component, 32 per pixel: any alpha info but none and only, byte order default,
//   32Big or 32Little.
// Also null: a provider shorter than (height - 1) * bytesPerRow plus the bytes of one row, bytesPerRow
// shorter than a row, or a decode array other than null or the identity. The rendering intent and
// shouldInterpolate are ignored: colours are device colours and sampling is nearest-neighbour.
CG_EXTERN CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                                   size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo,
                                   CGDataProviderRef provider, const CGFloat *decode, bool shouldInterpolate,
                                   CGColorRenderingIntent intent);
// rect is in pixels from the image's top left; it is made integral and clipped to the image.
CG_EXTERN CGImageRef CGImageCreateWithImageInRect(CGImageRef image, CGRect rect);
// For an image without alpha. components: a min, max pair per component of the image's colour space
// (red, green and blue; grey; an indexed space's index), in sample values: whole numbers from 0 to
// 2^bitsPerComponent - 1, else null. A pixel is left out when each of its samples lies in its range.
CG_EXTERN CGImageRef CGImageCreateWithMaskingColors(CGImageRef image, const CGFloat *components);
CG_EXTERN CGImageRef CGImageRetain(CGImageRef image);
CG_EXTERN void CGImageRelease(CGImageRef image);

CG_EXTERN size_t CGImageGetWidth(CGImageRef image);
CG_EXTERN size_t CGImageGetHeight(CGImageRef image);
CG_EXTERN size_t CGImageGetBitsPerComponent(CGImageRef image);
CG_EXTERN size_t CGImageGetBitsPerPixel(CGImageRef image);
CG_EXTERN size_t CGImageGetBytesPerRow(CGImageRef image);
CG_EXTERN CGBitmapInfo CGImageGetBitmapInfo(CGImageRef image);
CG_EXTERN CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image);
CG_EXTERN CGColorSpaceRef CGImageGetColorSpace(CGImageRef image);

CG_EXTERN_C_END
