// CPXMImage: planes of grey samples in memory, 1 or 4 bytes each, rows top row first.
#pragma once
#include "PXM/Object.h"
#include "PXMImage/PXMImageImpl.h"

class CPXMImage final : public CObject<CPXMImage>,
                        public IObjectInfoImpl<CPXMImage>,
                        public IPXMImageImpl<CPXMImage, IPXMImage>,
                        public IDataPersist {
 public:
  // One plane. Row y starts at m_Data + y * m_Stride.
  class CRaster {
   public:
    CRaster() = default;
    CRaster(const CRaster&) = delete;
    CRaster& operator=(const CRaster&) = delete;
    ~CRaster();

    // (Re)allocates the plane; its bytes are left as the allocator gives them. False when the
    // buffer could not be had: the plane then holds no buffer. The caller has checked that the
    // plane's bytes fit in 32 bits and its row length in a signed stride.
    bool Allocate(uint32_t width, uint32_t height, uint32_t bytesPerPixel);

    uint8_t* m_Data = nullptr;
    uint32_t m_Size = 0;
    uint32_t m_Height = 0;
    uint32_t m_Width = 0;
    uint32_t m_BytesPerPixel = 0;
    uint32_t m_Stride = 0;
  };

  static const InterfaceEntry<CPXMImage> kInterfaceMap[4];
  PXM_IMPLEMENT_IUNKNOWN()

  CPXMImage() = default;
  ~CPXMImage();

  // IPXMImage
  HRESULT GetSize(uint32_t* width, uint32_t* height, uint32_t* planes) override;
  HRESULT GetPixelDescriptor(uint32_t* bitsPerPixel, uint32_t* fourcc, uint32_t* bytesPerPixel) override;
  HRESULT GetImage(uint32_t plane, uint32_t* size, uint8_t** data, int32_t* stride) override;
  HRESULT Create(uint32_t width, uint32_t height, uint32_t planes, uint32_t bitsPerPixel, uint32_t fourcc) override;
  HRESULT IsCreatable(uint32_t bitsPerPixel, uint32_t fourcc) override;
  HRESULT Copy(IPXM* source, int option) override;  // RasterCopy.cpp

  // IDataPersist
  using IPXMImageImpl::Load;
  using IPXMImageImpl::Save;
  HRESULT Save(IDataStream* stream, int option) override;
  HRESULT Load(IDataStream* stream, int option) override;

 private:
  // The internal form: planes of bytesPerPixel 1, or 4 for any other value. A size that does not
  // fit the plane's 32-bit arithmetic is refused before anything is released; a failed
  // allocation leaves the image empty.
  HRESULT Create(uint32_t width, uint32_t height, uint32_t bytesPerPixel, uint16_t planes);
  void Clear();

  uint32_t m_NumberPlanes = 0;
  CRaster** m_Rasters = nullptr;
};

template <>
const tagREFString IObjectInfoImpl<CPXMImage>::m_ObjectName;
