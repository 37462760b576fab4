#include "ChannelSwap.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <utility>

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

// Output byte j of a pixel run takes input byte 3 * (j / 3) + 2 - j % 3. Steps of 3 * W bytes: the
// first and last W output bytes come from two adjacent input vectors, the middle ones from all three,
// so the middle is two shuffles. All three vectors are loaded before any is stored back, so no load
// waits on a store it partly overlaps. Index 0 marks a lane the next shuffle replaces.
constexpr int Source(int j) { return 3 * (j / 3) + 2 - j % 3; }
template <int W> constexpr int First(int k) { return Source(k); }
template <int W> constexpr int Middle(int k) { return Source(W + k) < 2 * W ? Source(W + k) : 0; }
template <int W> constexpr int Second(int k) { return Source(W + k) < 2 * W ? k : Source(W + k) - W; }
template <int W> constexpr int Third(int k) { return Source(2 * W + k) - W; }

using Bytes16 = uint8_t __attribute__((vector_size(16)));
using Bytes64 = uint8_t __attribute__((vector_size(64)));
template <int W> struct BytesOf;
template <> struct BytesOf<16> { using Type = Bytes16; };
template <> struct BytesOf<64> { using Type = Bytes64; };

template <int W, size_t... K>
inline size_t Swap24Steps(uint8_t* row, size_t end, std::index_sequence<K...>) {
  using Bytes = typename BytesOf<W>::Type;
  size_t i = 0;
  for (; i + 3 * W <= end; i += 3 * W) {
    Bytes a, b, c;
    std::memcpy(&a, row + i, W);
    std::memcpy(&b, row + i + W, W);
    std::memcpy(&c, row + i + 2 * W, W);
    const Bytes first = __builtin_shufflevector(a, b, First<W>(K)...);
    const Bytes middle = __builtin_shufflevector(a, b, Middle<W>(K)...);
    const Bytes second = __builtin_shufflevector(middle, c, Second<W>(K)...);
    const Bytes third = __builtin_shufflevector(b, c, Third<W>(K)...);
    std::memcpy(row + i, &first, W);
    std::memcpy(row + i + W, &second, W);
    std::memcpy(row + i + 2 * W, &third, W);
  }
  return i;
}

void Swap24Tail(uint8_t* row, size_t i, size_t end) {
  for (; i < end; i += 3) {
    const uint8_t first = row[i];
    row[i] = row[i + 2];
    row[i + 2] = first;
  }
}

// Sixteen pixels (48 bytes) a step as byte shuffles of the compiler's vector extension: the
// vectoriser's own code for the plain loop runs at about a third of the speed.
HOST_ROW_KERNEL void Swap24(uint8_t* row, uint32_t width) {
  const size_t end = 3 * size_t{width};
  Swap24Tail(row, Swap24Steps<16>(row, end, std::make_index_sequence<16>()), end);
}

#if defined(__x86_64__) && !defined(PXM_NO_TARGET_CLONES)
// 64 pixels a step where the processor permutes bytes across a whole 64-byte register (AVX-512
// VBMI): four permutes where the 16-byte steps take sixteen shuffles.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void Swap24Wide(uint8_t* row, uint32_t width) {
  const size_t end = 3 * size_t{width};
  Swap24Tail(row, Swap24Steps<64>(row, end, std::make_index_sequence<64>()), end);
}
#endif

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
void SwapRedBlue24(uint8_t* row, uint32_t width) {
#if defined(__x86_64__) && !defined(PXM_NO_TARGET_CLONES)
  static const auto swap = __builtin_cpu_supports("avx512vbmi") ? Swap24Wide : Swap24;
  swap(row, width);
#else
  Swap24(row, width);
#endif
}
void SwapRedBlue32(uint8_t* row, uint32_t width) { Swap32(row, width); }

}  // namespace host
