#include "ChannelSwap.h"

#include <bit>
#include <cstddef>
#include <cstring>

// Counted loops over the pixels that the compiler vectorises. On x86-64 ELF each loop is also
// built for x86-64-v2 (SSSE3 shuffles) and AVX2; the loader binds the one the processor runs
// best, once.
#if defined(__x86_64__) && defined(__ELF__) && !defined(PXM_NO_TARGET_CLONES)
#define HOST_ROW_KERNEL __attribute__((target_clones("avx2", "arch=x86-64-v2", "default")))
#else
#define HOST_ROW_KERNEL
#endif

namespace host {

namespace {

using Bytes16 = uint8_t __attribute__((vector_size(16)));

// Sixteen pixels (48 bytes) per step as byte shuffles of the compiler's vector extension: the
// vectoriser's own code for the plain loop runs at about a third of the speed. All three vectors
// are loaded before any is stored back, so no load waits on a store it partly overlaps.
HOST_ROW_KERNEL void Swap24(uint8_t* row, uint32_t width) {
  const size_t end = 3 * size_t{width};
  size_t i = 0;
  for (; i + 48 <= end; i += 48) {
    Bytes16 a, b, c;
    std::memcpy(&a, row + i, 16);
    std::memcpy(&b, row + i + 16, 16);
    std::memcpy(&c, row + i + 32, 16);
    // Output byte j takes input byte 3 * (j / 3) + 2 - j % 3; the middle vector reaches into all
    // three, so its byte 14 (input byte 32) comes from c in a second shuffle.
    const Bytes16 first = __builtin_shufflevector(a, b, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 17);
    const Bytes16 middle = __builtin_shufflevector(a, b, 16, 15, 20, 19, 18, 23, 22, 21, 26, 25, 24, 29, 28, 27, 0, 31);
    const Bytes16 second = __builtin_shufflevector(middle, c, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16, 15);
    const Bytes16 third = __builtin_shufflevector(b, c, 14, 19, 18, 17, 22, 21, 20, 25, 24, 23, 28, 27, 26, 31, 30, 29);
    std::memcpy(row + i, &first, 16);
    std::memcpy(row + i + 16, &second, 16);
    std::memcpy(row + i + 32, &third, 16);
  }
  for (; i < end; i += 3) {
    const uint8_t first = row[i];
    row[i] = row[i + 2];
    row[i + 2] = first;
  }
}

// Whole pixel words: bytes 0 and 2 trade places, 1 and 3 stay.
HOST_ROW_KERNEL void Swap32(uint8_t* row, uint32_t width) {
  static_assert(std::endian::native == std::endian::little, "byte 0 is the pixel word's low byte");
  uint8_t* __restrict p = row;
  for (size_t x = 0; x < width; ++x) {
    uint32_t pixel;
    std::memcpy(&pixel, p + 4 * x, 4);
    pixel = (pixel & 0xFF00FF00u) | (pixel >> 16 & 0xFFu) | (pixel & 0xFFu) << 16;
    std::memcpy(p + 4 * x, &pixel, 4);
  }
}

}  // namespace

// The cloned loops stay inside this file: one compiler names a clone set's entry point after the
// clones, so only plain functions are called from elsewhere.
void SwapRedBlue24(uint8_t* row, uint32_t width) { Swap24(row, width); }
void SwapRedBlue32(uint8_t* row, uint32_t width) { Swap32(row, width); }

}  // namespace host
