#include "FailingAllocator.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The replacements call glibc's own allocator by its internal names. Elsewhere this file is empty
// and the test that needs failing allocations is not built.
#ifdef __GLIBC__
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
}

namespace {

// Blocks made while tracking, in an open-addressed table that needs no allocation itself.
constexpr size_t kSlots = size_t{1} << 16;
void* g_Blocks[kSlots];
void* const kTombstone = reinterpret_cast<void*>(uintptr_t{1});
long g_Outstanding = 0, g_FailAt = 0, g_Attempts = 0;
bool g_Tracking = false, g_Armed = false;

size_t Slot(const void* p) { return (reinterpret_cast<uintptr_t>(p) >> 4) * 0x9E3779B97F4A7C15u >> 48; }
void* Track(void* p) {
  size_t i = Slot(p);
  while (g_Tracking && p && g_Blocks[i] && g_Blocks[i] != kTombstone) i = (i + 1) % kSlots;
  if (g_Tracking && p) g_Blocks[i] = p, ++g_Outstanding;
  return p;
}
void Untrack(void* p) {
  for (size_t i = Slot(p); g_Tracking && p && g_Blocks[i]; i = (i + 1) % kSlots)
    if (g_Blocks[i] == p) return void(g_Blocks[i] = kTombstone), void(--g_Outstanding);
}
// Counts the attempt; true when it is the one to fail.
bool FailThis() { return g_Armed && ++g_Attempts == g_FailAt; }

}  // namespace

namespace failing {
void Start() {
  for (void*& block : g_Blocks) block = nullptr;
  g_Outstanding = 0, g_Tracking = true;
}
void Arm(long n) { g_Attempts = 0, g_FailAt = n, g_Armed = true; }
void Disarm() { g_Armed = false; }
void Stop() { g_Armed = g_Tracking = false; }
long Attempts() { return g_Attempts; }
long Outstanding() { return g_Outstanding; }
}  // namespace failing

extern "C" {
void* malloc(size_t size) { return Track(FailThis() ? nullptr : __libc_malloc(size)); }
void* calloc(size_t count, size_t size) { return Track(FailThis() ? nullptr : __libc_calloc(count, size)); }
void* realloc(void* old, size_t size) {
  if ((size || !old) && FailThis()) return nullptr;  // a failed realloc leaves the old block the caller's
  void* p = __libc_realloc(old, size);
  if (p != old || !size) Untrack(old), Track(p);
  return p;
}
void free(void* p) { Untrack(p), __libc_free(p); }
}  // extern "C"
#endif  // __GLIBC__
