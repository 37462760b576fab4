// Reading any image through its interface: its description, and its planes as rows reached
// with a signed stride (row y starts at data + y * stride, the product taken in 64 bits).
#pragma once
#include <cstddef>
#include <cstdint>

#include "pxm/ImageInterfaces.h"

struct ImageDescription {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t planes = 0;
  uint32_t bitsPerPixel = 0;
  uint32_t fourcc = 0;
  uint32_t bytesPerPixel = 0;
};

// Size and pixel descriptor of an image; what a failing call leaves stays 0.
inline ImageDescription Describe(IPXM* image) {
  ImageDescription d;
  image->GetSize(&d.width, &d.height, &d.planes);
  image->GetPixelDescriptor(&d.bitsPerPixel, &d.fourcc, &d.bytesPerPixel);
  return d;
}

struct PlaneView {
  uint8_t* data = nullptr;
  int32_t stride = 0;
  uint32_t size = 0;

  uint8_t* Row(uint32_t y) const { return data + static_cast<int64_t>(y) * stride; }
  uint32_t RowLength() const { return stride < 0 ? 0u - static_cast<uint32_t>(stride) : static_cast<uint32_t>(stride); }
};

// The bytes rows 0 to height - 1 (height at least 1) of a plane occupy, rowBytes of each, lowest
// address first: what a copy checks before reading rows that may share memory with the ones it writes.
struct ByteSpan {
  uintptr_t begin;
  uintptr_t end;
  bool Overlaps(const ByteSpan& other) const { return begin < other.end && other.begin < end; }
};
inline ByteSpan RowsSpan(const PlaneView& plane, uint32_t height, size_t rowBytes) {
  const auto first = reinterpret_cast<uintptr_t>(plane.Row(0));
  const auto last = reinterpret_cast<uintptr_t>(plane.Row(height - 1));
  return first <= last ? ByteSpan{first, last + rowBytes} : ByteSpan{last, first + rowBytes};
}

inline HRESULT GetPlane(IPXM* image, uint32_t plane, PlaneView* view) {
  *view = PlaneView{};
  return image->GetImage(plane, &view->size, &view->data, &view->stride);
}

// Whether a plane holds `rows` rows of at least rowBytes bytes each: its stride spans a row's
// bytes and the byte size it reports covers rows x |stride|. What an image reports of its planes
// is not trusted (a host may make the image); every reader of another image's rows asks this
// first. Nothing to read is always held.
inline bool HoldsRows(const PlaneView& plane, uint32_t rows, uint64_t rowBytes) {
  if (rows == 0 || rowBytes == 0) return true;
  return plane.data && plane.RowLength() >= rowBytes && uint64_t{rows} * plane.RowLength() <= plane.size;
}

// Plane p of a source whose rows a copy is about to read: PXM_E_INVALIDARG, and an empty view,
// when the source does not hand out the rows it claims.
inline HRESULT GetSourcePlane(IPXM* source, uint32_t plane, uint32_t rows, uint64_t rowBytes, PlaneView* view) {
  if (PXM_SUCCEEDED(GetPlane(source, plane, view)) && HoldsRows(*view, rows, rowBytes)) return PXM_S_OK;
  *view = PlaneView{};
  return rows == 0 || rowBytes == 0 ? PXM_S_OK : PXM_E_INVALIDARG;
}

// The colour family: plain colour, "BGR ", "ABGR" and "ARGB"; every other code is grey.
constexpr bool IsColourFourcc(uint32_t fourcc) {
  return fourcc == FOURCC_RGB || fourcc == FOURCC_BGR || fourcc == FOURCC_ABGR || fourcc == FOURCC_ARGB;
}
// Codes whose first three bytes are red, green, blue; the others hold them reversed.
constexpr bool IsRedFirstFourcc(uint32_t fourcc) { return fourcc == FOURCC_RGB || fourcc == FOURCC_ARGB; }
