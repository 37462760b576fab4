#include "PXMImageDIB/DibCopyKernels.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "PXMImage/RowKernel.h"
#include "pxm/Types.h"

// Byte shuffles are spelled with the compiler's vector extension: its code for the plain loops
// runs at about a third of the speed.

// Plain copies of rows of 1, 3 or 4 bytes a pixel, and their streaming twins.
#define PXM_DIB_COPY(kBits)                                                                            \
  void CopyPixels##kBits(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {   \
    std::memcpy(destination, source, kBits / 8 * size_t{width});                                       \
  }                                                                                                     \
  void StreamPixels##kBits(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) { \
    StreamCopy(destination, source, kBits / 8 * size_t{width});                                        \
  }
PXM_DIB_COPY(8)
PXM_DIB_COPY(24)
PXM_DIB_COPY(32)
#undef PXM_DIB_COPY

namespace {

// Four pixels per step as one 16-byte shuffle of the compiler's vector extension (a single byte
// shuffle where the target has one; the vectoriser's own code for the plain loop is three times
// slower): the first 12 bytes are the swapped pixels, the last 4 are rewritten by the next step,
// and the loop stops before a load would pass the row's end.
PXM_ROW_KERNEL void SwapRows(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  const size_t end = 3 * size_t{width};
  size_t i = 0;
  for (; i + 16 <= end; i += 12) {
    Bytes16 pixels;
    std::memcpy(&pixels, source + i, 16);
    pixels = __builtin_shufflevector(pixels, pixels, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    std::memcpy(destination + i, &pixels, 16);
  }
  for (; i < end; i += 3) {
    destination[i] = source[i + 2];
    destination[i + 1] = source[i + 1];
    destination[i + 2] = source[i];
  }
}

// Whole pixel words with the alpha byte set, in place: byte by byte, the compiler shuffles needlessly.
PXM_ROW_KERNEL void SetAlpha(uint8_t* row, size_t width) {
  static_assert(std::endian::native == std::endian::little, "alpha is the pixel word's high byte");
  for (size_t x = 0; x < width; ++x) {
    uint32_t pixel;
    std::memcpy(&pixel, row + 4 * x, 4);
    pixel |= 0xFF000000u;
    std::memcpy(row + 4 * x, &pixel, 4);
  }
}

// Copied by memcpy 4 KiB at a time, the alpha set while the piece is in L1: memcpy writes lines
// faster than a vector loop's stores (4096 x 4096: 0.92 of memcpy against 0.83 for one pass).
void OpaqueRows(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  constexpr size_t kPiece = 1024;
  for (size_t x = 0; x < width; x += kPiece) {
    const size_t n = width - x < kPiece ? width - x : kPiece;
    std::memcpy(destination + 4 * x, source + 4 * x, 4 * n);
    SetAlpha(destination + 4 * x, n);
  }
}

PXM_ROW_KERNEL void FirstBytes(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  for (size_t x = 0; x < width; ++x) destination[x] = source[4 * x];
}

// 16-bit pixels widened to three bytes; green has 5 or 6 bits. Eight pixels a step: the channels
// are widened in 16-bit lanes, narrowed to bytes and interleaved by two shuffles into 24 bytes (the
// vectoriser leaves the 3-byte stores of the plain loop scalar, at a third of the speed).
template <int kGreenBits>
[[gnu::always_inline]] inline void Widen16Rows(uint8_t* __restrict destination, const uint8_t* __restrict source,
                                               uint32_t width) {
  using Lanes16 = uint16_t __attribute__((vector_size(16)));
  using Bytes8 = uint8_t __attribute__((vector_size(8)));
  constexpr uint16_t kGreenMask = (1u << kGreenBits) - 1;
  size_t x = 0;
  for (; x + 8 <= width; x += 8) {
    Lanes16 p;
    std::memcpy(&p, source + 2 * x, 16);
    const Lanes16 b = p & 0x1F, g = p >> 5 & kGreenMask, r = p >> (5 + kGreenBits) & 0x1F;
    const Bytes8 b8 = __builtin_convertvector(b << 3 | b >> 2, Bytes8);
    const Bytes8 g8 = __builtin_convertvector(g << (8 - kGreenBits) | g >> (2 * kGreenBits - 8), Bytes8);
    const Bytes8 r8 = __builtin_convertvector(r << 3 | r >> 2, Bytes8);
    const Bytes16 bg = __builtin_shufflevector(b8, g8, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const Bytes16 rr = __builtin_shufflevector(r8, r8, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7);
    // Byte k of the output is channel k % 3 of pixel k / 3: blue i at i, green i at 8 + i, red i at 16 + i.
    const Bytes16 low = __builtin_shufflevector(bg, rr, 0, 8, 16, 1, 9, 17, 2, 10, 18, 3, 11, 19, 4, 12, 20, 5);
    const Bytes8 high = __builtin_shufflevector(bg, rr, 13, 21, 6, 14, 22, 7, 15, 23);
    std::memcpy(destination + 3 * x, &low, 16);
    std::memcpy(destination + 3 * x + 16, &high, 8);
  }
  for (; x < width; ++x) {
    const uint32_t p = source[2 * x] | source[2 * x + 1] << 8;
    const uint32_t b = p & 0x1F, g = p >> 5 & kGreenMask, r = p >> (5 + kGreenBits) & 0x1F;
    destination[3 * x] = static_cast<uint8_t>(b << 3 | b >> 2);
    destination[3 * x + 1] = static_cast<uint8_t>(g << (8 - kGreenBits) | g >> (2 * kGreenBits - 8));
    destination[3 * x + 2] = static_cast<uint8_t>(r << 3 | r >> 2);
  }
}
PXM_ROW_KERNEL void Widen555Rows(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  Widen16Rows<5>(destination, source, width);
}
PXM_ROW_KERNEL void Widen565Rows(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  Widen16Rows<6>(destination, source, width);
}

// The streaming twins (see StreamStore16): the pixels before the first that starts a destination
// line and those after the last whole line go through the plain loops.

// The 16 swapped bytes from destination byte j on, where j lies R bytes into its pixel: read from
// the 32 source bytes that start at that pixel (byte k of a swapped row is byte
// 3 * (k / 3) + 2 - k % 3 of its source row).
template <int R>
[[gnu::always_inline]] inline Bytes16 SwappedRun(const uint8_t* source, size_t j) {
  Bytes16 a, b;
  std::memcpy(&a, source + j - R, 16);
  std::memcpy(&b, source + j - R + 16, 16);
  if constexpr (R == 0)
    return __builtin_shufflevector(a, b, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 17);
  else if constexpr (R == 1)
    return __builtin_shufflevector(a, b, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 17, 16);
  else
    return __builtin_shufflevector(a, b, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 17, 16, 15);
}

// Three lines (64 pixels) per step from a pixel that starts a line; each 48 bytes take the three
// places a run can start at in a pixel. A step reads up to 14 bytes past its own 192.
PXM_ROW_KERNEL void StreamSwapRows(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  const size_t head = PixelsToLineBoundary(destination, 3, width);
  SwapRows(destination, source, static_cast<uint32_t>(head));
  const size_t end = 3 * size_t{width};
  size_t j = 3 * head;
  for (; j + 3 * kLineBytes + 16 <= end; j += 3 * kLineBytes) {
    for (size_t k = j; k < j + 3 * kLineBytes; k += 48) {
      StreamStore16(destination + k, SwappedRun<0>(source, k));
      StreamStore16(destination + k + 16, SwappedRun<1>(source, k + 16));
      StreamStore16(destination + k + 32, SwappedRun<2>(source, k + 32));
    }
  }
  SwapRows(destination + j, source + j, static_cast<uint32_t>((end - j) / 3));
}

PXM_ROW_KERNEL void StreamOpaqueRows(uint8_t* __restrict destination, const uint8_t* __restrict source,
                                     uint32_t width) {
  const size_t head = PixelsToLineBoundary(destination, 4, width);
  OpaqueRows(destination, source, static_cast<uint32_t>(head));
  const Bytes16 alpha = {0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF};
  size_t x = head;
  for (; x + kLineBytes / 4 <= width; x += kLineBytes / 4) {
    // The source asked for 2 KiB ahead: the hardware's own fetching stops at 4 KiB pages (4096 x
    // 4096: 1.00 of memcpy without, 1.05 with; the swap copy gained nothing from it). A prefetch
    // never faults, wherever it points.
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(source + 4 * x) + 2048));
    for (size_t k = 0; k < kLineBytes; k += 16) {
      Bytes16 pixels;
      std::memcpy(&pixels, source + 4 * x + k, 16);
      StreamStore16(destination + 4 * x + k, pixels | alpha);
    }
  }
  OpaqueRows(destination + 4 * x, source + 4 * x, static_cast<uint32_t>(width - x));
}

PXM_ROW_KERNEL void StreamFirstBytes(uint8_t* __restrict destination, const uint8_t* __restrict source,
                                     uint32_t width) {
  const size_t head = PixelsToLineBoundary(destination, 1, width);
  FirstBytes(destination, source, static_cast<uint32_t>(head));
  size_t x = head;
  for (; x + kLineBytes <= width; x += kLineBytes) {
    for (size_t k = x; k < x + kLineBytes; k += 16) {
      Bytes16 a, b, c, d;
      std::memcpy(&a, source + 4 * k, 16);
      std::memcpy(&b, source + 4 * k + 16, 16);
      std::memcpy(&c, source + 4 * k + 32, 16);
      std::memcpy(&d, source + 4 * k + 48, 16);
      const Bytes16 low = __builtin_shufflevector(a, b, 0, 4, 8, 12, 16, 20, 24, 28, 0, 0, 0, 0, 0, 0, 0, 0);
      const Bytes16 high = __builtin_shufflevector(c, d, 0, 4, 8, 12, 16, 20, 24, 28, 0, 0, 0, 0, 0, 0, 0, 0);
      StreamStore16(destination + k,
                    __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 23));
    }
  }
  FirstBytes(destination + x, source + 4 * x, static_cast<uint32_t>(width - x));
}

}  // namespace

namespace {

// A row in two calls, the second from the first pixel that starts a destination line: a DIB's rows
// start 40 bytes into its block, after the header, so none starts on a line, and the vector stores of
// the loops above run slower where they straddle lines (32-bit pixels at 1024 x 1024: 0.25 ms split
// so, 0.27 ms in one call). The plain copies need no split: memcpy aligns its own stores.
void FromLine(void (*rows)(uint8_t*, const uint8_t*, uint32_t), size_t inBytes, size_t outBytes,
              uint8_t* destination, const uint8_t* source, uint32_t width) {
  const size_t head = PixelsToLineBoundary(destination, outBytes, width);
  rows(destination, source, static_cast<uint32_t>(head));
  rows(destination + head * outBytes, source + head * inBytes, static_cast<uint32_t>(width - head));
}

}  // namespace

// The cloned loops stay inside this file: one compiler names a clone set's entry point after the
// clones, so only plain functions (each rule and its streaming twin) are called from elsewhere.
#define PXM_DIB_RULE(Name, StreamName, Rows, kInBytes, kOutBytes)                                      \
  void Name(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {       \
    FromLine(Rows, kInBytes, kOutBytes, destination, source, width);                                   \
  }                                                                                                     \
  void StreamName(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) { \
    Stream##Rows(destination, source, width);                                                          \
  }
PXM_DIB_RULE(SwapRedBlue24, StreamSwapRedBlue24, SwapRows, 3, 3)
PXM_DIB_RULE(CopyOpaque32, StreamOpaque32, OpaqueRows, 4, 4)
PXM_DIB_RULE(FirstByteOf32, StreamFirstByteOf32, FirstBytes, 4, 1)
#undef PXM_DIB_RULE

void Widen555To24(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  Widen555Rows(destination, source, width);
}
void Widen565To24(uint8_t* __restrict destination, const uint8_t* __restrict source, uint32_t width) {
  Widen565Rows(destination, source, width);
}

DibCopyRule ChooseDibCopyRule(uint32_t bitsPerPixel, uint32_t fourcc, int alphaOption) {
  switch (bitsPerPixel) {
    case 8:
      return {CopyPixels8, StreamPixels8, 1, 1, false};
    case 24:
      if (fourcc == FOURCC_RGB || fourcc == FOURCC_ARGB) return {CopyPixels24, StreamPixels24, 3, 3, false};
      return {SwapRedBlue24, StreamSwapRedBlue24, 3, 3, false};
    case 32:
      if (fourcc == FOURCC_MONO) return {FirstByteOf32, StreamFirstByteOf32, 4, 1, true};
      if (alphaOption == 255) return {CopyOpaque32, StreamOpaque32, 4, 4, false};
      return {CopyPixels32, StreamPixels32, 4, 4, false};
    default:
      return {};
  }
}
