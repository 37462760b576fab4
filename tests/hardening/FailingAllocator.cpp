#include "FailingAllocator.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

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

// Blocks made while tracking and not freed yet, in a table that needs no allocation itself.
void* g_Blocks[size_t{1} << 16];
long g_Outstanding = 0, g_FailAt = 0, g_Attempts = 0;
bool g_Tracking = false, g_Armed = false;

void* Track(void* p) {
  if (g_Tracking && p && g_Outstanding < long(std::size(g_Blocks))) g_Blocks[g_Outstanding++] = p;
  return p;
}
void Untrack(void* p) {
  for (long i = g_Outstanding - 1; g_Tracking && p && i >= 0; --i)
    if (g_Blocks[i] == p) return void(g_Blocks[i] = g_Blocks[--g_Outstanding]);
}
// Counts the attempt; true when it is the one to fail.
bool FailThis() { return g_Armed && ++g_Attempts == g_FailAt; }

}  // namespace

namespace failing {
void Start() { g_Outstanding = 0, g_Tracking = true; }
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
