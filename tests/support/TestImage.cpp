#include "TestImage.h"

std::atomic<int> TestImage::s_Live{0};

ComPtr<TestImage> TestImage::Make(const Shape& shape) { return ComPtr<TestImage>(new TestImage(shape)); }

TestImage::TestImage(const Shape& shape) : m_Shape(shape) {
  ++s_Live;
  m_Planes.assign(shape.planes, std::vector<uint8_t>(size_t(Pitch()) * shape.height, kGuard));
}

int32_t TestImage::Stride() const {
  return m_Shape.bottomUp ? -static_cast<int32_t>(Pitch()) : static_cast<int32_t>(Pitch());
}

uint8_t* TestImage::Row(uint32_t plane, uint32_t y) {
  const uint32_t memoryRow = m_Shape.bottomUp ? m_Shape.height - 1 - y : y;
  return m_Planes[plane].data() + size_t(memoryRow) * Pitch();
}

void TestImage::FillPattern(uint32_t seed) {
  uint32_t state = seed * 2654435761u + 1;
  for (uint32_t p = 0; p < m_Shape.planes; ++p)
    for (uint32_t y = 0; y < m_Shape.height; ++y)
      for (uint32_t x = 0; x < RowBytes(); ++x) {
        state = state * 1664525u + 1013904223u;
        Row(p, y)[x] = static_cast<uint8_t>(state >> 24);
      }
}

bool TestImage::PaddingIntact() const {
  for (const auto& plane : m_Planes)
    for (uint32_t y = 0; y < m_Shape.height; ++y)
      for (uint32_t x = RowBytes(); x < Pitch(); ++x)
        if (plane[size_t(y) * Pitch() + x] != kGuard) return false;
  return true;
}

HRESULT TestImage::QueryInterface(const IID& iid, void** out) {
  if (!out) return PXM_E_POINTER;
  *out = nullptr;
  if (iid == pxm::iid::IUnknown || iid == pxm::iid::IPXM || iid == pxm::iid::IPXMImage) {
    *out = static_cast<IPXMImage*>(this);
  } else if (iid == pxm::iid::IPXMImagePalette && !palette.empty()) {
    *out = static_cast<IPXMImagePalette*>(this);
  } else {
    return PXM_E_NOINTERFACE;
  }
  AddRef();
  return PXM_S_OK;
}

uint32_t TestImage::AddRef() { return ++m_RefCount; }

uint32_t TestImage::Release() {
  const uint32_t count = --m_RefCount;
  if (count == 0) delete this;
  return count;
}

HRESULT TestImage::GetSize(uint32_t* width, uint32_t* height, uint32_t* planes) {
  if (width) *width = m_Shape.width;
  if (height) *height = m_Shape.height;
  if (planes) *planes = m_Shape.planes;
  return PXM_S_OK;
}

HRESULT TestImage::GetPixelDescriptor(uint32_t* bitsPerPixel, uint32_t* fourcc, uint32_t* bytesPerPixel) {
  if (bitsPerPixel) *bitsPerPixel = m_Shape.bitsPerPixel;
  if (fourcc) *fourcc = m_Shape.fourcc;
  if (bytesPerPixel) *bytesPerPixel = m_Shape.bitsPerPixel / 8;
  return PXM_S_OK;
}

HRESULT TestImage::GetImage(uint32_t plane, uint32_t* size, uint8_t** data, int32_t* stride) {
  ++getImageCalls;
  if (plane >= m_Shape.planes) return PXM_E_INVALIDARG;
  *size = Pitch() * m_Shape.height;
  *data = m_Shape.height ? Row(plane, 0) : m_Planes[plane].data();
  *stride = Stride();
  return PXM_S_OK;
}

HRESULT TestImage::GetPalette(uint32_t** entries, uint32_t* count) {
  if (entries) *entries = palette.data();
  if (count) *count = static_cast<uint32_t>(palette.size());
  return PXM_S_FALSE;
}
