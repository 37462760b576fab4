#include "PXMImage/ImageBlock.h"

#include <atomic>
#include <cstdlib>

#include "PXMImage/RowKernel.h"

#if defined(__GLIBC__)
#include <malloc.h>
#elif defined(__APPLE__)
#include <malloc/malloc.h>
#endif
#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Below this, a block is too short for the rows' alignment to matter and malloc packs it tighter.
constexpr size_t kLineAlignFrom = 4096;

// The first touch of fresh memory costs the kernel's zeroing of every page, about half a copy of
// the block, so a host that loads one picture after another gets most of its time back when a new
// image takes the block the last one left. One block is kept: at least kKeptMin (smaller ones come
// back from malloc's own lists), at most kKeptMax, and it serves only requests of at least half its
// length, so it never holds much more than the host last had.
constexpr size_t kKeptMin = size_t{4} << 20;
constexpr size_t kKeptMax = size_t{256} << 20;

// A plain atomic pointer, so that an image released during the process's exit, after the keeper
// below, still finds it usable (its block then stays kept until the process ends).
std::atomic<void*> gKept{nullptr};

struct Keeper {
  ~Keeper() { std::free(gKept.exchange(nullptr)); }
} gKeeper;

// What the allocator really gave: blocks are kept only where it can say.
size_t UsableSize(void* block) {
#if defined(__GLIBC__)
  return malloc_usable_size(block);
#elif defined(__APPLE__)
  return malloc_size(block);
#else
  (void)block;
  return 0;
#endif
}

// A DIB's rows follow its header (40 bytes), so in a block that starts on a line every row of a
// picture whose rows fill whole lines straddles two. A block is moved forward by less than a line
// to start its rows on one, and stays 4-byte aligned for its header's fields, by a shift that is
// not a multiple of 16: malloc's blocks (a caller's, handed over) all start on one, so
// FreeImageBlock knows a moved block by its address. Rows that would need any other shift stay
// where they are.
constexpr uintptr_t kMallocAlignment = 16;  // glibc's on 64-bit systems, and macOS's
size_t ShiftFor(uint64_t rowsAt) {
  const size_t shift = static_cast<size_t>(-rowsAt % kLineBytes);
  return shift % 4 == 0 && shift % kMallocAlignment != 0 ? shift : 0;
}

// The allocation a block lies in.
void* AllocationOf(void* block) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(block);
  return at % kMallocAlignment ? reinterpret_cast<void*>(at & ~uintptr_t{kLineBytes - 1}) : block;
}

uint8_t* Allocate(size_t size) {
  if (size >= kKeptMin / 2) {
    if (void* kept = gKept.exchange(nullptr)) {
      const size_t length = UsableSize(kept);
      if (length >= size && length / 2 <= size) return static_cast<uint8_t*>(kept);
      std::free(kept);
    }
  }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // A page fault costs about the same whatever the page's size: a fault per 2 MiB instead of per
  // 4 KiB. Huge pages cover only whole aligned 2 MiB ranges, and the 4 KiB pages of one unaligned
  // end of a plain malloc block cost as much as all the huge pages of a 48 MiB image. So a large
  // block starts on a huge page and spans whole ones, and is advised to use them before anything
  // touches it.
  if (size >= 2 * kHugePage && size <= SIZE_MAX - kHugePage) {
    const size_t length = (size + kHugePage - 1) & ~(kHugePage - 1);
    void* block = std::aligned_alloc(kHugePage, length);
    if (block) madvise(block, length, MADV_HUGEPAGE);  // advice only: the block is good either way
    return static_cast<uint8_t*>(block);
  }
#endif
  // Smaller blocks start on a cache line, as the rows of a raster plane then do: malloc's large
  // blocks start 16 bytes into a page, and a row kernel's vector stores then straddle lines (three
  // planes from a 1024 x 1024 source: 0.19 ms into aligned planes, 0.23 ms into malloc's).
  if (size >= kLineAlignFrom && size <= SIZE_MAX - kLineBytes)
    return static_cast<uint8_t*>(std::aligned_alloc(kLineBytes, (size + kLineBytes - 1) & ~(kLineBytes - 1)));
  return static_cast<uint8_t*>(std::malloc(size));
}

}  // namespace

uint8_t* AllocateImageBlock(size_t size, uint64_t rowsAt) {
  if (size > SIZE_MAX / 2) return nullptr;  // no allocator has that much, and moved blocks must start on a line
  const size_t shift = size >= kLineAlignFrom ? ShiftFor(rowsAt) : 0;
  uint8_t* allocation = Allocate(size + shift);
  return allocation ? allocation + shift : nullptr;
}

void FreeImageBlock(void* block) {
  if (!block) return;
  block = AllocationOf(block);
  const size_t length = UsableSize(block);
  if (length < kKeptMin || length > kKeptMax) return std::free(block);
  std::free(gKept.exchange(block));
}
