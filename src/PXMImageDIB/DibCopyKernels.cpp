#include "PXMImageDIB/DibCopyKernels.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "pxm/Types.h"

#ifdef PXM_DIB_SSSE3_KERNELS
#include <immintrin.h>
#endif

// The simple counted loops below are left to the compiler to vectorise; only the 24-bit swap,
// which needs byte shuffles the baseline instruction set lacks, is written out for SSSE3.

void CopyPixels8(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  std::memcpy(destination, source, width);
}

void CopyPixels24(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  std::memcpy(destination, source, 3 * size_t{width});
}

void CopyPixels32(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  std::memcpy(destination, source, 4 * size_t{width});
}

void SwapRedBlue24(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  for (size_t i = 0, end = 3 * size_t{width}; i < end; i += 3) {
    destination[i] = source[i + 2];
    destination[i + 1] = source[i + 1];
    destination[i + 2] = source[i];
  }
}

#ifdef PXM_DIB_SSSE3_KERNELS
__attribute__((target("ssse3"))) void SwapRedBlue24Ssse3(uint8_t* __restrict destination,
                                                         const uint8_t* __restrict source, uint32_t width) {
  // Four pixels per step: a 16-byte load and store of which the first 12 bytes are the swapped
  // pixels; the last 4 are rewritten by the next step, and the loop stops before the row ends.
  const __m128i swap = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
  const size_t end = 3 * size_t{width};
  size_t i = 0;
  for (; i + 16 <= end; i += 12) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), _mm_shuffle_epi8(pixels, swap));
  }
  SwapRedBlue24(destination + i, source + i, static_cast<uint32_t>((end - i) / 3));
}
#endif

void CopyOpaque32(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  static_assert(std::endian::native == std::endian::little, "alpha is the pixel word's high byte");
  for (size_t i = 0, end = 4 * size_t{width}; i < end; i += 4) {
    uint32_t pixel;
    std::memcpy(&pixel, source + i, 4);
    pixel |= 0xFF000000u;
    std::memcpy(destination + i, &pixel, 4);
  }
}

void FirstByteOf32(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  for (size_t x = 0; x < width; ++x) destination[x] = source[4 * x];
}

namespace {

DibRowKernel SwapKernel() {
#ifdef PXM_DIB_SSSE3_KERNELS
  if (__builtin_cpu_supports("ssse3")) return SwapRedBlue24Ssse3;
#endif
  return SwapRedBlue24;
}

}  // namespace

DibCopyRule ChooseDibCopyRule(uint32_t bitsPerPixel, uint32_t fourcc, int alphaOption) {
  switch (bitsPerPixel) {
    case 8:
      return {CopyPixels8, 1, 1, false};
    case 24:
      return {fourcc == FOURCC_RGB || fourcc == FOURCC_ARGB ? CopyPixels24 : SwapKernel(), 3, 3, false};
    case 32:
      if (fourcc == FOURCC_MONO) return {FirstByteOf32, 4, 1, true};
      return {alphaOption == 255 ? CopyOpaque32 : CopyPixels32, 4, 4, false};
    default:
      return {};
  }
}
