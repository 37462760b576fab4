#include "PXMImageCANVAS/CanvasCopyKernels.h"

#include <bit>
#include <cstring>

#include "PXMImage/RowKernel.h"

namespace {

// Pixels are handled as 32-bit words whose low byte is the first byte in memory.
static_assert(std::endian::native == std::endian::little);

// Every conversion but the plain copy produces four canvas pixels at a time as one 16-byte vector
// of the compiler's vector extension, mostly by one byte shuffle (the vectoriser's own code for 3-byte
// pixels is several times slower); the pixels before the first aligned group and after the last go
// one by one. Each conversion: Four(src, x, table) makes pixels x .. x + 3 reading kLoad bytes from
// pixel x on, One(src, x, table) pixel x alone.

inline Bytes16 Load16(const uint8_t* p) {
  Bytes16 bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  return bytes;
}

struct Grey8 {
  static constexpr size_t kBytes = 1, kLoad = 4;
  static Bytes16 Four(const uint8_t* src, size_t x, const uint32_t*) {
    Bytes16 v = {};
    std::memcpy(&v, src + x, 4);
    return __builtin_shufflevector(v, v, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
  }
  static uint32_t One(const uint8_t* src, size_t x, const uint32_t*) { return src[x] * 0x01010101u; }
};

struct Indexed8 {
  static constexpr size_t kBytes = 1, kLoad = 4;
  static Bytes16 Four(const uint8_t* src, size_t x, const uint32_t* table) {
    const uint32_t pixels[4] = {table[src[x]], table[src[x + 1]], table[src[x + 2]], table[src[x + 3]]};
    Bytes16 v;
    std::memcpy(&v, pixels, sizeof v);
    return v;
  }
  static uint32_t One(const uint8_t* src, size_t x, const uint32_t* table) { return table[src[x]]; }
};

// 12 source bytes become 16 canvas bytes, the fourth of each pixel zero.
template <int kRed, int kGreen, int kBlue>
struct Pixels24 {
  static constexpr size_t kBytes = 3, kLoad = 16;
  static Bytes16 Four(const uint8_t* src, size_t x, const uint32_t*) {
    const Bytes16 zero = {};
    return __builtin_shufflevector(Load16(src + 3 * x), zero, kRed, kGreen, kBlue, 16, kRed + 3, kGreen + 3, kBlue + 3,
                                   16, kRed + 6, kGreen + 6, kBlue + 6, 16, kRed + 9, kGreen + 9, kBlue + 9, 16);
  }
  static uint32_t One(const uint8_t* src, size_t x, const uint32_t*) {
    const uint8_t* p = src + 3 * x;
    return uint32_t{p[kRed]} | uint32_t{p[kGreen]} << 8 | uint32_t{p[kBlue]} << 16;
  }
};
using Rgb24 = Pixels24<0, 1, 2>;
using Bgr24 = Pixels24<2, 1, 0>;

// A 32-bit grey sample's low byte three times, then zero.
struct Mono32 {
  static constexpr size_t kBytes = 4, kLoad = 16;
  static Bytes16 Four(const uint8_t* src, size_t x, const uint32_t*) {
    const Bytes16 zero = {};
    return __builtin_shufflevector(Load16(src + 4 * x), zero, 0, 0, 0, 16, 4, 4, 4, 16, 8, 8, 8, 16, 12, 12, 12, 16);
  }
  static uint32_t One(const uint8_t* src, size_t x, const uint32_t*) { return src[4 * x] * 0x010101u; }
};

// Blue, green, red, x -> red, green, blue, x.
struct Bgr32 {
  static constexpr size_t kBytes = 4, kLoad = 16;
  static Bytes16 Four(const uint8_t* src, size_t x, const uint32_t*) {
    const Bytes16 v = Load16(src + 4 * x);
    return __builtin_shufflevector(v, v, 2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  }
  static uint32_t One(const uint8_t* src, size_t x, const uint32_t*) {
    const uint8_t* p = src + 4 * x;
    return uint32_t{p[2]} | uint32_t{p[1]} << 8 | uint32_t{p[0]} << 16 | uint32_t{p[3]} << 24;
  }
};

// Streaming stores want 16-byte aligned addresses; targets without them store plainly.
template <bool kStream>
inline void Store16(uint32_t* dst, Bytes16 v) {
  if constexpr (kStream)
    StreamStore16(reinterpret_cast<uint8_t*>(dst), v);
  else
    std::memcpy(dst, &v, sizeof v);
}

template <class Convert, bool kStream>
inline void ConvertRow(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count, const uint32_t* table) {
  size_t x = 0;
  if constexpr (kStream)
    for (; x < count && reinterpret_cast<uintptr_t>(dst + x) % 16 != 0; ++x) dst[x] = Convert::One(src, x, table);
  for (; Convert::kBytes * x + Convert::kLoad <= Convert::kBytes * count && x + 4 <= count; x += 4)
    Store16<kStream>(dst + x, Convert::Four(src, x, table));
  for (; x < count; ++x) dst[x] = Convert::One(src, x, table);
}

// Each conversion built once with plain stores and once streaming.
#define PXM_CANVAS_KERNELS(Convert)                                                                               \
  PXM_ROW_KERNEL void Convert##Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count,          \
                                   const uint32_t* table) {                                                       \
    ConvertRow<Convert, false>(src, dst, count, table);                                                           \
  }                                                                                                               \
  PXM_ROW_KERNEL void Convert##Streamed(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count,     \
                                        const uint32_t* table) {                                                  \
    ConvertRow<Convert, true>(src, dst, count, table);                                                            \
  }
PXM_CANVAS_KERNELS(Grey8)
PXM_CANVAS_KERNELS(Indexed8)
PXM_CANVAS_KERNELS(Rgb24)
PXM_CANVAS_KERNELS(Bgr24)
PXM_CANVAS_KERNELS(Mono32)
PXM_CANVAS_KERNELS(Bgr32)
#undef PXM_CANVAS_KERNELS

// The C library's copy of rows this long already writes whole lines without reading them.
void Rgb32Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count, const uint32_t*) {
  if (count) std::memcpy(dst, src, 4 * count);
}

}  // namespace

CanvasRowKernel CanvasRowKernelFor(CanvasSourcePixels pixels, bool streaming) {
  switch (pixels) {
    case CanvasSourcePixels::Grey8: return streaming ? Grey8Streamed : Grey8Row;
    case CanvasSourcePixels::Indexed8: return streaming ? Indexed8Streamed : Indexed8Row;
    case CanvasSourcePixels::Rgb24: return streaming ? Rgb24Streamed : Rgb24Row;
    case CanvasSourcePixels::Bgr24: return streaming ? Bgr24Streamed : Bgr24Row;
    case CanvasSourcePixels::Mono32: return streaming ? Mono32Streamed : Mono32Row;
    case CanvasSourcePixels::Rgb32: return Rgb32Row;
    case CanvasSourcePixels::Bgr32: return streaming ? Bgr32Streamed : Bgr32Row;
  }
  return nullptr;
}
