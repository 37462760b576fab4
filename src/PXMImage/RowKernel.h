// What the module's row kernels share: how they are built, the order rows are walked in, and
// streaming stores for destinations larger than the cache.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Kernels are plain counted loops over pixels, left to the compiler to vectorise. On x86-64 ELF
// each is also built for x86-64-v2 (SSSE3 byte shuffles), AVX2 and x86-64-v4 (AVX-512, whose
// byte permutes take the mean's 3-byte deinterleave from 0.17 to 0.08 ns a pixel); the loader
// binds the one the processor runs best, once.
#if defined(__x86_64__) && defined(__ELF__) && !defined(PXM_NO_TARGET_CLONES)
#define PXM_ROW_KERNEL __attribute__((target_clones("arch=x86-64-v4", "avx2", "arch=x86-64-v2", "default")))
// Loops whose AVX-512 code is slower than their AVX2 code stop at AVX2: the 3-byte split into
// planes, which without AVX-512 VBMI becomes word permutes (0.92 of memcpy in the cache, against 0.97
// for AVX2 byte shuffles; VBMI's byte permutes did worse still, 0.69).
#define PXM_ROW_KERNEL_AVX2 __attribute__((target_clones("avx2", "arch=x86-64-v2", "default")))
#else
#define PXM_ROW_KERNEL
#define PXM_ROW_KERNEL_AVX2
#endif

// The i-th row to visit so that rows of this stride are walked in ascending addresses: hardware
// prefetchers stream rows that step backwards (DIB rows lie bottom-up) at about half the speed,
// and reads suffer from it more than writes.
constexpr uint32_t RowInMemoryOrder(int32_t stride, uint32_t i, uint32_t height) {
  return stride < 0 ? height - 1 - i : i;
}

// Streaming stores write whole lines around the cache: no line is read before it is overwritten,
// and it does not matter which way the rows step (a copy between a top-down and a bottom-up image
// writes one side backwards). Worth it only when the bytes a copy touches exceed what the cache
// keeps for it: below that, plain stores leave the result where its next reader finds it. Where
// that lies follows the last-level cache: on a 32 MiB L3 shared with other work plain stores won up
// to 8 MiB touched and lost from 13.5 MiB on (swap, alpha, split and mean copies alike); on a
// 300 MiB L3 they filled 128 MiB at memset speed, a quarter faster than streaming, and fell below it
// at 256 MiB. So: from half the L3, or from 12 MiB when its size is unknown.
constexpr uint64_t kStreamingStoresFloor = uint64_t{12} << 20;
inline uint64_t StreamingStoresFrom() {
  static const uint64_t from = [] {
    long cache = 0;
#if defined(_SC_LEVEL3_CACHE_SIZE)
    cache = sysconf(_SC_LEVEL3_CACHE_SIZE);
#endif
    return cache > 0 ? static_cast<uint64_t>(cache) / 2 : kStreamingStoresFloor;
  }();
  return from;
}
inline bool WorthStreaming(uint64_t bytesTouched) { return bytesTouched >= StreamingStoresFrom(); }

// Copies that keep or narrow their pixels (the DIB's) stream from a quarter of the L3, whichever
// way their rows step: on the 300 MiB L3, 4096 x 4096 DIB copies (96 and 128 MiB touched) ran at
// 0.83-1.00 of memcpy with plain stores and 1.02-1.09 streamed, and the two tied at 64 MiB, while
// the widening canvas copies and the three-plane split lost streamed at those sizes. Never below
// 12 MiB, under which plain stores still won on the 32 MiB L3.
inline bool WorthStreamingNarrowing(uint64_t bytesTouched) {
  const uint64_t quarter = StreamingStoresFrom() / 2;
  return bytesTouched >= (quarter > kStreamingStoresFloor ? quarter : kStreamingStoresFloor);
}

// A streaming kernel writes the whole 64-byte lines of its destination row with StreamStore16, four
// runs of 16 bytes each, and the bytes before the first whole line and after the last with plain
// stores: a line only partly written by streaming stores goes to memory as a read-modify-write
// (the swap copy of rows in 16-byte runs ran at 0.8 of memcpy, in whole lines at 1.0).
constexpr size_t kLineBytes = 64;

// Sixteen bytes in one vector of the compiler's vector extension.
using Bytes16 = uint8_t __attribute__((vector_size(16)));

// Bytes from p to the next line boundary (0 when p is on one).
inline size_t BytesToLineBoundary(const uint8_t* p) {
  return (kLineBytes - (reinterpret_cast<uintptr_t>(p) & (kLineBytes - 1))) & (kLineBytes - 1);
}

// Pixels of pixelBytes (1 to 4) each from p on before the first that starts a line, or count when
// none of the first count does: x pixels end on a line when pixelBytes * x is the bytes to the next
// line, modulo 64. Rows of 3-byte pixels reach one within 64 pixels (43 * 3 is 1 modulo 64), rows of
// 2- and 4-byte pixels only when they start on a whole pixel of the line.
inline size_t PixelsToLineBoundary(const uint8_t* p, size_t pixelBytes, size_t count) {
  const size_t bytes = BytesToLineBoundary(p);
  size_t x = count;
  if (pixelBytes == 3)
    x = bytes * 43 % kLineBytes;
  else if (bytes % pixelBytes == 0)
    x = bytes / pixelBytes;
  return x < count ? x : count;
}

#if defined(__has_builtin)
#if __has_builtin(__builtin_nontemporal_store)
#define PXM_NONTEMPORAL_BUILTIN 1
#endif
#endif

// Stores 16 bytes at a 16-byte-aligned address with a streaming store where the compiler or the
// target has one, with a plain store elsewhere.
[[gnu::always_inline]] inline void StreamStore16(uint8_t* destination, Bytes16 bytes) {
#if defined(PXM_NONTEMPORAL_BUILTIN)
  __builtin_nontemporal_store(bytes, reinterpret_cast<Bytes16*>(destination));
#elif defined(__SSE2__)
  _mm_stream_si128(reinterpret_cast<__m128i*>(destination), reinterpret_cast<__m128i>(bytes));
#else
  std::memcpy(destination, &bytes, 16);
#endif
}

// Copies count bytes as memcpy does, the destination's whole lines with streaming stores.
inline void StreamCopy(uint8_t* __restrict destination, const uint8_t* __restrict source, size_t count) {
  size_t i = BytesToLineBoundary(destination);
  if (i > count) i = count;
  std::memcpy(destination, source, i);
  for (; i + kLineBytes <= count; i += kLineBytes) {
    for (size_t k = 0; k < kLineBytes; k += 16) {
      Bytes16 bytes;
      std::memcpy(&bytes, source + i + k, 16);
      StreamStore16(destination + i + k, bytes);
    }
  }
  std::memcpy(destination + i, source + i, count - i);
}

// Orders the streaming stores before whatever follows (they bypass the usual store order): called
// once after the last row, before the destination is handed to anyone.
inline void StreamingStoresDone() {
#if defined(__SSE2__)
  _mm_sfence();
#else
  __atomic_thread_fence(__ATOMIC_SEQ_CST);
#endif
}
