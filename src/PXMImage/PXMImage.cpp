#include "PXMImage/PXMImage.h"

#include <cstdlib>

#include "PXMImage/ImageBlock.h"

template <>
const tagREFString IObjectInfoImpl<CPXMImage>::m_ObjectName = {8, L"PXMImage"};

const InterfaceEntry<CPXMImage> CPXMImage::kInterfaceMap[4] = {
    {&IID_IPXM, InterfaceOf<CPXMImage, IPXMImage>},
    {&IID_IPXMImage, InterfaceOf<CPXMImage, IPXMImage>},
    {&IID_IObjectInfo, InterfaceOf<CPXMImage, IObjectInfo>},
    {&IID_IDataPersist, InterfaceOf<CPXMImage, IDataPersist>},
};

namespace {

// Bytes per row: 1-byte samples pad the row to a multiple of 4, 4-byte samples need no padding.
// Taken in 64 bits so that an oversized width cannot wrap.
constexpr uint64_t RowLength(uint32_t width, uint32_t sampleSize) {
  return sampleSize == 1 ? (uint64_t{width} + 3) & ~uint64_t{3} : uint64_t{4} * width;
}

// A plane fits when GetImage can hand out its row length as a positive signed stride and its
// bytes as a 32-bit size.
constexpr bool PlaneFits(uint32_t width, uint32_t height, uint32_t sampleSize) {
  const uint64_t row = RowLength(width, sampleSize);
  return row <= uint64_t{INT32_MAX} && row * height <= uint64_t{UINT32_MAX};
}

// The plane count is 16 bits, so the array of plane pointers always fits in memory sizes.
static_assert(UINT16_MAX <= SIZE_MAX / sizeof(void*));

}  // namespace

CPXMImage::CRaster::~CRaster() { FreeImageBlock(m_Data); }

bool CPXMImage::CRaster::Allocate(uint32_t width, uint32_t height, uint32_t bytesPerPixel) {
  m_Height = height;
  m_Width = width;
  FreeImageBlock(m_Data);
  m_Data = nullptr;
  m_Size = 0;
  m_BytesPerPixel = bytesPerPixel == 1 ? 1 : 4;
  m_Stride = static_cast<uint32_t>(RowLength(width, m_BytesPerPixel));
  // Row lengths are multiples of 4, so the buffer is a whole number of 32-bit units. A plane of
  // no bytes holds no buffer.
  const uint32_t size = height * m_Stride;
  if (size != 0) {
    m_Data = AllocateImageBlock(size);
    if (!m_Data) return false;
  }
  m_Size = size;
  return true;
}

CPXMImage::~CPXMImage() { Clear(); }

void CPXMImage::Clear() {
  for (uint32_t plane = 0; plane < m_NumberPlanes; ++plane) delete m_Rasters[plane];
  delete[] m_Rasters;
  m_Rasters = nullptr;
  m_NumberPlanes = 0;
}

HRESULT CPXMImage::Create(uint32_t width, uint32_t height, uint32_t planes, uint32_t bitsPerPixel, uint32_t fourcc) {
  const HRESULT hr = IsCreatable(bitsPerPixel, fourcc);
  if (PXM_FAILED(hr)) return hr;
  // The image keeps 16 bits of plane count: 65536 planes ask for an empty image. The code was
  // only tested; the image always holds "MONO".
  return Create(width, height, (bitsPerPixel + 7) / 8, static_cast<uint16_t>(planes));
}

HRESULT CPXMImage::Create(uint32_t width, uint32_t height, uint32_t bytesPerPixel, uint16_t planes) {
  const uint32_t sampleSize = bytesPerPixel == 1 ? 1 : 4;
  if (planes != 0 && !PlaneFits(width, height, sampleSize)) return PXM_E_INVALIDARG;
  Clear();
  if (planes == 0) return PXM_S_OK;
  m_Rasters = new (std::nothrow) CRaster*[planes]();
  if (!m_Rasters) return PXM_E_OUTOFMEMORY;
  m_NumberPlanes = planes;
  for (uint32_t plane = 0; plane < planes; ++plane) {
    CRaster* raster = new (std::nothrow) CRaster;
    m_Rasters[plane] = raster;
    if (!raster || !raster->Allocate(width, height, sampleSize)) {
      Clear();  // an image is either whole or empty
      return PXM_E_OUTOFMEMORY;
    }
  }
  return PXM_S_OK;
}

HRESULT CPXMImage::IsCreatable(uint32_t bitsPerPixel, uint32_t fourcc) {
  const bool depth = bitsPerPixel == 8 || bitsPerPixel == 16 || bitsPerPixel == 32;
  return fourcc == FOURCC_MONO && depth ? PXM_S_OK : PXM_E_NOTCREATABLE;
}

HRESULT CPXMImage::GetSize(uint32_t* width, uint32_t* height, uint32_t* planes) {
  const CRaster* first = m_Rasters ? m_Rasters[0] : nullptr;
  if (width) *width = first ? first->m_Width : 0;
  if (height) *height = first ? first->m_Height : 0;
  if (planes) *planes = m_NumberPlanes;
  return PXM_S_OK;
}

HRESULT CPXMImage::GetPixelDescriptor(uint32_t* bitsPerPixel, uint32_t* fourcc, uint32_t* bytesPerPixel) {
  if (bitsPerPixel) *bitsPerPixel = m_Rasters ? 8 * m_Rasters[0]->m_BytesPerPixel : 0;
  if (fourcc) *fourcc = FOURCC_MONO;
  // Reported as 1 whatever the sample size: hosts read it, the module never does.
  if (bytesPerPixel) *bytesPerPixel = 1;
  return PXM_S_OK;
}

HRESULT CPXMImage::GetImage(uint32_t plane, uint32_t* size, uint8_t** data, int32_t* stride) {
  if (plane >= m_NumberPlanes) return PXM_E_INVALIDARG;
  if (!size || !data || !stride) return PXM_E_POINTER;
  const CRaster& raster = *m_Rasters[plane];
  *data = raster.m_Data;
  *size = raster.m_Size;
  *stride = static_cast<int32_t>(raster.m_Stride);  // Create keeps row lengths within a signed stride
  return PXM_S_OK;
}

HRESULT CPXMImage::Save(IDataStream* stream, int) { return SaveToDataStream(this, stream, nullptr); }
HRESULT CPXMImage::Load(IDataStream* stream, int) { return LoadFromDataStream(this, stream, nullptr); }
