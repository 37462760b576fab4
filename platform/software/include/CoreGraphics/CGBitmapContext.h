// Bitmap contexts: drawing into memory.
#pragma once

#include <CoreGraphics/CGBase.h>
#include <CoreGraphics/CGColorSpace.h>
#include <CoreGraphics/CGContext.h>
#include <CoreGraphics/CGImage.h>

CG_EXTERN_C_BEGIN

// Accepted: device RGB, 8 bits per component, alpha info none-skip-last/first or premultiplied-last/first,
// byte order default, 32Big or 32Little; device grey, 8 bits per component, alpha info none, byte order
// default. Anything else is null. data null: the context owns a zeroed buffer. bytesPerRow 0: width times
// the bytes of a pixel.
CG_EXTERN CGContextRef CGBitmapContextCreate(void *data, size_t width, size_t height, size_t bitsPerComponent,
                                             size_t bytesPerRow, CGColorSpaceRef space, uint32_t bitmapInfo);
CG_EXTERN void *CGBitmapContextGetData(CGContextRef context);
CG_EXTERN size_t CGBitmapContextGetWidth(CGContextRef context);
CG_EXTERN size_t CGBitmapContextGetHeight(CGContextRef context);
CG_EXTERN size_t CGBitmapContextGetBytesPerRow(CGContextRef context);
CG_EXTERN size_t CGBitmapContextGetBitsPerComponent(CGContextRef context);
CG_EXTERN size_t CGBitmapContextGetBitsPerPixel(CGContextRef context);
CG_EXTERN CGBitmapInfo CGBitmapContextGetBitmapInfo(CGContextRef context);
// A copy of the pixels as they are now.
CG_EXTERN CGImageRef CGBitmapContextCreateImage(CGContextRef context);

CG_EXTERN_C_END
