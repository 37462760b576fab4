#include "PXMImageCANVAS/CanvasCopyKernels.h"

#include <bit>
#include <cstring>

#include "PXMImage/RowKernel.h"

namespace {

// Pixels are handled as 32-bit words whose low byte is the first byte in memory.
static_assert(std::endian::native == std::endian::little);

inline uint32_t LoadWord(const uint8_t* p) {
  uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Exchanges the first and third bytes of a pixel: blue, green, red <-> red, green, blue.
constexpr uint32_t SwapRedBlue(uint32_t pixel) {
  return (pixel & 0xFF00FF00u) | (pixel >> 16 & 0xFFu) | (pixel & 0xFFu) << 16;
}

PXM_ROW_KERNEL void Grey8Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count, const uint32_t*) {
  for (size_t x = 0; x < count; ++x) dst[x] = src[x] * 0x01010101u;
}

PXM_ROW_KERNEL void Indexed8Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count,
                                const uint32_t* __restrict table) {
  for (size_t x = 0; x < count; ++x) dst[x] = table[src[x]];
}

// Four 24-bit pixels per step as one 16-byte shuffle of the compiler's vector extension (a
// single byte shuffle where the target has one; the vectoriser's own code for 3-byte pixels is
// several times slower): 12 source bytes become 16 canvas bytes, the fourth of each pixel zero.
// The loop stops before a 16-byte load would pass the row's end; the last pixels go one by one.
using Bytes16 = uint8_t __attribute__((vector_size(16)));

template <int kRed, int kGreen, int kBlue>
inline void Pixels24Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count) {
  const Bytes16 zero = {};
  size_t x = 0;
  for (; 3 * x + 16 <= 3 * count; x += 4) {
    Bytes16 pixels;
    std::memcpy(&pixels, src + 3 * x, 16);
    pixels = __builtin_shufflevector(pixels, zero, kRed, kGreen, kBlue, 16, kRed + 3, kGreen + 3, kBlue + 3, 16, kRed + 6,
                                     kGreen + 6, kBlue + 6, 16, kRed + 9, kGreen + 9, kBlue + 9, 16);
    std::memcpy(dst + x, &pixels, 16);
  }
  for (; x < count; ++x)
    dst[x] = uint32_t{src[3 * x + kRed]} | uint32_t{src[3 * x + kGreen]} << 8 | uint32_t{src[3 * x + kBlue]} << 16;
}

PXM_ROW_KERNEL void Rgb24Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count, const uint32_t*) {
  Pixels24Row<0, 1, 2>(src, dst, count);
}

PXM_ROW_KERNEL void Bgr24Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count, const uint32_t*) {
  Pixels24Row<2, 1, 0>(src, dst, count);
}

PXM_ROW_KERNEL void Mono32Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count, const uint32_t*) {
  for (size_t x = 0; x < count; ++x) dst[x] = (LoadWord(src + 4 * x) & 0xFFu) * 0x010101u;
}

void Rgb32Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count, const uint32_t*) {
  if (count) std::memcpy(dst, src, 4 * count);
}

PXM_ROW_KERNEL void Bgr32Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count, const uint32_t*) {
  for (size_t x = 0; x < count; ++x) dst[x] = SwapRedBlue(LoadWord(src + 4 * x));
}

}  // namespace

CanvasRowKernel CanvasRowKernelFor(CanvasSourcePixels pixels) {
  switch (pixels) {
    case CanvasSourcePixels::Grey8: return Grey8Row;
    case CanvasSourcePixels::Indexed8: return Indexed8Row;
    case CanvasSourcePixels::Rgb24: return Rgb24Row;
    case CanvasSourcePixels::Bgr24: return Bgr24Row;
    case CanvasSourcePixels::Mono32: return Mono32Row;
    case CanvasSourcePixels::Rgb32: return Rgb32Row;
    case CanvasSourcePixels::Bgr32: return Bgr32Row;
  }
  return nullptr;
}
