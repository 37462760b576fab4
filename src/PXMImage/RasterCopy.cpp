// CPXMImage::Copy: makes the raster image a copy of any image, reading the source only through
// IPXM. A grey source is copied plane by plane as raw bytes; a colour source of 3 or 4 bytes
// per pixel is split into three planes (byte k of every pixel into plane k) or averaged into
// one. Nothing is read or written outside a row: a source row yields at most the bytes its
// pixels take and its stride spans, and what it cannot give is written as zero.
#include <algorithm>
#include <bit>
#include <cstring>

#include "PXMImage/ImageAccess.h"
#include "PXMImage/PXMImage.h"

namespace {

// The kernels read pixels as 32-bit words, memory byte 0 in the low byte.
static_assert(std::endian::native == std::endian::little);

// The mean of three bytes divides their sum (0 to 765) by 3 exactly with a multiply and shift.
constexpr uint32_t DivideBy3(uint32_t sum) { return sum * 43691u >> 17; }
constexpr bool DivideBy3IsExact() {
  for (uint32_t sum = 0; sum <= 3 * 255; ++sum)
    if (DivideBy3(sum) != sum / 3) return false;
  return true;
}
static_assert(DivideBy3IsExact());

// On x86-64 ELF every kernel is built for the baseline and for AVX2; the loader binds the one
// the processor runs best, once.
#if defined(__x86_64__) && defined(__ELF__)
#define PXM_ROW_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define PXM_ROW_KERNEL
#endif

inline uint32_t LoadWord(const uint8_t* p) {
  uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}
inline void StoreWord(uint8_t* p, uint32_t word) { std::memcpy(p, &word, sizeof word); }

// Four 24-bit pixels are three words; each pixel comes out as the low three bytes of a word.
struct Pixels24 {
  uint32_t p0, p1, p2, p3;
};
inline Pixels24 LoadPixels24(const uint8_t* src) {
  const uint32_t a = LoadWord(src), b = LoadWord(src + 4), c = LoadWord(src + 8);
  return {a, a >> 24 | b << 8, b >> 16 | c << 16, c >> 8};
}
// Byte k of each of four pixels, packed into one word in pixel order.
inline uint32_t PackByte(const Pixels24& px, unsigned k) {
  const unsigned shift = 8 * k;
  return (px.p0 >> shift & 0xFF) | (px.p1 >> shift & 0xFF) << 8 | (px.p2 >> shift & 0xFF) << 16 |
         (px.p3 >> shift & 0xFF) << 24;
}
inline uint32_t Mean(uint32_t pixel) { return DivideBy3((pixel & 0xFF) + (pixel >> 8 & 0xFF) + (pixel >> 16 & 0xFF)); }

PXM_ROW_KERNEL void SplitRow24(const uint8_t* __restrict src, uint8_t* __restrict p0, uint8_t* __restrict p1,
                               uint8_t* __restrict p2, size_t count) {
  const size_t quads = count / 4;
  for (size_t q = 0; q < quads; ++q) {
    const Pixels24 px = LoadPixels24(src + 12 * q);
    StoreWord(p0 + 4 * q, PackByte(px, 0));
    StoreWord(p1 + 4 * q, PackByte(px, 1));
    StoreWord(p2 + 4 * q, PackByte(px, 2));
  }
  for (size_t x = 4 * quads; x < count; ++x) {
    p0[x] = src[3 * x];
    p1[x] = src[3 * x + 1];
    p2[x] = src[3 * x + 2];
  }
}

// The fourth byte of a 32-bit pixel is loaded with the word and dropped.
PXM_ROW_KERNEL void SplitRow32(const uint8_t* __restrict src, uint8_t* __restrict p0, uint8_t* __restrict p1,
                               uint8_t* __restrict p2, size_t count) {
  for (size_t x = 0; x < count; ++x) {
    const uint32_t pixel = LoadWord(src + 4 * x);
    p0[x] = static_cast<uint8_t>(pixel);
    p1[x] = static_cast<uint8_t>(pixel >> 8);
    p2[x] = static_cast<uint8_t>(pixel >> 16);
  }
}

PXM_ROW_KERNEL void MeanRow24(const uint8_t* __restrict src, uint8_t* __restrict dst, size_t count) {
  const size_t quads = count / 4;
  for (size_t q = 0; q < quads; ++q) {
    const Pixels24 px = LoadPixels24(src + 12 * q);
    StoreWord(dst + 4 * q, Mean(px.p0) | Mean(px.p1) << 8 | Mean(px.p2) << 16 | Mean(px.p3) << 24);
  }
  for (size_t x = 4 * quads; x < count; ++x)
    dst[x] = static_cast<uint8_t>(DivideBy3(uint32_t{src[3 * x]} + src[3 * x + 1] + src[3 * x + 2]));
}

PXM_ROW_KERNEL void MeanRow32(const uint8_t* __restrict src, uint8_t* __restrict dst, size_t count) {
  for (size_t x = 0; x < count; ++x) dst[x] = static_cast<uint8_t>(Mean(LoadWord(src + 4 * x)));
}

using SplitKernel = void (*)(const uint8_t*, uint8_t*, uint8_t*, uint8_t*, size_t);
using MeanKernel = void (*)(const uint8_t*, uint8_t*, size_t);

// Bytes of each source row that may be read: those its pixels take, never more than its
// stride spans. None when the plane has no rows to hand out.
size_t ReadableRowBytes(const ImageDescription& source, const PlaneView& plane) {
  if (!plane.data) return 0;
  const uint64_t pixelBytes = (uint64_t{source.width} * source.bitsPerPixel + 7) / 8;
  return static_cast<size_t>(std::min<uint64_t>(pixelBytes, plane.RowLength()));
}

// Plane p of the source, or no rows when the source does not hand it out.
PlaneView SourcePlane(IPXM* source, uint32_t plane) {
  PlaneView view;
  if (PXM_FAILED(GetPlane(source, plane, &view))) view = PlaneView{};
  return view;
}

// The bytes of a destination row past those the source row gave: the pixels it could not
// give and the row's padding are written as zero.
void ZeroTail(uint8_t* row, size_t written, size_t length) {
  if (length > written) std::memset(row + written, 0, length - written);
}

// Every plane both images have, row by row as raw bytes.
void CopyGreyPlanes(IPXM* source, const ImageDescription& from, IPXM* destination, uint32_t planes) {
  for (uint32_t plane = 0; plane < planes; ++plane) {
    const PlaneView src = SourcePlane(source, plane);
    PlaneView dst;
    GetPlane(destination, plane, &dst);
    const size_t length = dst.RowLength();
    if (length == 0) continue;
    const size_t copied = std::min(ReadableRowBytes(from, src), length);
    for (uint32_t y = 0; y < from.height; ++y) {
      uint8_t* row = dst.Row(y);
      // memmove: an image copied onto itself reads the rows it writes.
      if (copied) std::memmove(row, src.Row(y), copied);
      ZeroTail(row, copied, length);
    }
  }
}

void SplitColour(const PlaneView& src, size_t pixels, uint32_t bytesPerPixel, const PlaneView dst[3], uint32_t height) {
  const SplitKernel split = bytesPerPixel == 3 ? SplitRow24 : SplitRow32;
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* rows[3] = {dst[0].Row(y), dst[1].Row(y), dst[2].Row(y)};
    if (pixels) split(src.Row(y), rows[0], rows[1], rows[2], pixels);
    for (uint32_t p = 0; p < 3; ++p) ZeroTail(rows[p], pixels, dst[p].RowLength());
  }
}

void MeanColour(const PlaneView& src, size_t pixels, uint32_t bytesPerPixel, const PlaneView& dst, uint32_t height) {
  const MeanKernel mean = bytesPerPixel == 3 ? MeanRow24 : MeanRow32;
  for (uint32_t y = 0; y < height; ++y) {
    if (pixels) mean(src.Row(y), dst.Row(y), pixels);
    ZeroTail(dst.Row(y), pixels, dst.RowLength());
  }
}

}  // namespace

HRESULT CPXMImage::Copy(IPXM* source, int /*option: not used by the raster image*/) {
  if (!source) return PXM_E_POINTER;
  const ImageDescription from = Describe(source);
  const bool colour = IsColourFourcc(from.fourcc);

  // Shape this image after the source. An image of the source's size is kept as it is,
  // whatever its planes and samples; an empty one takes three byte planes for a colour source.
  if (m_NumberPlanes != 0) {
    uint32_t width = 0, height = 0;
    GetSize(&width, &height, nullptr);
    if (width != from.width || height != from.height)
      Create(from.width, from.height, from.planes, from.bitsPerPixel, FOURCC_MONO);
  } else if (colour) {
    Create(from.width, from.height, 3, 8, FOURCC_MONO);
  } else {
    Create(from.width, from.height, from.planes, from.bitsPerPixel, FOURCC_MONO);
  }

  // A refused Create leaves no plane, or planes of the old size: no row fits the source's.
  const ImageDescription to = Describe(this);
  if (to.planes == 0 || to.width != from.width || to.height != from.height) return PXM_E_FAIL;

  if (!colour) {
    CopyGreyPlanes(source, from, this, std::min(from.planes, to.planes));
    return PXM_S_OK;
  }
  const bool split = to.planes == 3;
  const bool mean = to.planes == 1 && to.bitsPerPixel == 8;
  if (!split && !mean) return PXM_E_NOTIMPL;
  // Colour is converted from 3 and 4 bytes per pixel only; other depths leave the planes as
  // they are.
  if (from.bitsPerPixel != 24 && from.bitsPerPixel != 32) return PXM_S_OK;
  // Rows without pixels need no walk, however many a header claims.
  if (to.width == 0) return PXM_S_OK;

  const uint32_t bytesPerPixel = from.bitsPerPixel / 8;
  const PlaneView src = SourcePlane(source, 0);
  const size_t pixels = std::min<size_t>(from.width, ReadableRowBytes(from, src) / bytesPerPixel);
  PlaneView dst[3];
  for (uint32_t plane = 0; plane < to.planes; ++plane) GetPlane(this, plane, &dst[plane]);
  if (split)
    SplitColour(src, pixels, bytesPerPixel, dst, to.height);
  else
    MeanColour(src, pixels, bytesPerPixel, dst[0], to.height);
  return PXM_S_OK;
}
