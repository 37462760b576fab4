#include "Sample.h"

#include "BitmapFile.h"

namespace sample {

uint32_t ColourAt(uint32_t x, uint32_t y) {
  if (y < kBand) {
    const uint32_t v = x * 255 / (kWidth - 1);
    return v << 16 | v << 8 | v;
  }
  if (x >= kKeyLeft && x < kKeyRight && y >= kKeyTop && y < kKeyBottom) return kKeyColour;
  const bool left = x < kWidth / 2;
  const bool upper = y < (kBand + kHeight) / 2;
  if (upper) return left ? 0xE02020 : 0x20C040;
  return left ? 0x2040E0 : 0xF0D020;
}

std::vector<uint8_t> BitmapFile() {
  std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
  for (uint32_t y = 0; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) {
      const uint32_t c = ColourAt(x, y);
      uint8_t* p = &pixels[(size_t(y) * kWidth + x) * 3];
      p[0] = uint8_t(c >> 16);
      p[1] = uint8_t(c >> 8);
      p[2] = uint8_t(c);
    }
  return EncodeBitmap24(kWidth, kHeight, pixels.data());
}

}  // namespace sample
