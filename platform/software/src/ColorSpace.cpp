#include "ColorSpace.h"

#include <new>

#include "Pixel.h"

namespace {

CGColorSpaceRef createSpace(cg::ColorModel model) {
  CGColorSpace* space = new (std::nothrow) CGColorSpace;
  if (space) space->model = model;
  return space;
}

}  // namespace

CGColorSpaceRef CGColorSpaceCreateDeviceRGB(void) { return createSpace(cg::ColorModel::RGB); }

CGColorSpaceRef CGColorSpaceCreateDeviceGray(void) { return createSpace(cg::ColorModel::Grey); }

CGColorSpaceRef CGColorSpaceCreateIndexed(CGColorSpaceRef baseSpace, size_t lastIndex, const unsigned char* colorTable) {
  if (!baseSpace || baseSpace->model == cg::ColorModel::Indexed || lastIndex > 255 || !colorTable) return nullptr;
  std::unique_ptr<uint32_t[]> palette(new (std::nothrow) uint32_t[256]);
  if (!palette) return nullptr;
  const bool rgb = baseSpace->model == cg::ColorModel::RGB;
  for (size_t i = 0; i < 256; ++i) {
    if (i > lastIndex) {
      palette[i] = cg::kOpaqueAlpha;
    } else if (rgb) {
      const unsigned char* entry = colorTable + 3 * i;
      palette[i] = cg::packPixel(entry[0], entry[1], entry[2], 255);
    } else {
      palette[i] = cg::packPixel(colorTable[i], colorTable[i], colorTable[i], 255);
    }
  }
  CGColorSpace* space = createSpace(cg::ColorModel::Indexed);
  if (space) space->palette = std::move(palette);
  return space;
}

CGColorSpaceRef CGColorSpaceRetain(CGColorSpaceRef space) { return cg::retain(space); }

void CGColorSpaceRelease(CGColorSpaceRef space) { cg::release(space); }

size_t CGColorSpaceGetNumberOfComponents(CGColorSpaceRef space) {
  return space ? cg::componentCount(space->model) : 0;
}
