// CPXMImageCANVAS::Copy: makes the canvas a copy of a single-plane image of any class, in the
// colour layout of 4 bytes a pixel. The source is read only through IPXM (and, for 8-bit sources,
// its palette); one row kernel, chosen by the source's depth and code, converts every row.
#include <algorithm>
#include <cstring>
#include <optional>

#include "PXM/SmartPtr.h"
#include "PXMImage/ImageAccess.h"
#include "PXMImageCANVAS/CanvasCopyKernels.h"
#include "PXMImageCANVAS/PXMImageCANVAS.h"

namespace {

// The conversion for a source of this description; none for several planes or other depths.
std::optional<CanvasSourcePixels> SourcePixels(const ImageDescription& from) {
  if (from.planes != 1) return std::nullopt;
  const bool redFirst = IsRedFirstFourcc(from.fourcc);
  switch (from.bitsPerPixel) {
    case 8: return CanvasSourcePixels::Grey8;
    case 24: return redFirst ? CanvasSourcePixels::Rgb24 : CanvasSourcePixels::Bgr24;
    case 32:
      if (from.fourcc == FOURCC_MONO) return CanvasSourcePixels::Mono32;
      return redFirst ? CanvasSourcePixels::Rgb32 : CanvasSourcePixels::Bgr32;
    default: return std::nullopt;
  }
}

// The canvas pixels of the 256 values of an 8-bit source: the colours of its palette where it has
// entries (4 bytes each: blue, green, red, unused), grey beyond them; the fourth byte keeps the
// value. True when the table differs from the grey ramp.
bool PaletteTable(IPXM* source, uint32_t table[256]) {
  for (uint32_t v = 0; v < 256; ++v) table[v] = v * 0x01010101u;
  SmartPtr<IPXMImagePalette> palette;
  if (PXM_FAILED(source->QueryInterface(IID_IPXMImagePalette, palette.ReceiveVoid())) || !palette) return false;
  uint32_t* entries = nullptr;
  uint32_t count = 0;
  palette->GetPalette(&entries, &count);  // a DIB reports success as 1; only the table counts
  if (!entries) return false;
  bool coloured = false;
  for (uint32_t v = 0; v < std::min(count, 256u); ++v) {
    uint8_t bgr[4];
    std::memcpy(bgr, &entries[v], sizeof bgr);
    const uint32_t pixel = uint32_t{bgr[2]} | uint32_t{bgr[1]} << 8 | uint32_t{bgr[0]} << 16 | v << 24;
    coloured |= pixel != table[v];
    table[v] = pixel;
  }
  return coloured;
}

// Pixels of every source row that may be read: those the row's bytes (its stride) hold, and none
// when the plane's size does not cover all its rows.
size_t ReadablePixels(const ImageDescription& from, const PlaneView& plane, uint32_t bytesPerPixel) {
  if (!plane.data || from.height == 0) return 0;
  const size_t pixels = std::min<size_t>(from.width, plane.RowLength() / bytesPerPixel);
  const uint64_t span = uint64_t{from.height - 1} * plane.RowLength() + uint64_t{pixels} * bytesPerPixel;
  return span <= plane.size ? pixels : 0;
}

// The bytes the rows of a plane occupy, lowest address first.
struct Span {
  const uint8_t* begin;
  const uint8_t* end;
};
Span RowsSpan(const PlaneView& plane, uint32_t height) {
  const uint8_t* first = plane.Row(0);
  const uint8_t* last = plane.Row(height - 1);
  return {std::min(first, last), std::max(first, last) + plane.RowLength()};
}

}  // namespace

HRESULT CPXMImageCANVAS::Copy(IPXM* source, int /*option: not used by the canvas*/) {
  if (!source) return PXM_E_INVALIDARG;
  const ImageDescription from = Describe(source);
  // A depth up to 24 asks for 24, which is stored as 32: the canvas is made anew, zeroed. A deeper
  // one of the canvas's size keeps the canvas, whose pixels are all written below.
  Create(from.width, from.height, from.planes, from.bitsPerPixel > 24 ? from.bitsPerPixel : 24, FOURCC_RGB);

  const std::optional<CanvasSourcePixels> pixels = SourcePixels(from);
  if (!pixels) return PXM_S_OK;
  PlaneView src, dst;
  if (PXM_FAILED(GetPlane(source, 0, &src))) return PXM_S_OK;
  GetPlane(this, 0, &dst);
  // A canvas that did not get its buffer (no area, too large, no memory) has nothing to write.
  if (!dst.data || m_Width != from.width || m_Height != from.height || BytesPerPixel() != 4) return PXM_S_OK;

  uint32_t table[256];
  CanvasSourcePixels kind = *pixels;
  if (kind == CanvasSourcePixels::Grey8 && PaletteTable(source, table)) kind = CanvasSourcePixels::Indexed8;
  const uint32_t sourceBytes = from.bitsPerPixel / 8;
  const size_t readable = ReadablePixels(from, src, sourceBytes);

  // The canvas's own rows as the source: only a canvas copied onto itself unchanged meets them,
  // and then there is nothing to do. Any other overlap (a canvas re-created by its own copy)
  // leaves the new canvas as Create made it.
  if (readable) {
    const Span in = RowsSpan(src, from.height), out = RowsSpan(dst, m_Height);
    if (in.begin < out.end && out.begin < in.end) return PXM_S_OK;
  }

  const CanvasRowKernel convert = CanvasRowKernelFor(kind);
  for (uint32_t y = 0; y < m_Height; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(dst.Row(y));
    if (readable) convert(src.Row(y), row, readable, table);
    // Pixels the source row cannot give are black.
    std::fill(row + readable, row + m_Width, 0u);
  }
  return PXM_S_OK;
}
