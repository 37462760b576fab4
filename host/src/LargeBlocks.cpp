#include "LargeBlocks.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace host {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Kept blocks are at most this large, and serve only requests of at least half their length, so
// the kept block never holds much more memory than the host last asked for.
constexpr size_t kKeptMax = size_t{256} << 20;

// The kept block, its length in its first bytes while it is kept. A plain atomic pointer, so that a
// stream released during the process's exit, after the keeper below, still finds it usable.
std::atomic<void*> gKept{nullptr};

struct Keeper {
  ~Keeper() { std::free(gKept.exchange(nullptr)); }
} gKeeper;

size_t LengthOf(void* kept) {
  size_t length;
  std::memcpy(&length, kept, sizeof length);
  return length;
}

}  // namespace

void* TakeLargeBlock(size_t bytes, size_t* length) {
  if (bytes > SIZE_MAX - kHugePage) return nullptr;
  const size_t wanted = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  if (void* kept = gKept.exchange(nullptr)) {
    const size_t keptLength = LengthOf(kept);
    if (keptLength >= wanted && keptLength / 2 <= wanted) {
      *length = keptLength;
      return kept;
    }
    std::free(kept);
  }
  void* block = std::aligned_alloc(kHugePage, wanted);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (block != nullptr) madvise(block, wanted, MADV_HUGEPAGE);  // advice only
#endif
  *length = wanted;
  return block;
}

void GiveLargeBlock(void* block, size_t length) {
  if (block == nullptr) return;
  if (length > kKeptMax) return std::free(block);
  std::memcpy(block, &length, sizeof length);
  std::free(gKept.exchange(block));
}

}  // namespace host
