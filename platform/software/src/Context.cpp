#include <CoreGraphics/CGContext.h>

#include <cmath>
#include <cstdlib>
#include <type_traits>

#include "Context.h"
#include "Image.h"
#include "Pixel.h"
#include "Render.h"

namespace {

static_assert(std::is_trivially_copyable_v<cg::GState>, "saved states are moved with realloc");

// A colour component as 8 bits: clamped to [0, 1] (NaN as 0), times 255, rounded.
uint32_t componentByte(CGFloat v) {
  const CGFloat clamped = v > 0 ? (v < 1 ? v : 1) : 0;
  return static_cast<uint32_t>(std::lround(clamped * 255));
}

}  // namespace

CGContextRef CGContextRetain(CGContextRef c) { return cg::retain(c); }

void CGContextRelease(CGContextRef c) { cg::release(c); }

void CGContextSaveGState(CGContextRef c) {
  if (!c) return;
  // Once a save found no memory, later ones are lost too, so that restores stay in order.
  if (c->lostSaves == 0 && c->savedCount == c->savedCapacity) {
    const size_t capacity = c->savedCapacity ? 2 * c->savedCapacity : 8;
    void* grown = std::realloc(c->saved, capacity * sizeof(cg::GState));
    if (grown) {
      c->saved = static_cast<cg::GState*>(grown);
      c->savedCapacity = capacity;
    }
  }
  if (c->lostSaves || c->savedCount == c->savedCapacity)
    ++c->lostSaves;
  else
    c->saved[c->savedCount++] = c->state;
}

void CGContextRestoreGState(CGContextRef c) {
  if (!c) return;
  if (c->lostSaves)
    --c->lostSaves;
  else if (c->savedCount)
    c->state = c->saved[--c->savedCount];
}

void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty) {
  if (c) c->state.ctm = CGAffineTransformTranslate(c->state.ctm, tx, ty);
}

void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy) {
  if (c) c->state.ctm = CGAffineTransformScale(c->state.ctm, sx, sy);
}

CGAffineTransform CGContextGetCTM(CGContextRef c) { return c ? c->state.ctm : CGAffineTransformIdentity; }

void CGContextSetInterpolationQuality(CGContextRef c, CGInterpolationQuality quality) {
  if (c) c->state.interpolation = quality;
}

CGInterpolationQuality CGContextGetInterpolationQuality(CGContextRef c) {
  return c ? c->state.interpolation : kCGInterpolationDefault;
}

void CGContextSetRGBFillColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
  if (!c) return;
  c->state.fill[0] = red;
  c->state.fill[1] = green;
  c->state.fill[2] = blue;
  c->state.fill[3] = alpha;
}

void CGContextSetGrayFillColor(CGContextRef c, CGFloat gray, CGFloat alpha) {
  CGContextSetRGBFillColor(c, gray, gray, gray, alpha);
}

void CGContextFillRect(CGContextRef c, CGRect rect) {
  if (!c) return;
  const CGFloat* f = c->state.fill;
  const uint32_t colour = cg::packPixel(componentByte(f[0]), componentByte(f[1]), componentByte(f[2]), componentByte(f[3]));
  const uint32_t alpha = colour >> 24;
  if (alpha) cg::fillRect(*c, rect, colour, alpha == 255 ? cg::Op::Copy : cg::Op::Blend);
}

// Transparent black, every byte of the pixel 0 (a skipped byte too).
void CGContextClearRect(CGContextRef c, CGRect rect) {
  if (c) cg::fillRect(*c, rect, 0, cg::Op::Copy);
}

void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image) {
  if (c && image) cg::drawImage(*c, rect, *image);
}
