// An image of the test's own behind IPXMImage: any size, planes, depth and code, rows either way and
// padded with guard bytes; with a palette set it also answers IPXMImagePalette.
#pragma once
#include <algorithm>
#include <atomic>
#include <vector>

#include "ComPtr.h"

class TestImage final : public IPXMImage, public IPXMImagePalette {
 public:
  // bottomUp: a negative stride, row 0 the last row in memory; padding: guard bytes after each row.
  struct Shape { uint32_t width = 0, height = 0, bitsPerPixel = 8, fourcc = FOURCC_MONO, planes = 1; bool bottomUp = false; uint32_t padding = 0; };
  static ComPtr<TestImage> Make(const Shape& shape) { return ComPtr<TestImage>(new TestImage(shape)); }
  uint32_t RowBytes() const { return (m_Shape.width * m_Shape.bitsPerPixel + 7) / 8; }
  int32_t Stride() const { return m_Shape.bottomUp ? -int32_t(Pitch()) : int32_t(Pitch()); }
  // Row y of a plane, as the image hands it out (row 0 is the top row).
  uint8_t* Row(uint32_t plane, uint32_t y) { return m_Planes[plane].data() + size_t(m_Shape.bottomUp ? m_Shape.height - 1 - y : y) * Pitch(); }
  void FillPattern(uint32_t seed) {  // every row's pixel bytes; the guard bytes stay
    uint32_t state = seed * 2654435761u + 1;
    for (uint32_t p = 0; p < m_Shape.planes; ++p)
      for (uint32_t y = 0; y < m_Shape.height; ++y)
        for (uint32_t x = 0; x < RowBytes(); ++x) Row(p, y)[x] = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
  }
  const std::vector<std::vector<uint8_t>>& Planes() const { return m_Planes; }  // as they lie: rows and guard bytes

  std::vector<uint32_t> palette;              // answered through IPXMImagePalette when not empty
  HRESULT paletteResult = PXM_S_FALSE;        // of GetPalette, which hands out the table whatever it says
  uint32_t paletteShown = UINT32_MAX;         // the count GetPalette reports, at most the table's (0: it writes none)
  int getImageCalls = 0;
  HRESULT getImageResult = PXM_S_OK;  // GetImage fails with this when set
  uint32_t sizeShortfall = 0;         // GetImage reports the last plane this much smaller than it is
  uint32_t describedBits = 0, describedFourcc = 0;  // reported when set; the rows keep their length
  uint8_t* rowsAt = nullptr;          // GetImage hands out these rows (another image's) when set

  HRESULT QueryInterface(const IID& iid, void** out) override {
    *out = nullptr;
    if (iid == pxm::iid::IUnknown || iid == pxm::iid::IPXM || iid == pxm::iid::IPXMImage) *out = static_cast<IPXMImage*>(this);
    if (iid == pxm::iid::IPXMImagePalette && !palette.empty()) *out = static_cast<IPXMImagePalette*>(this);
    return *out ? (AddRef(), PXM_S_OK) : PXM_E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++m_RefCount; }
  uint32_t Release() override { const uint32_t count = --m_RefCount; return count ? count : (delete this, 0u); }
  HRESULT GetSize(uint32_t* width, uint32_t* height, uint32_t* planes) override { return Put(width, m_Shape.width), Put(height, m_Shape.height), Put(planes, m_Shape.planes), PXM_S_OK; }
  HRESULT GetPixelDescriptor(uint32_t* bits, uint32_t* fourcc, uint32_t* bytes) override {
    const uint32_t depth = describedBits ? describedBits : m_Shape.bitsPerPixel;
    return Put(bits, depth), Put(fourcc, describedBits ? describedFourcc : m_Shape.fourcc), Put(bytes, depth / 8), PXM_S_OK;
  }
  HRESULT GetImage(uint32_t plane, uint32_t* size, uint8_t** data, int32_t* stride) override {
    ++getImageCalls;
    if (PXM_FAILED(getImageResult) || plane >= m_Shape.planes) return PXM_FAILED(getImageResult) ? getImageResult : PXM_E_INVALIDARG;
    *data = rowsAt ? rowsAt : m_Shape.height ? Row(plane, 0) : m_Planes[plane].data();
    return *size = Pitch() * m_Shape.height - (plane + 1 == m_Shape.planes ? sizeShortfall : 0), *stride = Stride(), PXM_S_OK;
  }
  HRESULT Create(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT IsCreatable(uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT Copy(IPXM*, int) override { return PXM_E_NOTIMPL; }
  HRESULT Equal(int) override { return PXM_E_NOTIMPL; }
  HRESULT SetPalette(uint32_t*, uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT GetPalette(uint32_t** entries, uint32_t* count) override {
    if (entries) *entries = palette.data();
    if (paletteShown) Put(count, std::min(paletteShown, uint32_t(palette.size())));
    return paletteResult;
  }

 private:
  explicit TestImage(const Shape& shape)
      : m_Shape(shape), m_Planes(shape.planes, std::vector<uint8_t>(size_t(Pitch()) * shape.height, kGuard)) {}
  uint32_t Pitch() const { return RowBytes() + m_Shape.padding; }
  static void Put(uint32_t* out, uint32_t value) { out ? void(*out = value) : void(); }

  static constexpr uint8_t kGuard = 0xA5;
  Shape m_Shape;
  std::vector<std::vector<uint8_t>> m_Planes;
  std::atomic<uint32_t> m_RefCount{1};
};

template <class I>
ComPtr<I> Query(IUnknown* object, const IID& iid) { return (object->AddRef(), ComPtr<IUnknown>(object)).As<I>(iid); }

// The one probe of any image: what it says of itself (Described), plane p as it hands it out (row
// y at data + y * stride) and, for a DIB, its block; fields a call did not write keep `unset`.
namespace view {
struct Described {
  uint32_t width = 0, height = 0, planes = 0, bits = 0, fourcc = 0, bytes = 0;
  uint32_t Packed() const { return bits * width / 8; }
  std::vector<uint32_t> Format() const { return {width, height, planes, bits, fourcc}; }
};
struct Probe : Described {
  uint32_t size;
  uint8_t* data = nullptr;
  int32_t stride;
  HRESULT described = PXM_S_OK, result = PXM_E_FAIL;  // GetSize | GetPixelDescriptor, and GetImage
  uint8_t* block = nullptr;
  uint32_t blockSize;

  explicit Probe(IPXM* image, uint32_t plane = 0, uint32_t unset = 0)
      : Described{unset, unset, unset, unset, unset, unset}, size(unset), stride(int32_t(unset)), blockSize(unset) {
    described = image->GetSize(&width, &height, &planes) | image->GetPixelDescriptor(&bits, &fourcc, &bytes);
    result = image->GetImage(plane, &size, &data, &stride);
    ComPtr<IPXMImageDIB> dib;
    if (PXM_SUCCEEDED(image->QueryInterface(pxm::iid::IPXMImageDIB, dib.Out()))) dib->GetDIB(&block, &blockSize);
  }
  uint8_t* Row(uint32_t y) const { return data + int64_t{y} * stride; }
  std::vector<uint8_t> Block() const { return std::vector<uint8_t>(block, block + blockSize); }
};
}  // namespace view

inline ComPtr<IPXMImagePalette> PaletteOf(IPXM* image) { return Query<IPXMImagePalette>(image, pxm::iid::IPXMImagePalette); }
inline std::vector<uint32_t> PaletteEntries(IPXM* image) {
  uint32_t *table = nullptr, count = 0;
  return PaletteOf(image)->GetPalette(&table, &count), std::vector<uint32_t>(table, table + count);
}
