// Drawing contexts: graphics state, transforms and drawing.
#pragma once

#include <CoreGraphics/CGAffineTransform.h>
#include <CoreGraphics/CGBase.h>
#include <CoreGraphics/CGGeometry.h>
#include <CoreGraphics/CGImage.h>

CG_EXTERN_C_BEGIN

typedef struct CGContext *CGContextRef;

typedef int32_t CGInterpolationQuality;
enum {
  kCGInterpolationDefault = 0,
  kCGInterpolationNone = 1,
  kCGInterpolationLow = 2,
  kCGInterpolationMedium = 4,
  kCGInterpolationHigh = 3
};

CG_EXTERN CGContextRef CGContextRetain(CGContextRef c);
CG_EXTERN void CGContextRelease(CGContextRef c);

// The graphics state: transform, fill colour and interpolation quality.
CG_EXTERN void CGContextSaveGState(CGContextRef c);
CG_EXTERN void CGContextRestoreGState(CGContextRef c);

CG_EXTERN void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty);
CG_EXTERN void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy);
CG_EXTERN CGAffineTransform CGContextGetCTM(CGContextRef c);

// Kept in the graphics state; images are always sampled nearest-neighbour.
CG_EXTERN void CGContextSetInterpolationQuality(CGContextRef c, CGInterpolationQuality quality);
CG_EXTERN CGInterpolationQuality CGContextGetInterpolationQuality(CGContextRef c);

CG_EXTERN void CGContextSetRGBFillColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
CG_EXTERN void CGContextSetGrayFillColor(CGContextRef c, CGFloat gray, CGFloat alpha);
CG_EXTERN void CGContextFillRect(CGContextRef c, CGRect rect);
CG_EXTERN void CGContextClearRect(CGContextRef c, CGRect rect);

// The image fills rect (standardised; negative sizes do not mirror), its top row at the rect's maximum
// y in user space: under a flipped CTM (y down) it comes out upside down unless flipped back around the
// rect. Device pixels whose centres fall in rect take the nearest source pixel; only translations and
// scales reach the CTM.
CG_EXTERN void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image);

CG_EXTERN_C_END
