// Copy(IPXM*, int): this image becomes a converted copy of any image, read only through its
// IPXMImage operations (and its palette for 8-bit sources).
#include <cstring>

#include "PXM/SmartPtr.h"
#include "PXM/Trace.h"
#include "PXMImage/ImageAccess.h"
#include "PXMImage/RowKernel.h"
#include "PXMImageDIB/DibCopyKernels.h"
#include "PXMImageDIB/PXMImageDIB.h"

namespace {

struct TargetFormat {
  uint32_t bitsPerPixel;
  uint32_t fourcc;
};

// 32-bit grey becomes 8-bit grey, other 32-bit sources stay 32-bit with alpha or plain colour,
// 8-bit sources are grey, and every other depth is taken as 24-bit colour.
TargetFormat TargetFor(const ImageDescription& source) {
  if (source.bitsPerPixel == 32) {
    if (source.fourcc == FOURCC_MONO) return {8, FOURCC_MONO};
    return {32, source.fourcc == FOURCC_ARGB ? FOURCC_ARGB : FOURCC_RGB};
  }
  if (source.bitsPerPixel == 8) return {8, FOURCC_MONO};
  return {24, FOURCC_RGB};
}

// A row through a bounce buffer, for a source whose rows share memory with ours (an image copied
// onto itself): the kernels may assume their two rows are apart.
void BounceRow(const DibCopyRule& rule, uint8_t* destination, const uint8_t* source, uint32_t width) {
  constexpr uint32_t kBounceBytes = 4096;
  uint8_t bounce[kBounceBytes];
  const uint32_t step = kBounceBytes / rule.sourcePixelBytes;
  for (uint32_t x = 0; x < width; x += step) {
    const uint32_t n = width - x < step ? width - x : step;
    std::memcpy(bounce, source + size_t{x} * rule.sourcePixelBytes, size_t{n} * rule.sourcePixelBytes);
    rule.kernel(destination + size_t{x} * rule.destinationPixelBytes, bounce, n);
  }
}

// The source rows the rule reads, checked: PXM_E_INVALIDARG when the source does not hold them.
HRESULT SourceRows(IPXM* source, const ImageDescription& from, const DibCopyRule& rule, PlaneView* in) {
  if (PXM_FAILED(GetPlane(source, 0, in))) *in = PlaneView{};
  if (rule.wholePixelSourceStride) in->stride = in->stride / 4 * 4;
  if (HoldsRows(*in, from.height, uint64_t{from.width} * rule.sourcePixelBytes)) return PXM_S_OK;
  *in = PlaneView{};
  return PXM_E_INVALIDARG;
}

}  // namespace

HRESULT CPXMImageDIB::Copy(IPXM* source, int alphaOption) {
  if (!source) return PXM_E_INVALIDARG;
  ImageDescription from = Describe(source);
  const TargetFormat target = TargetFor(from);
  if (from.bitsPerPixel == 32 && from.fourcc != FOURCC_MONO && from.fourcc != FOURCC_ARGB) from.fourcc = FOURCC_RGB;
  const DibCopyRule rule = ChooseDibCopyRule(from.bitsPerPixel, from.fourcc, alphaOption);
  const bool converts = from.planes == 1 && rule.kernel && from.height != 0 && from.width != 0;
  PlaneView in;
  // A source that does not hold the rows it claims is refused before this image changes.
  if (converts && PXM_FAILED(SourceRows(source, from, rule, &in))) return PXM_E_INVALIDARG;

  const HRESULT hr = Create(from.width, from.height, from.planes, target.bitsPerPixel, target.fourcc);
  if (PXM_FAILED(hr)) {
    _TRACE_(L"Memory Error");
    return hr;
  }

  if (from.bitsPerPixel == 8) {
    SmartPtr<IPXMImagePalette> palette;
    if (PXM_SUCCEEDED(source->QueryInterface(IID_IPXMImagePalette, palette.ReceiveVoid())) && palette) {
      uint32_t* table = nullptr;
      uint32_t count = 0;
      // Never more entries than the source's table holds.
      if (PXM_SUCCEEDED(palette->GetPalette(&table, &count)) && table)
        SetPalette(table, count < m_PaletteCount ? count : m_PaletteCount, 0);
    }
  }
  // Rows no rule converts (several planes, other depths) are zero, not what the heap held.
  PlaneView out;
  GetImage(0, &out.size, &out.data, &out.stride);
  if (!out.data) return PXM_S_OK;
  if (!converts) return std::memset(m_pBits, 0, out.size), PXM_S_OK;
  // An image copied onto itself may just have been re-created in another format: its rows are
  // then no longer the ones the rule was chosen for. Asked again, the source must still hold them.
  const ImageDescription now = Describe(source);
  if (now.bitsPerPixel != from.bitsPerPixel || now.width != from.width || now.height != from.height)
    return std::memset(m_pBits, 0, out.size), PXM_S_OK;
  if (PXM_FAILED(SourceRows(source, from, rule, &in))) return std::memset(m_pBits, 0, out.size), PXM_E_INVALIDARG;

  const ByteSpan read = RowsSpan(in, from.height, size_t{from.width} * rule.sourcePixelBytes);
  const ByteSpan written = RowsSpan(out, from.height, size_t{from.width} * rule.destinationPixelBytes);
  const bool overlap = read.Overlaps(written);
  const uint64_t touched = uint64_t{read.end - read.begin} + (written.end - written.begin);
  const bool stream = !overlap && WorthStreamingNarrowing(touched);
  // Rows are visited in the source's memory order.
  for (uint32_t i = 0; i < from.height; ++i) {
    const uint32_t y = RowInMemoryOrder(in.stride, i, from.height);
    if (overlap)
      BounceRow(rule, out.Row(y), in.Row(y), from.width);
    else if (stream)
      rule.streamed(out.Row(y), in.Row(y), from.width);
    else
      rule.kernel(out.Row(y), in.Row(y), from.width);
  }
  if (stream) StreamingStoresDone();
  return PXM_S_OK;
}
