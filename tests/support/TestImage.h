// An image of the test's own: it describes itself with any size, plane count, depth and pixel
// code, rows in either direction and with padding, and is reached through IPXMImage like any
// image of the module. With a palette set it also answers IPXMImagePalette.
#pragma once
#include <atomic>
#include <vector>

#include "ComPtr.h"

class TestImage final : public IPXMImage, public IPXMImagePalette {
 public:
  struct Shape {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 8;
    uint32_t fourcc = FOURCC_MONO;
    uint32_t planes = 1;
    bool bottomUp = false;   // negative stride: row 0 is the last row in memory
    uint32_t padding = 0;    // bytes after each row
  };
  static ComPtr<TestImage> Make(const Shape& shape);

  // Row y of a plane, as the image hands it out (row 0 is the top row).
  uint8_t* Row(uint32_t plane, uint32_t y);
  uint32_t RowBytes() const { return (m_Shape.width * m_Shape.bitsPerPixel + 7) / 8; }
  int32_t Stride() const;
  const Shape& GetShape() const { return m_Shape; }
  // Fills every row's pixel bytes with a pattern from the seed (padding keeps its guard bytes).
  void FillPattern(uint32_t seed);
  // True when no padding byte was touched since creation.
  bool PaddingIntact() const;
  std::vector<uint32_t> palette;  // answered through IPXMImagePalette when not empty

  static std::atomic<int> s_Live;  // objects alive, for leak checks
  int getImageCalls = 0;

  HRESULT QueryInterface(const IID& iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT GetSize(uint32_t* width, uint32_t* height, uint32_t* planes) override;
  HRESULT GetPixelDescriptor(uint32_t* bitsPerPixel, uint32_t* fourcc, uint32_t* bytesPerPixel) override;
  HRESULT GetImage(uint32_t plane, uint32_t* size, uint8_t** data, int32_t* stride) override;
  HRESULT Create(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT IsCreatable(uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT Copy(IPXM*, int) override { return PXM_E_NOTIMPL; }
  HRESULT Equal(int) override { return PXM_E_NOTIMPL; }
  HRESULT SetPalette(uint32_t*, uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT GetPalette(uint32_t** entries, uint32_t* count) override;

 private:
  explicit TestImage(const Shape& shape);
  ~TestImage() { --s_Live; }
  uint32_t Pitch() const { return RowBytes() + m_Shape.padding; }

  static constexpr uint8_t kGuard = 0xA5;
  Shape m_Shape;
  std::vector<std::vector<uint8_t>> m_Planes;
  std::atomic<uint32_t> m_RefCount{1};
};
