// Equal: every pixel of every plane set to one value. One row of pixel bytes is built once and
// copied into each row (a plain memset when the row is one repeated byte).
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "PXMImage/ImageAccess.h"
#include "PXMImage/ImageRecord.h"
#include "PXMImage/RowKernel.h"

namespace {

// The value's low bits repeated across a byte: 1 bit gives 0x00 or 0xFF, 4 bits v * 0x11.
uint8_t RepeatedBits(uint32_t value, uint32_t bits) {
  const uint32_t mask = (1u << bits) - 1;
  uint32_t byte = 0;
  for (uint32_t shift = 0; shift < 8; shift += bits) byte |= (value & mask) << shift;
  return static_cast<uint8_t>(byte);
}

// The bytes of one filled row: at most rowLength of them, never more than the row holds.
struct FillRow {
  uint32_t length = 0;
  bool uniform = true;  // every byte is `byte`
  uint8_t byte = 0;
};

FillRow DescribeFill(uint32_t value, uint32_t bits, uint32_t width, uint32_t rowLength) {
  FillRow row;
  uint64_t length = 0;
  if (bits < 8) {
    length = bits ? (uint64_t{bits} * width + 7) / 8 : 0;
    row.byte = bits ? RepeatedBits(value, bits) : 0;
  } else if (bits == 8 || bits == 16) {
    length = uint64_t{bits / 8} * width;  // at 16 bits each pixel is the low byte twice
    row.byte = static_cast<uint8_t>(value);
  } else if (bits == 24) {
    length = 3 * uint64_t{width} + 1;  // the byte after the last pixel is 0, when the row has it
    row.uniform = false;
  } else {
    length = 4 * uint64_t{width};
    const uint8_t b0 = static_cast<uint8_t>(value);
    row.uniform = value == b0 * 0x01010101u;
    row.byte = b0;
  }
  row.length = static_cast<uint32_t>(std::min<uint64_t>(length, rowLength));
  return row;
}

// A row of pixels whose bytes are not all alike: 24-bit pixels (and the zero byte after the last
// one), or 32-bit words. Built once per call, so plainness beats speed here.
void BuildPattern(uint8_t* out, uint32_t length, uint32_t value, uint32_t bits, uint32_t width) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  if (bits == 24) {
    const uint64_t pixelBytes = 3 * uint64_t{width};
    for (uint32_t i = 0; i < length; ++i) out[i] = i < pixelBytes ? bytes[i % 3] : 0;
  } else {
    for (uint32_t i = 0; i < length; ++i) out[i] = bytes[i & 3];
  }
}

// Repeats the first `period` bytes at dst until count bytes are written. On x86-64 one forward
// string move from one period behind: the move is defined byte by byte, so each byte copies one
// already written, and for periods of a line or more the processor moves whole lines, as memset's
// string store does (a row-by-row memcpy of the pattern reached 0.93 of memset, this 1.0).
void RepeatForward(uint8_t* dst, size_t period, size_t count) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  void* to = dst + period;
  const void* from = dst;
  size_t n = count - period;
  asm volatile("rep movsb" : "+D"(to), "+S"(from), "+c"(n) : : "memory");
#else
  for (size_t i = period; i < count; i += period) std::memcpy(dst + i, dst + i - period, std::min(period, count - i));
#endif
}

// Rows of whole pixels without a gap between them are one run of the pixel's bytes: the first
// pixel, doubled up to a block of lines, then the block repeated.
void FillRun(uint8_t* dst, size_t count, uint32_t value, uint32_t pixelBytes) {
  constexpr size_t kBlock = 12288;  // whole 3- and 4-byte pixels, whole lines
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  size_t filled = std::min<size_t>(pixelBytes, count);
  std::memcpy(dst, bytes, filled);
  while (filled < count && filled < kBlock) {
    const size_t n = std::min(filled, count - filled);
    std::memcpy(dst + filled, dst, n);
    filled += n;
  }
  if (filled < count) RepeatForward(dst, filled, count);
}

}  // namespace

HRESULT FillImage(IPXMImage* image, int value) {
  if (!image) return PXM_E_POINTER;
  const ImageDescription d = Describe(image);
  PlaneView first;
  const HRESULT hr = GetPlane(image, 0, &first);
  if (PXM_FAILED(hr)) return hr;

  const uint32_t bits = d.bitsPerPixel;
  const FillRow row = DescribeFill(static_cast<uint32_t>(value), bits, d.width, first.RowLength());
  if (!row.length || !d.height) return PXM_S_OK;
  uint8_t* pattern = nullptr;
  if (!row.uniform) {
    pattern = static_cast<uint8_t*>(std::malloc(row.length));
    if (!pattern) return PXM_E_OUTOFMEMORY;
    BuildPattern(pattern, row.length, static_cast<uint32_t>(value), bits, d.width);
  }
  for (uint32_t p = 0; p < d.planes; ++p) {
    PlaneView plane;
    if (PXM_FAILED(GetPlane(image, p, &plane)) || !plane.data) continue;
    const uint32_t n = std::min(row.length, plane.RowLength());
    if (!n) continue;
    // Rows that follow each other without a gap are one memset, which streams past the caches
    // for large sizes. Otherwise rows go in ascending addresses (DIB rows lie bottom-up): hardware
    // prefetchers stream rows that step backwards at about half the speed.
    if (row.uniform && n == plane.RowLength()) {
      uint8_t* lowest = plane.stride < 0 ? plane.Row(d.height - 1) : plane.Row(0);
      std::memset(lowest, row.byte, size_t{n} * d.height);
      continue;
    }
    // A fill larger than the cache writes its pattern rows around it, as memset does.
    const bool streaming = !row.uniform && WorthStreaming(uint64_t{n} * d.height);
    if (!row.uniform && !streaming && n == plane.RowLength() && n == uint64_t{bits / 8} * d.width) {
      FillRun(plane.stride < 0 ? plane.Row(d.height - 1) : plane.Row(0), size_t{n} * d.height,
              static_cast<uint32_t>(value), bits / 8);
      continue;
    }
    for (uint32_t i = 0; i < d.height; ++i) {
      uint8_t* target = plane.Row(RowInMemoryOrder(plane.stride, i, d.height));
      if (row.uniform)
        std::memset(target, row.byte, n);
      else if (streaming)
        StreamCopy(target, pattern, n);
      else
        std::memcpy(target, pattern, n);
    }
    if (streaming) StreamingStoresDone();
  }
  std::free(pattern);
  return PXM_S_OK;
}
