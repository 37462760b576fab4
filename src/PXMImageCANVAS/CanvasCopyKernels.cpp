#include "PXMImageCANVAS/CanvasCopyKernels.h"

#include <bit>
#include <cstring>

namespace {

// Pixels are handled as 32-bit words whose low byte is the first byte in memory.
static_assert(std::endian::native == std::endian::little);

// On x86-64 ELF every kernel is built for the baseline and for AVX2; the loader binds the one
// the processor runs best, once.
#if defined(__x86_64__) && defined(__ELF__)
#define PXM_ROW_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define PXM_ROW_KERNEL
#endif

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

// Four 24-bit pixels are three words, loaded whole and cut into four pixels; the vectoriser turns
// the word arithmetic into vector shifts and permutes, which byte loads of a 3-byte stride defeat.
// The remaining pixels of a row are taken byte by byte.
PXM_ROW_KERNEL void Rgb24Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count, const uint32_t*) {
  const size_t quads = count / 4;
  for (size_t q = 0; q < quads; ++q) {
    const uint32_t a = LoadWord(src + 12 * q), b = LoadWord(src + 12 * q + 4), c = LoadWord(src + 12 * q + 8);
    dst[4 * q] = a & 0xFFFFFFu;
    dst[4 * q + 1] = (a >> 24 | b << 8) & 0xFFFFFFu;
    dst[4 * q + 2] = (b >> 16 | c << 16) & 0xFFFFFFu;
    dst[4 * q + 3] = c >> 8;
  }
  for (size_t x = 4 * quads; x < count; ++x)
    dst[x] = uint32_t{src[3 * x]} | uint32_t{src[3 * x + 1]} << 8 | uint32_t{src[3 * x + 2]} << 16;
}

// As Rgb24Row, each pixel's bytes placed reversed straight from the words (bytes s0 .. s11 of
// the three words are blue, green, red of four pixels).
PXM_ROW_KERNEL void Bgr24Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count, const uint32_t*) {
  const size_t quads = count / 4;
  for (size_t q = 0; q < quads; ++q) {
    const uint32_t a = LoadWord(src + 12 * q), b = LoadWord(src + 12 * q + 4), c = LoadWord(src + 12 * q + 8);
    dst[4 * q] = (a >> 16 & 0xFFu) | (a & 0xFF00u) | (a & 0xFFu) << 16;             // s2 s1 s0
    dst[4 * q + 1] = (b >> 8 & 0xFFu) | (b << 8 & 0xFF00u) | (a >> 8 & 0xFF0000u);  // s5 s4 s3
    dst[4 * q + 2] = (c & 0xFFu) | (b >> 16 & 0xFF00u) | (b & 0xFF0000u);           // s8 s7 s6
    dst[4 * q + 3] = c >> 24 | (c >> 8 & 0xFF00u) | (c << 8 & 0xFF0000u);           // s11 s10 s9
  }
  for (size_t x = 4 * quads; x < count; ++x)
    dst[x] = uint32_t{src[3 * x + 2]} | uint32_t{src[3 * x + 1]} << 8 | uint32_t{src[3 * x]} << 16;
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
