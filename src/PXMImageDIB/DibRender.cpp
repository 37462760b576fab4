// CPXMImageDIB drawing: the pixel rows are wrapped in place in a Core Graphics data provider that
// holds a reference on the image, described as a Core Graphics image and drawn whole or in part.
// Core Graphics takes the first row of the data as the image's top row; a DIB's first row is its
// bottom row, so the picture comes out upright in flipped coordinates (origin at the top left).
#include <CoreGraphics/CoreGraphics.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "PXMImage/FitRectangle.h"
#include "PXMImageDIB/PXMImageDIB.h"

// The data provider's release callback: Core Graphics no longer reads the rows, so the
// references the provider held on the rows and on the image go.
void ReleasePXMImageDIB(void* info, const void* /*data*/, size_t /*size*/) {
  auto* rows = static_cast<CPXMImageDIB::SharedRows*>(info);
  CPXMImageDIB* image = rows->image;
  rows->Release();
  image->Release();
}

CPXMImageDIB::SharedRows* CPXMImageDIB::ShareRows() {
  if (!m_SharedRows) m_SharedRows = new (std::nothrow) SharedRows{{1}, m_OwnsDIB ? m_pDIB : nullptr, this};
  return m_SharedRows;
}

namespace {

// The release callback of rows widened into a buffer of the provider's own.
void FreeWidenedRows(void* /*info*/, const void* data, size_t /*size*/) { std::free(const_cast<void*>(data)); }

// Bytes from one stored row to the next: rows are padded to a multiple of 4 bytes.
uint64_t DibStride(uint32_t depth, uint32_t width) {
  const uint64_t w = width;
  if (depth < 8) return (depth * w + 31) / 32 * 4;
  const uint64_t bytes = depth == 8 ? w : depth <= 16 ? 2 * w : depth <= 24 ? 3 * w : 4 * w;
  return depth <= 24 ? (bytes + 3) & ~uint64_t{3} : bytes;
}

// Widens one row of 1- or 4-bit indices (the first pixel in the high bits of its byte) to one byte
// an index.
void Widen1(const uint8_t* __restrict src, uint8_t* __restrict dst, size_t count) {
  for (size_t x = 0; x < count; ++x) dst[x] = src[x >> 3] >> (7 - (x & 7)) & 1;
}
void Widen4(const uint8_t* __restrict src, uint8_t* __restrict dst, size_t count) {
  for (size_t x = 0; x < count; ++x) dst[x] = src[x >> 1] >> (x & 1 ? 0 : 4) & 0xF;
}

// The rows of a 1- or 4-bit image as one byte an index, in a buffer of their own (freed with
// free), stored row after row in the block's order; null without memory.
uint8_t* WidenRows(const uint8_t* rows, uint64_t stride, uint32_t depth, uint32_t width, uint32_t height) {
  uint8_t* widened = static_cast<uint8_t*>(std::malloc(size_t{width} * height));
  if (!widened) return nullptr;
  const auto widen = depth == 1 ? Widen1 : Widen4;
  for (uint32_t y = 0; y < height; ++y) widen(rows + y * stride, widened + size_t{y} * width, width);
  return widened;
}

// The palette's 4-byte entries (blue, green, red, unused) as the packed red, green, blue triples
// of an indexed colour space; the number of entries, at most 256.
size_t PackPalette(IPXMImagePalette* image, uint8_t table[3 * 256]) {
  uint32_t* entries = nullptr;
  uint32_t count = 0;
  image->GetPalette(&entries, &count);  // success is 1; the table and count say what there is
  if (!entries) return 0;
  const size_t n = std::min<uint32_t>(count, 256);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(entries);
  for (size_t i = 0; i < n; ++i) {
    table[3 * i] = bytes[4 * i + 2];
    table[3 * i + 1] = bytes[4 * i + 1];
    table[3 * i + 2] = bytes[4 * i];
  }
  return n;
}

// What CGImageCreate is told about rows of a depth besides their colour space: 16-bit pixels are
// little-endian 5-5-5 words whose top bit is skipped (the one 16-bit layout Core Graphics documents);
// 24-bit pixels red, green, blue; 32-bit ones red, green, blue and alpha ("ARGB") or a skipped byte.
struct RowFormat {
  size_t bitsPerComponent;
  size_t bitsPerPixel;
  CGBitmapInfo bitmapInfo;
};
RowFormat FormatOf(uint32_t depth, uint32_t fourcc, bool indexed) {
  if (depth <= 8) return {8, indexed ? 8u : depth, kCGImageAlphaNone};
  if (depth <= 16) return {5, depth, static_cast<CGBitmapInfo>(kCGImageAlphaNoneSkipFirst) | kCGBitmapByteOrder16Little};
  if (depth <= 24) return {8, depth, kCGImageAlphaNone};
  return {8, depth, fourcc == FOURCC_ARGB ? kCGImageAlphaLast : kCGImageAlphaNoneSkipLast};
}

// Colour spaces made for one drawing, released together.
struct ColourSpaces {
  CGColorSpaceRef base = nullptr;
  CGColorSpaceRef image = nullptr;  // the image's own: the base, or indexed over it
  ~ColourSpaces() {
    if (image != base) CGColorSpaceRelease(image);
    CGColorSpaceRelease(base);
  }
};

}  // namespace

HRESULT CPXMImageDIB::Render(CGContext* context, CANVASRect* destination, CANVASRect* source) {
  if (!context || !destination) return PXM_E_POINTER;
  const CANVASRect part = source ? *source
                                 : CANVASRect{0, 0, static_cast<int32_t>(m_Width), static_cast<int32_t>(m_Height)};
  // An image without pixels draws nothing, however many rows of nothing its header claims.
  if (!m_pDIB || m_Width == 0 || m_Height == 0 || part.width <= 0 || part.height <= 0) return PXM_S_OK;
  const uint32_t depth = m_BitsPerPixel;
  const bool indexed = depth <= 8 && m_PaletteSize != 0;
  // Depths below 8 draw through an indexed colour space only: as grey their rows are not bytes.
  if (depth < 8 && !(indexed && (depth == 1 || depth == 4))) return PXM_S_OK;

  // Error-checking lock: a render nested in a render of this image on the same thread does not
  // wait for itself; its Lock fails and drawing goes on, and only a Lock that succeeded is undone.
  const bool locked = Lock() == 0;
  ColourSpaces spaces;
  spaces.base = depth <= 8 && !indexed ? CGColorSpaceCreateDeviceGray() : CGColorSpaceCreateDeviceRGB();
  spaces.image = spaces.base;
  const RowFormat format = FormatOf(depth, m_FOURCC, indexed);
  if (indexed) {
    uint8_t table[3 * 256];
    const size_t entries = PackPalette(this, table);
    spaces.image = entries ? CGColorSpaceCreateIndexed(spaces.base, entries - 1, table) : nullptr;
  }

  // The provider wraps the rows in place and keeps the image alive while Core Graphics may read
  // them. 1- and 4-bit rows are widened to byte indices into a buffer the provider owns instead.
  const uint64_t stride = DibStride(depth, m_Width);
  CGDataProviderRef provider = nullptr;
  size_t bytesPerRow = stride;
  if (spaces.image && depth < 8) {
    bytesPerRow = m_Width;
    if (uint8_t* widened = WidenRows(m_pBits, stride, depth, m_Width, m_Height)) {
      provider = CGDataProviderCreateWithData(nullptr, widened, size_t{m_Width} * m_Height, FreeWidenedRows);
      if (!provider) std::free(widened);
    }
  } else if (SharedRows* rows = spaces.image ? ShareRows() : nullptr) {
    rows->references.fetch_add(1, std::memory_order_relaxed);
    AddRef();
    provider = CGDataProviderCreateWithData(rows, m_pBits, m_Height * stride, ReleasePXMImageDIB);
    if (!provider) ReleasePXMImageDIB(rows, nullptr, 0);  // without a provider the callback never runs
  }
  CGImageRef image = CGImageCreate(m_Width, m_Height, format.bitsPerComponent, format.bitsPerPixel, bytesPerRow,
                                   spaces.image, format.bitmapInfo, provider, nullptr, false, kCGRenderingIntentDefault);

  CGContextSaveGState(context);
  const CGRect rect = CGRectMake(destination->x, destination->y, destination->width, destination->height);
  if (int64_t{part.width} >= m_Width && int64_t{part.height} >= m_Height) {
    CGContextDrawImage(context, rect, image);
  } else {
    // Picture rows count from the top, the image's from its first data row, the picture's bottom.
    // Taken in unsigned 32 bits: a part reaching below the picture wraps far outside the image,
    // which Core Graphics then refuses, so nothing is drawn.
    const uint32_t top = m_Height - static_cast<uint32_t>(part.height) - static_cast<uint32_t>(part.y);
    CGImageRef cut = CGImageCreateWithImageInRect(image, CGRectMake(part.x, top, part.width, part.height));
    CGContextDrawImage(context, rect, cut);
    CGImageRelease(cut);
  }
  CGDataProviderRelease(provider);
  CGImageRelease(image);
  CGContextRestoreGState(context);
  if (locked) Unlock();
  return PXM_S_OK;
}

HRESULT CPXMImageDIB::Render(CGContext* context, CANVASRect* destination, IUnknown* /*unused*/, int flags) {
  if (!destination) return PXM_E_POINTER;
  CANVASRect rect = *destination;
  if ((flags & FitToRect) && m_pBits) rect = FitRectangle(rect, m_Width, m_Height);
  return Render(context, &rect, nullptr);
}

HRESULT CPXMImageDIB::GetExtent(int* width, int* height) {
  if (width) *width = static_cast<int>(m_Width);
  if (height) *height = static_cast<int>(m_Height);
  return m_Width == 0 || m_Height == 0 ? PXM_E_FAIL : PXM_S_OK;
}
