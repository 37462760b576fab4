// Pixel layouts the library reads (images) and writes (bitmap contexts).
#pragma once

#include <CoreGraphics/CGImage.h>

#include <cstddef>
#include <cstdint>

namespace cg {

enum class ColorModel : uint8_t;

enum class PixelKind : uint8_t {
  Word32,  // 8-bit red, green, blue and alpha or skipped byte, in any order (WordLayout)
  Rgb24,   // bytes red, green, blue
  Grey8,
  Index8,  // index into the colour space's palette
  Rgb555,  // little-endian 16-bit word: red in bits 10-14, green 5-9, blue 0-4
  Solid,   // no pixels: one colour (fills)
};

enum class AlphaKind : uint8_t { Opaque, Straight, Premultiplied };

// Byte order in memory of a Word32 pixel; A is the alpha or, for Opaque formats, the skipped byte.
enum class WordOrder : uint8_t { RGBA, ARGB, BGRA, ABGR };

// Bit positions of each byte in a little-endian 32-bit load of a Word32 pixel.
struct WordShifts {
  unsigned red, green, blue, alpha;
};

constexpr WordShifts shiftsOf(WordOrder order) {
  switch (order) {
    case WordOrder::RGBA: return {0, 8, 16, 24};
    case WordOrder::ARGB: return {8, 16, 24, 0};
    case WordOrder::BGRA: return {16, 8, 0, 24};
    case WordOrder::ABGR: return {24, 16, 8, 0};
  }
  return {0, 8, 16, 24};
}

// Masking colours as inclusive 8-bit ranges for red, green and blue; grey and index images use the
// first range for all three. A range with low > high masks nothing.
struct ColorMask {
  uint8_t low[3] = {255, 255, 255};
  uint8_t high[3] = {0, 0, 0};
};

// Images and contexts are at most this wide and high, so that pixel positions fit 32 bits and are
// exact in a double.
constexpr size_t kMaxDimension = 0x7FFFFFFF;

struct PixelFormat {
  PixelKind kind = PixelKind::Solid;
  AlphaKind alpha = AlphaKind::Opaque;
  WordOrder order = WordOrder::RGBA;  // Word32 only
  size_t bytesPerPixel = 0;
};

// The format of an image description; false when it is not one this library draws.
bool imageFormat(ColorModel model, size_t bitsPerComponent, size_t bitsPerPixel, CGBitmapInfo info,
                 PixelFormat& format);

// The format of a bitmap context; false for combinations a bitmap context refuses.
bool contextFormat(ColorModel model, size_t bitsPerComponent, CGBitmapInfo info, PixelFormat& format,
                   size_t& bitsPerPixel);

}  // namespace cg
