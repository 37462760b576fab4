// What the module's row kernels share: how they are built, and the order rows are walked in.
#pragma once
#include <cstdint>

// Kernels are plain counted loops over pixels, left to the compiler to vectorise. On x86-64 ELF
// each is also built for x86-64-v2 (SSSE3 byte shuffles) and AVX2; the loader binds the one the
// processor runs best, once.
#if defined(__x86_64__) && defined(__ELF__)
#define PXM_ROW_KERNEL __attribute__((target_clones("avx2", "arch=x86-64-v2", "default")))
#else
#define PXM_ROW_KERNEL
#endif

// The i-th row to visit so that rows of this stride are walked in ascending addresses: hardware
// prefetchers stream rows that step backwards (DIB rows lie bottom-up) at about half the speed,
// and reads suffer from it more than writes.
constexpr uint32_t RowInMemoryOrder(int32_t stride, uint32_t i, uint32_t height) {
  return stride < 0 ? height - 1 - i : i;
}
