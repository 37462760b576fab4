#include "PXMImageCANVAS/CanvasCopyKernels.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define PXM_WIDE_CANVAS_KERNELS 1
#endif

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
  // Groups of four whose loads stay within the row (a load may reach up to spare pixels past its
  // group), four groups a step: with one a step the loop's own count and compares cost as much as
  // the shuffles.
  static_assert(Convert::kLoad >= 4 * Convert::kBytes);
  const size_t spare = (Convert::kLoad + Convert::kBytes - 1) / Convert::kBytes - 4;
  const size_t grouped = count > spare ? count - spare : 0;
  for (; x + 16 <= grouped; x += 16)
    for (size_t k = 0; k < 16; k += 4) Store16<kStream>(dst + x + k, Convert::Four(src, x + k, table));
  for (; x + 4 <= grouped; x += 4) Store16<kStream>(dst + x, Convert::Four(src, x, table));
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

// The widest grey kernel is left to the vectoriser, which widens a whole register of bytes a step
// (zero-extend, multiply) and stores at the register's full width.
PXM_ROW_KERNEL void WideGrey8Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count, const uint32_t*) {
  for (size_t x = 0; x < count; ++x) dst[x] = Grey8::One(src, x, nullptr);
}

#if defined(PXM_WIDE_CANVAS_KERNELS)
// 24-bit pixels sixteen at a time with AVX-512, one 64-byte store a step (ahead of the 16-byte steps
// above only far beyond the cache; eight a step with AVX2 gained nothing): a masked load takes their
// 48 bytes, without touching any beyond, a dword permute gives each 16-byte lane four pixels and a
// byte shuffle puts them in canvas order, the fourth byte zero.
template <int kRed, int kBlue>
__attribute__((target("avx512f,avx512bw"))) void WideRow24(const uint8_t* __restrict src, uint32_t* __restrict dst,
                                                            size_t count, const uint32_t* table) {
  const __m512i dwords = _mm512_setr_epi32(0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0);
  const auto pixel = [](int at) { return int(0xFF000000u | uint32_t(at + kBlue) << 16 | uint32_t(at + 1) << 8 | uint32_t(at + kRed)); };
  const __m512i order = _mm512_setr4_epi32(pixel(0), pixel(3), pixel(6), pixel(9));
  size_t x = 0;
  for (; x + 16 <= count; x += 16) {
    const __m512i pixels = _mm512_maskz_loadu_epi8(0xFFFFFFFFFFFFull, src + 3 * x);
    _mm512_storeu_si512(dst + x, _mm512_shuffle_epi8(_mm512_maskz_permutexvar_epi32(0xFFFF, dwords, pixels), order));
  }
  ConvertRow<Pixels24<kRed, 1, kBlue>, false>(src + 3 * x, dst + x, count - x, table);
}
#endif

// The C library's copy of rows this long already writes whole lines without reading them.
void Rgb32Row(const uint8_t* __restrict src, uint32_t* __restrict dst, size_t count, const uint32_t*) {
  if (count) std::memcpy(dst, src, 4 * count);
}

}  // namespace

CanvasRowKernel CanvasRowKernelFor(CanvasSourcePixels pixels, bool streaming, bool widest) {
#if defined(PXM_WIDE_CANVAS_KERNELS)
  if (widest && !streaming && __builtin_cpu_supports("avx512bw")) {
    if (pixels == CanvasSourcePixels::Rgb24) return WideRow24<0, 2>;
    if (pixels == CanvasSourcePixels::Bgr24) return WideRow24<2, 0>;
  }
#endif
  if (widest && !streaming && pixels == CanvasSourcePixels::Grey8) return WideGrey8Row;
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
