// CPXMImageCANVAS: pixels in a buffer owned by the object and wrapped by a Core Graphics bitmap
// context that the host draws on; drawn into other contexts with an optional transparent colour.
//
// The buffer holds m_Height rows of one row length, the first row at m_Buffer. Like a DIB the
// canvas hands out its last buffer row as row 0 (GetImage), with a negative stride.
#pragma once
#include "PXM/Object.h"
#include "PXM/ResourceLock.h"
#include "PXMImage/PXMImageImpl.h"

class CPXMImageCANVAS final : public CObject<CPXMImageCANVAS>,
                              public IObjectInfoImpl<CPXMImageCANVAS>,
                              public IPXMImageImpl<CPXMImageCANVAS, IPXMImageCANVAS>,
                              public IPXMImageRender,
                              public IRenderableObject,
                              public IDataPersist {
 public:
  static const InterfaceEntry<CPXMImageCANVAS> kInterfaceMap[7];
  PXM_IMPLEMENT_IUNKNOWN()

  CPXMImageCANVAS() = default;
  ~CPXMImageCANVAS();

  HRESULT Lock() override;
  HRESULT Unlock() override;

  // IPXMImageCANVAS
  HRESULT get_TransparentColor(int* color) override;
  HRESULT put_TransparentColor(int color) override;
  HRESULT get_CANVAS(CGContext** context) override;
  HRESULT CreateOnCANVAS(CGContext* context, int width, int height) override;
  HRESULT GetSize(uint32_t* width, uint32_t* height, uint32_t* planes) override;
  HRESULT GetPixelDescriptor(uint32_t* bitsPerPixel, uint32_t* fourcc, uint32_t* bytesPerPixel) override;
  HRESULT GetImage(uint32_t plane, uint32_t* size, uint8_t** data, int32_t* stride) override;
  HRESULT IsCreatable(uint32_t bitsPerPixel, uint32_t fourcc) override;
  HRESULT Create(uint32_t width, uint32_t height, uint32_t planes, uint32_t bitsPerPixel, uint32_t fourcc) override;
  HRESULT Copy(IPXM* source, int option) override;

  // IPXMImageRender, IRenderableObject
  HRESULT Render(CGContext* context, CANVASRect* destination, CANVASRect* source) override;
  HRESULT Render(CGContext* context, CANVASRect* destination, IUnknown* unused, int flags) override;
  HRESULT GetExtent(int* width, int* height);

  // IDataPersist: the transparent colour, then the image record.
  using IPXMImageImpl::Load;
  using IPXMImageImpl::Save;
  HRESULT Save(IDataStream* stream, int option) override;
  HRESULT Load(IDataStream* stream, int option) override;

 private:
  // Create for a caller that writes every pixel next (Copy): with `zeroed` false, a buffer of the
  // new size is taken over from the old pixels instead of a fresh zeroed one.
  HRESULT Recreate(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t fourcc, bool zeroed);
  // Releases the context and the pixels under the lock; the transparent colour stays. Given
  // `keptSize`, the pixel buffer is handed back (its size there) instead of being freed.
  uint8_t* DestroyPixels(size_t* keptSize = nullptr);
  uint32_t BytesPerPixel() const { return m_FOURCC == FOURCC_MONO ? 1u : 4u; }

  CResourceLock m_Lock;
  uint8_t* m_Buffer = nullptr;
  size_t m_BufferSize = 0;  // bytes of m_Buffer, for its release
  CGContext* m_Context = nullptr;
  uint32_t m_BitsPerPixel = 0;
  uint32_t m_Width = 0;
  uint32_t m_Height = 0;
  uint32_t m_FOURCC = 0;
  int32_t m_TransparentColor = -1;  // 0x00BBGGRR; -1: none
};

template <>
const tagREFString IObjectInfoImpl<CPXMImageCANVAS>::m_ObjectName;
