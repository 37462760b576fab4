#include "PXMImageDIB/DibBlock.h"

#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {
// Below two huge pages the advice cannot cover a whole aligned huge page worth having.
constexpr size_t kHugePageAdviceFrom = size_t{4} << 20;
}  // namespace

uint8_t* AllocateDibBlock(size_t size) {
  void* block = std::malloc(size);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (block && size >= kHugePageAdviceFrom) {
    // madvise wants whole pages: advise the page-aligned interior of the allocation.
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  }
#endif
  return static_cast<uint8_t*>(block);
}
