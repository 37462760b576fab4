// The row kernels of the canvas copy: count pixels of one source row converted into canvas
// pixels, 32-bit words whose bytes in memory are red, green, blue and a fourth byte.
#pragma once
#include <cstddef>
#include <cstdint>

// Source pixel layouts the canvas copy converts.
enum class CanvasSourcePixels {
  Grey8,     // v -> v v v v
  Indexed8,  // v -> table[v]
  Rgb24,     // red, green, blue -> red, green, blue, 0
  Bgr24,     // blue, green, red -> red, green, blue, 0
  Mono32,    // a 32-bit grey sample -> its low byte three times, 0
  Rgb32,     // red, green, blue, x -> as it is
  Bgr32,     // blue, green, red, x -> red, green, blue, x
};

// The source row need not be aligned; the destination row is 4-byte aligned and does not
// overlap it. table: the 256 canvas pixels of Indexed8, unused otherwise.
using CanvasRowKernel = void (*)(const uint8_t* source, uint32_t* destination, size_t count, const uint32_t* table);

// streaming: for copies larger than the cache, the kernel writes around it (each call complete and
// ordered when it returns), so destination lines are not read before being overwritten. widest: for
// copies far beyond the cache, 8- and 24-bit rows a whole register of the processor at a time
// (64-byte loads and stores with AVX-512); with rows that sit in the cache the 16-byte kernels are
// faster.
CanvasRowKernel CanvasRowKernelFor(CanvasSourcePixels pixels, bool streaming, bool widest);
