#include "PXMImage/ImageBlock.h"

#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

uint8_t* AllocateImageBlock(size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // The first touch of fresh memory is what a big image costs most, and a page fault costs about
  // the same whatever the page's size: a fault per 2 MiB instead of per 4 KiB. Huge pages cover
  // only whole aligned 2 MiB ranges, and the 4 KiB pages of one unaligned end of a plain malloc
  // block cost as much as all the huge pages of a 48 MiB image. So a large block starts on a huge
  // page and spans whole ones, and is advised to use them before anything touches it.
  constexpr size_t kHugePage = size_t{2} << 20;
  if (size >= 2 * kHugePage && size <= SIZE_MAX - kHugePage) {
    const size_t length = (size + kHugePage - 1) & ~(kHugePage - 1);
    void* block = std::aligned_alloc(kHugePage, length);
    if (block) madvise(block, length, MADV_HUGEPAGE);  // advice only: the block is good either way
    return static_cast<uint8_t*>(block);
  }
#endif
  return static_cast<uint8_t*>(std::malloc(size));
}
