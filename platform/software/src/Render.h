// Drawing into a bitmap context through its current transform.
#pragma once

#include <CoreGraphics/CGGeometry.h>

#include <cstdint>

#include "Composite.h"

struct CGContext;
struct CGImage;

namespace cg {

void drawImage(CGContext& context, CGRect rect, const CGImage& image);

// Fills rect with a working pixel (straight alpha), replacing (Op::Copy) or blending (Op::Blend).
void fillRect(CGContext& context, CGRect rect, uint32_t colour, Op op);

}  // namespace cg
