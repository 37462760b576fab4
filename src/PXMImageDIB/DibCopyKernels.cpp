#include "PXMImageDIB/DibCopyKernels.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "PXMImage/RowKernel.h"
#include "pxm/Types.h"

// The 3-byte swap spells its shuffle with the compiler's vector extension.

void CopyPixels8(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  std::memcpy(destination, source, width);
}

void CopyPixels24(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  std::memcpy(destination, source, 3 * size_t{width});
}

void CopyPixels32(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  std::memcpy(destination, source, 4 * size_t{width});
}

namespace {

// Four pixels per step as one 16-byte shuffle of the compiler's vector extension (a single byte
// shuffle where the target has one; the vectoriser's own code for the plain loop is three times
// slower): the first 12 bytes are the swapped pixels, the last 4 are rewritten by the next step,
// and the loop stops before a load would pass the row's end.
using Bytes16 = uint8_t __attribute__((vector_size(16)));

PXM_ROW_KERNEL void SwapRows(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  const size_t end = 3 * size_t{width};
  size_t i = 0;
  for (; i + 16 <= end; i += 12) {
    Bytes16 pixels;
    std::memcpy(&pixels, source + i, 16);
    pixels = __builtin_shufflevector(pixels, pixels, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    std::memcpy(destination + i, &pixels, 16);
  }
  for (; i < end; i += 3) {
    destination[i] = source[i + 2];
    destination[i + 1] = source[i + 1];
    destination[i + 2] = source[i];
  }
}

// Whole pixel words with the alpha byte set: byte by byte, the compiler shuffles needlessly.
PXM_ROW_KERNEL void OpaqueRows(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  static_assert(std::endian::native == std::endian::little, "alpha is the pixel word's high byte");
  for (size_t x = 0; x < width; ++x) {
    uint32_t pixel;
    std::memcpy(&pixel, source + 4 * x, 4);
    pixel |= 0xFF000000u;
    std::memcpy(destination + 4 * x, &pixel, 4);
  }
}

PXM_ROW_KERNEL void FirstBytes(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  for (size_t x = 0; x < width; ++x) destination[x] = source[4 * x];
}

}  // namespace

// The cloned loops stay inside this file: one compiler names a clone set's entry point after the
// clones, so only plain functions are called from elsewhere.
void SwapRedBlue24(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  SwapRows(destination, source, width);
}
void CopyOpaque32(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  OpaqueRows(destination, source, width);
}
void FirstByteOf32(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  FirstBytes(destination, source, width);
}

DibCopyRule ChooseDibCopyRule(uint32_t bitsPerPixel, uint32_t fourcc, int alphaOption) {
  switch (bitsPerPixel) {
    case 8:
      return {CopyPixels8, 1, 1, false};
    case 24:
      return {fourcc == FOURCC_RGB || fourcc == FOURCC_ARGB ? CopyPixels24 : SwapRedBlue24, 3, 3, false};
    case 32:
      if (fourcc == FOURCC_MONO) return {FirstByteOf32, 4, 1, true};
      return {alphaOption == 255 ? CopyOpaque32 : CopyPixels32, 4, 4, false};
    default:
      return {};
  }
}
