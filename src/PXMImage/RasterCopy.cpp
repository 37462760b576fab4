// CPXMImage::Copy: makes the raster image a copy of any image, reading the source only through
// IPXM. A grey source is copied plane by plane as raw bytes; a colour source of 3 or 4 bytes
// per pixel is split into three planes (byte k of every pixel into plane k) or averaged into
// one. A source whose planes do not hold the rows they claim is refused before anything changes;
// every destination byte the copy does not convert is written as zero.
#include <algorithm>
#include <cstring>

#include "PXMImage/ImageAccess.h"
#include "PXMImage/PXMImage.h"
#include "PXMImage/RasterCopyKernels.h"
#include "PXMImage/RowKernel.h"

namespace {

// Bytes a row of the source's pixels takes.
uint64_t PixelRowBytes(const ImageDescription& source) { return (uint64_t{source.width} * source.bitsPerPixel + 7) / 8; }

// Plane p of the source, or no rows when the source does not hand out the rows it claims.
PlaneView SourcePlane(IPXM* source, const ImageDescription& from, uint32_t plane) {
  PlaneView view;
  GetSourcePlane(source, plane, from.height, PixelRowBytes(from), &view);
  return view;
}

// Zeroes every plane of the raster image (rows top row first, all in its size): the rows of a copy
// that converts nothing are defined all the same.
void ZeroPlanes(IPXM* image, uint32_t planes) {
  for (uint32_t plane = 0; plane < planes; ++plane) {
    PlaneView view;
    if (PXM_SUCCEEDED(GetPlane(image, plane, &view)) && view.data) std::memset(view.data, 0, view.size);
  }
}

// The bytes of a destination row past those the source row gave: the pixels it could not
// give and the row's padding are written as zero.
void ZeroTail(uint8_t* row, size_t written, size_t length) {
  if (length > written) std::memset(row + written, 0, length - written);
}

// Every plane both images have, row by row as raw bytes.
void CopyGreyPlanes(IPXM* source, const ImageDescription& from, IPXM* destination, uint32_t planes) {
  for (uint32_t plane = 0; plane < planes; ++plane) {
    const PlaneView src = SourcePlane(source, from, plane);
    PlaneView dst;
    GetPlane(destination, plane, &dst);
    const size_t length = dst.RowLength();
    if (length == 0) continue;
    const size_t copied = src.data ? static_cast<size_t>(std::min<uint64_t>(PixelRowBytes(from), length)) : 0;
    for (uint32_t i = 0; i < from.height; ++i) {
      const uint32_t y = RowInMemoryOrder(src.stride, i, from.height);
      uint8_t* row = dst.Row(y);
      // memmove: an image copied onto itself reads the rows it writes.
      if (copied) std::memmove(row, src.Row(y), copied);
      ZeroTail(row, copied, length);
    }
  }
}


// The colour rows split into three planes, or averaged into one. Rows are walked in the source's
// memory order; a copy larger than the cache streams the planes out, since their rows then run
// the other way whenever the source is bottom-up.
void SplitColour(const PlaneView& src, size_t pixels, uint32_t bytesPerPixel, const PlaneView dst[3], uint32_t height) {
  const uint64_t planeBytes = uint64_t{dst[0].RowLength()} + dst[1].RowLength() + dst[2].RowLength();
  const bool stream = WorthStreaming((src.RowLength() + planeBytes) * height);
  const SplitKernel split = ChooseRasterCopyKernels(bytesPerPixel, stream).split;
  for (uint32_t i = 0; i < height; ++i) {
    const uint32_t y = RowInMemoryOrder(src.stride, i, height);
    uint8_t* rows[3] = {dst[0].Row(y), dst[1].Row(y), dst[2].Row(y)};
    if (pixels) split(src.Row(y), rows[0], rows[1], rows[2], pixels);
    for (uint32_t p = 0; p < 3; ++p) ZeroTail(rows[p], pixels, dst[p].RowLength());
  }
  if (stream) StreamingStoresDone();
}

void MeanColour(const PlaneView& src, size_t pixels, uint32_t bytesPerPixel, const PlaneView& dst, uint32_t height) {
  const bool stream = WorthStreaming((uint64_t{src.RowLength()} + dst.RowLength()) * height);
  const MeanKernel mean = ChooseRasterCopyKernels(bytesPerPixel, stream).mean;
  for (uint32_t i = 0; i < height; ++i) {
    const uint32_t y = RowInMemoryOrder(src.stride, i, height);
    if (pixels) mean(src.Row(y), dst.Row(y), pixels);
    ZeroTail(dst.Row(y), pixels, dst.RowLength());
  }
  if (stream) StreamingStoresDone();
}

}  // namespace

HRESULT CPXMImage::Copy(IPXM* source, int /*option: not used by the raster image*/) {
  if (!source) return PXM_E_POINTER;
  const ImageDescription from = Describe(source);
  const bool colour = IsColourFourcc(from.fourcc);
  // Colour is converted from 3 and 4 bytes per pixel only.
  const bool converts = !colour || from.bitsPerPixel == 24 || from.bitsPerPixel == 32;

  // The source's rows are checked before this image changes: every plane the copy reads (this
  // image keeps at most 65535) must hold the rows it claims.
  const uint32_t readPlanes = !converts ? 0 : colour ? 1 : std::min<uint32_t>(from.planes, UINT16_MAX);
  for (uint32_t plane = 0; plane < readPlanes; ++plane) {
    PlaneView view;
    if (PXM_FAILED(GetSourcePlane(source, plane, from.height, PixelRowBytes(from), &view))) return PXM_E_INVALIDARG;
  }

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
  // Other depths are not converted: the planes are zero.
  if (!converts) return ZeroPlanes(this, to.planes), PXM_S_OK;
  // Rows without pixels need no walk, however many a header claims.
  if (to.width == 0) return PXM_S_OK;

  const uint32_t bytesPerPixel = from.bitsPerPixel / 8;
  const PlaneView src = SourcePlane(source, from, 0);
  const size_t pixels = src.data ? from.width : 0;
  PlaneView dst[3];
  for (uint32_t plane = 0; plane < to.planes; ++plane) GetPlane(this, plane, &dst[plane]);
  if (split)
    SplitColour(src, pixels, bytesPerPixel, dst, to.height);
  else
    MeanColour(src, pixels, bytesPerPixel, dst[0], to.height);
  return PXM_S_OK;
}
