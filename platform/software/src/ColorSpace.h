// The colour space object.
#pragma once

#include <CoreGraphics/CGColorSpace.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "RefCounted.h"

namespace cg {
enum class ColorModel : uint8_t { Grey, RGB, Indexed };

// Components of a pixel's colour; an index counts as one.
constexpr size_t componentCount(ColorModel model) { return model == ColorModel::RGB ? 3 : 1; }
}  // namespace cg

struct CGColorSpace : cg::RefCounted {
  cg::ColorModel model = cg::ColorModel::RGB;
  // Indexed spaces: the table as working pixels, 256 entries; indices past the last are opaque black.
  std::unique_ptr<uint32_t[]> palette;
};
