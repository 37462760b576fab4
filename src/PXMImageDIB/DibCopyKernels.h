// The per-row conversions of a copy into a DIB image, one specialised loop per source format,
// chosen once per copy, each with a streaming twin for copies larger than the cache (the same
// bytes, stored around the cache). Rows hold at least one pixel, and the two rows never overlap.
#pragma once
#include <cstdint>

using DibRowKernel = void (*)(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);

struct DibCopyRule {
  DibRowKernel kernel = nullptr;  // null: no rule, the rows are left as they are
  DibRowKernel streamed = nullptr;
  uint32_t sourcePixelBytes = 0;
  uint32_t destinationPixelBytes = 0;
  // 32-bit grey sources are walked with their stride rounded toward zero to whole pixels.
  bool wholePixelSourceStride = false;
};

// The rule for a source of this depth and code; `alphaOption` 255 makes 32-bit pixels opaque.
// A 32-bit source of any code but "MONO" and "ARGB" is taken as plain colour.
DibCopyRule ChooseDibCopyRule(uint32_t bitsPerPixel, uint32_t fourcc, int alphaOption);

// The kernels, for tests that hold each against a plain loop.
void CopyPixels8(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
void CopyPixels24(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
void CopyPixels32(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
void SwapRedBlue24(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
void CopyOpaque32(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
void FirstByteOf32(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
void StreamPixels8(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
void StreamPixels24(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
void StreamPixels32(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
void StreamSwapRedBlue24(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
void StreamOpaque32(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
void StreamFirstByteOf32(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);

// 16-bit pixels (blue in the low bits) into blue, green, red bytes, each channel widened to 8 bits
// by repeating its top bits (5 bits v: v << 3 | v >> 2): 5-5-5 is the block's own 16-bit layout,
// 5-6-5 the common bit-field one.
void Widen555To24(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
void Widen565To24(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width);
