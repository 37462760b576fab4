// CPXMImageCANVAS::Copy: makes the canvas a copy of a single-plane image of any class, in the
// colour layout of 4 bytes a pixel. The source is read only through IPXM (and, for 8-bit sources,
// its palette); one row kernel, chosen by the source's depth and code, converts every row.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "PXM/SmartPtr.h"
#include "PXMImage/ImageAccess.h"
#include "PXMImage/RowKernel.h"
#include "PXMImageCANVAS/CanvasCopyKernels.h"
#include "PXMImageCANVAS/PXMImageCANVAS.h"

namespace {

// A canvas copy widens its pixels, and streams only when its rows step opposite ways (a top-down
// image into a bottom-up one, or back), so that one side is walked backwards. Rows that step the
// same way are walked forwards on both sides, and then plain stores are faster: the hardware fetches
// the destination lines ahead of the stores (8- and 24-bit into 4-byte pixels, 64 MiB written: 0.62 /
// 0.88 of memcpy streamed, 0.87 / 1.09 with plain stores; with the rows opposite, plain stores fell
// to 0.44).
bool WorthStreamingRows(uint64_t bytesTouched, int32_t sourceStride, int32_t destinationStride) {
  return WorthStreaming(bytesTouched) && (sourceStride < 0) != (destinationStride < 0);
}

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

}  // namespace

HRESULT CPXMImageCANVAS::Copy(IPXM* source, int /*option: not used by the canvas*/) {
  if (!source) return PXM_E_INVALIDARG;
  const ImageDescription from = Describe(source);
  const std::optional<CanvasSourcePixels> pixels = SourcePixels(from);
  const uint64_t sourceRowBytes = uint64_t{from.width} * (from.bitsPerPixel / 8);
  PlaneView src;
  // A source that does not hold the rows it claims is refused before the canvas changes.
  if (pixels && PXM_FAILED(GetSourcePlane(source, 0, from.height, sourceRowBytes, &src))) return PXM_E_INVALIDARG;
  // A depth up to 24 asks for 24, which is stored as 32: the canvas is made anew. A deeper one of
  // the canvas's size keeps the canvas. With a conversion every pixel is written below, so the new
  // canvas need not be zeroed first: its old buffer is taken over when it has the size.
  Recreate(from.width, from.height, from.bitsPerPixel > 24 ? from.bitsPerPixel : 24, FOURCC_RGB, !pixels);
  if (!pixels) return PXM_S_OK;
  PlaneView dst;
  GetPlane(this, 0, &dst);
  // A canvas that did not get its buffer (no area, too large, no memory) has nothing to write.
  if (!dst.data || m_Width != from.width || m_Height != from.height || BytesPerPixel() != 4) return PXM_S_OK;
  // Asked again (the canvas may be its own source), the source must still hold its rows.
  const HRESULT held = GetSourcePlane(source, 0, from.height, sourceRowBytes, &src);

  uint32_t table[256];
  CanvasSourcePixels kind = *pixels;
  if (kind == CanvasSourcePixels::Grey8 && PaletteTable(source, table)) kind = CanvasSourcePixels::Indexed8;
  size_t readable = src.data ? from.width : 0;
  if (readable) {
    // The canvas's own rows as the source: a canvas copied onto itself and kept is as it was; one
    // made anew by its own copy has nothing left to read.
    if (src.data == dst.data && src.stride == dst.stride && kind == CanvasSourcePixels::Rgb32) return PXM_S_OK;
    if (RowsSpan(src, from.height, src.RowLength()).Overlaps(RowsSpan(dst, m_Height, dst.RowLength()))) readable = 0;
  }

  // Rows go in ascending source addresses. A copy larger than the cache whose rows run opposite ways
  // writes around it. The widest kernels pay off only far beyond the cache: 8- and 24-bit rows into
  // canvas pixels in 64-byte steps against 16-byte ones ran at 0.92-0.96 of memcpy against 1.00 with
  // 5-7 MiB touched, at 0.75-0.86 against 0.61-0.83 with 80-112 MiB.
  constexpr uint64_t kWidestFrom = uint64_t{32} << 20;
  const uint64_t touched = uint64_t{from.height} * std::abs(int64_t{src.stride}) + uint64_t{dst.size};
  const bool streaming = WorthStreamingRows(touched, src.stride, dst.stride);
  const CanvasRowKernel convert = CanvasRowKernelFor(kind, streaming, touched >= kWidestFrom);
  for (uint32_t i = 0; i < m_Height; ++i) {
    const uint32_t y = RowInMemoryOrder(src.stride, i, m_Height);
    uint32_t* row = reinterpret_cast<uint32_t*>(dst.Row(y));
    if (readable) convert(src.Row(y), row, readable, table);
    // Pixels the source row cannot give are black.
    std::fill(row + readable, row + m_Width, 0u);
  }
  if (streaming) StreamingStoresDone();
  return held;
}
