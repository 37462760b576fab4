#include "PXMImage/RasterCopyKernels.h"

#include <algorithm>
#include <cstring>

#include "PXMImage/RowKernel.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace {

// The mean of three bytes divides their sum (0 to 765) by 3 exactly with a multiply and shift:
// the sum fits 16 bits and the quotient is the high half of a 16-bit product, so the vectoriser
// keeps 16-bit lanes instead of widening every byte to 32 bits.
constexpr uint32_t DivideBy3(uint16_t sum) { return uint32_t{sum} * 21846u >> 16; }
constexpr bool DivideBy3IsExact() {
  for (uint16_t sum = 0; sum <= 3 * 255; ++sum)
    if (DivideBy3(sum) != sum / 3u) return false;
  return true;
}
static_assert(DivideBy3IsExact());

// Byte k of every pixel into plane k; the fourth byte of a 32-bit pixel is dropped.
template <size_t N>
inline void SplitRow(const uint8_t* __restrict src, uint8_t* __restrict p0, uint8_t* __restrict p1,
                     uint8_t* __restrict p2, size_t count) {
  for (size_t x = 0; x < count; ++x) {
    p0[x] = src[N * x];
    p1[x] = src[N * x + 1];
    p2[x] = src[N * x + 2];
  }
}

template <size_t N>
inline void MeanRow(const uint8_t* __restrict src, uint8_t* __restrict dst, size_t count) {
  for (size_t x = 0; x < count; ++x)
    dst[x] = static_cast<uint8_t>(DivideBy3(static_cast<uint16_t>(src[N * x] + src[N * x + 1] + src[N * x + 2])));
}

// The streaming twins, for copies larger than the cache (see StreamStore16): the pixels before the
// first that starts a line and those after the last whole line go through the plain loops.

// Byte K of each of the 16 pixels from source on, N bytes a pixel.
template <size_t N, int K>
[[gnu::always_inline]] inline Bytes16 PlaneRun(const uint8_t* source) {
  Bytes16 a, b, c;
  std::memcpy(&a, source, 16);
  std::memcpy(&b, source + 16, 16);
  std::memcpy(&c, source + 32, 16);
  if constexpr (N == 3) {
    // Bytes below 32 come from a and b; the last ones (5 or 6) from c.
    if constexpr (K == 0) {
      const Bytes16 t = __builtin_shufflevector(a, b, 0, 3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 0, 0, 0, 0, 0);
      return __builtin_shufflevector(t, c, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 17, 20, 23, 26, 29);
    } else if constexpr (K == 1) {
      const Bytes16 t = __builtin_shufflevector(a, b, 1, 4, 7, 10, 13, 16, 19, 22, 25, 28, 31, 0, 0, 0, 0, 0);
      return __builtin_shufflevector(t, c, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 18, 21, 24, 27, 30);
    } else {
      const Bytes16 t = __builtin_shufflevector(a, b, 2, 5, 8, 11, 14, 17, 20, 23, 26, 29, 0, 0, 0, 0, 0, 0);
      return __builtin_shufflevector(t, c, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 16, 19, 22, 25, 28, 31);
    }
  } else {
    Bytes16 d;
    std::memcpy(&d, source + 48, 16);
    const Bytes16 low =
        __builtin_shufflevector(a, b, K, K + 4, K + 8, K + 12, K + 16, K + 20, K + 24, K + 28, 0, 0, 0, 0, 0, 0, 0, 0);
    const Bytes16 high =
        __builtin_shufflevector(c, d, K, K + 4, K + 8, K + 12, K + 16, K + 20, K + 24, K + 28, 0, 0, 0, 0, 0, 0, 0, 0);
    return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 23);
  }
}

// Sixteen pixels of the three planes per step. Plane rows are allocated apart, so their lines
// rarely start at the same pixel: the planes' 16-byte runs are streamed instead, which costs a
// partial line at each end of a row (at 4096 pixels this ran at memcpy speed, while writing the
// planes line by line one after the other ran at 0.75 of it). Rows whose planes do not even share
// their place within 16 bytes take the plain loop.
template <size_t N>
[[gnu::always_inline]] inline void StreamSplitRow(const uint8_t* __restrict src, uint8_t* __restrict p0,
                                                  uint8_t* __restrict p1, uint8_t* __restrict p2, size_t count) {
  const auto place = [](const uint8_t* p) { return reinterpret_cast<uintptr_t>(p) & 15; };
  if (place(p1) != place(p0) || place(p2) != place(p0)) return SplitRow<N>(src, p0, p1, p2, count);
  const size_t head = std::min<size_t>(count, (16 - place(p0)) & 15);
  SplitRow<N>(src, p0, p1, p2, head);
  size_t x = head;
  for (; x + 16 <= count; x += 16) {
    StreamStore16(p0 + x, PlaneRun<N, 0>(src + N * x));
    StreamStore16(p1 + x, PlaneRun<N, 1>(src + N * x));
    StreamStore16(p2 + x, PlaneRun<N, 2>(src + N * x));
  }
  SplitRow<N>(src + N * x, p0 + x, p1 + x, p2 + x, count - x);
}

// The means of a line (64 pixels) at a time come from the plain loop (whose 16-bit lanes the
// vectoriser handles better than shuffles of the planes) into a buffer in the cache, which four
// streaming stores then write out together.
template <size_t N>
[[gnu::always_inline]] inline void StreamMeanRow(const uint8_t* __restrict src, uint8_t* __restrict dst, size_t count) {
  const size_t head = PixelsToLineBoundary(dst, 1, count);
  MeanRow<N>(src, dst, head);
  size_t x = head;
  for (; x + kLineBytes <= count; x += kLineBytes) {
    alignas(16) uint8_t means[kLineBytes];
    MeanRow<N>(src + N * x, means, kLineBytes);
    for (size_t k = 0; k < kLineBytes; k += 16) {
      Bytes16 run;
      std::memcpy(&run, means + k, 16);
      StreamStore16(dst + x + k, run);
    }
  }
  MeanRow<N>(src + N * x, dst + x, count - x);
}

// Every kernel built for 3- and 4-byte pixels, plain and streaming: multi-versioned functions
// cannot be templates.
#define PXM_RASTER_KERNELS(kBits, kSplitKernel)                                                                \
  kSplitKernel void SplitRow##kBits(const uint8_t* __restrict src, uint8_t* __restrict p0, uint8_t* __restrict p1, \
                                      uint8_t* __restrict p2, size_t count) {                                  \
    SplitRow<kBits / 8>(src, p0, p1, p2, count);                                                               \
  }                                                                                                            \
  PXM_ROW_KERNEL void StreamSplitRow##kBits(const uint8_t* __restrict src, uint8_t* __restrict p0,              \
                                            uint8_t* __restrict p1, uint8_t* __restrict p2, size_t count) {    \
    StreamSplitRow<kBits / 8>(src, p0, p1, p2, count);                                                         \
  }                                                                                                            \
  PXM_ROW_KERNEL void MeanRow##kBits(const uint8_t* __restrict src, uint8_t* __restrict dst, size_t count) {    \
    MeanRow<kBits / 8>(src, dst, count);                                                                       \
  }                                                                                                            \
  PXM_ROW_KERNEL void StreamMeanRow##kBits(const uint8_t* __restrict src, uint8_t* __restrict dst, size_t count) { \
    StreamMeanRow<kBits / 8>(src, dst, count);                                                                 \
  }
PXM_RASTER_KERNELS(24, PXM_ROW_KERNEL_AVX2)
PXM_RASTER_KERNELS(32, PXM_ROW_KERNEL)
#undef PXM_RASTER_KERNELS

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PXM_WIDE_RASTER_KERNELS 1
// The mean of 24-bit pixels sixteen at a time with AVX-512 (0.11 ns a pixel in the cache, against
// 0.19 for the compiler's own loop, which is compute-bound in the 3-byte deinterleave): a masked load
// takes 48 bytes, a dword permute gives each 16-byte lane four pixels and a byte shuffle spreads
// them out, the rest is per lane. (A split by the byte permutes of AVX-512 VBMI, 64 pixels a step,
// ran at 0.76 of memcpy against 0.98 for the compiler's loop.)

// Lane k holds pixels 4k to 4k + 3 as red, green, blue and a zero byte each.
__attribute__((target("avx512f,avx512bw"))) inline __m512i Lanes24(const uint8_t* src) {
  const __m512i pixels = _mm512_maskz_loadu_epi8(0xFFFFFFFFFFFFull, src);
  const __m512i dwords = _mm512_setr_epi32(0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0);
  // Bytes 0, 1, 2, none, 3, 4, 5, none, ... of every lane. (The masked forms keep g++ 12 from warning
  // about the undefined vectors its unmasked intrinsics start from.)
  const __m512i spread = _mm512_setr4_epi32(int(0xFF020100), int(0xFF050403), int(0xFF080706), int(0xFF0B0A09));
  return _mm512_shuffle_epi8(_mm512_maskz_permutexvar_epi32(0xFFFF, dwords, pixels), spread);
}

// Bytes multiplied by 1 and added in pairs give red + green and blue, words added in pairs the sum,
// whose 16-bit product with 21846 has the mean in its high half (DivideBy3).
__attribute__((target("avx512f,avx512bw"))) void WideMeanRow24(const uint8_t* __restrict src, uint8_t* __restrict dst,
                                                               size_t count) {
  const __m512i ones = _mm512_set1_epi8(1), pairs = _mm512_set1_epi16(1), third = _mm512_set1_epi32(21846);
  size_t x = 0;
  for (; x + 16 <= count; x += 16) {
    const __m512i sums = _mm512_madd_epi16(_mm512_maddubs_epi16(Lanes24(src + 3 * x), ones), pairs);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm512_maskz_cvtepi32_epi8(0xFFFF, _mm512_mulhi_epu16(sums, third)));
  }
  MeanRow<3>(src + 3 * x, dst + x, count - x);
}

#endif

}  // namespace

RasterCopyKernels ChooseRasterCopyKernels(uint32_t bytesPerPixel, bool stream, bool widest) {
  if (bytesPerPixel == 3) {
#if defined(PXM_WIDE_RASTER_KERNELS)
    if (widest && !stream && __builtin_cpu_supports("avx512bw"))
      return RasterCopyKernels{SplitRow24, WideMeanRow24};
#endif
    return stream ? RasterCopyKernels{StreamSplitRow24, StreamMeanRow24} : RasterCopyKernels{SplitRow24, MeanRow24};
  }
  return stream ? RasterCopyKernels{StreamSplitRow32, StreamMeanRow32} : RasterCopyKernels{SplitRow32, MeanRow32};
}
