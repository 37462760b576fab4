// The row kernels of the raster image's colour copy: three bytes a pixel (or four, the fourth
// dropped) split into three planes or averaged into one. Each has a streaming twin for copies
// larger than the cache, which writes the same bytes around the cache.
#pragma once
#include <cstddef>
#include <cstdint>

using SplitKernel = void (*)(const uint8_t* source, uint8_t* plane0, uint8_t* plane1, uint8_t* plane2, size_t count);
using MeanKernel = void (*)(const uint8_t* source, uint8_t* grey, size_t count);

struct RasterCopyKernels {
  SplitKernel split;
  MeanKernel mean;
};

// The kernels for sources of 3 or 4 bytes a pixel, streaming or not. Rows never overlap. Widest: the
// AVX-512 versions where the processor has them (the tests hold both to the plain loops).
RasterCopyKernels ChooseRasterCopyKernels(uint32_t bytesPerPixel, bool stream, bool widest = true);
