#include "ChannelSwap.h"

#include <cstddef>

// Plain counted loops over the pixels, which the compiler vectorises (byte shuffles for the
// 3-byte pixels). On x86-64 ELF each loop is also built for x86-64-v2 (SSSE3 shuffles) and AVX2;
// the loader binds the one the processor runs best, once.
#if defined(__x86_64__) && defined(__ELF__)
#define HOST_ROW_KERNEL __attribute__((target_clones("avx2", "arch=x86-64-v2", "default")))
#else
#define HOST_ROW_KERNEL
#endif

namespace host {

namespace {

HOST_ROW_KERNEL void Swap24(uint8_t* row, uint32_t width) {
  uint8_t* __restrict p = row;
  for (size_t x = 0; x < width; ++x) {
    const uint8_t first = p[3 * x];
    p[3 * x] = p[3 * x + 2];
    p[3 * x + 2] = first;
  }
}

HOST_ROW_KERNEL void Swap32(uint8_t* row, uint32_t width) {
  uint8_t* __restrict p = row;
  for (size_t x = 0; x < width; ++x) {
    const uint8_t first = p[4 * x];
    p[4 * x] = p[4 * x + 2];
    p[4 * x + 2] = first;
  }
}

}  // namespace

// The cloned loops stay inside this file: one compiler names a clone set's entry point after the
// clones, so only plain functions are called from elsewhere.
void SwapRedBlue24(uint8_t* row, uint32_t width) { Swap24(row, width); }
void SwapRedBlue32(uint8_t* row, uint32_t width) { Swap32(row, width); }

}  // namespace host
