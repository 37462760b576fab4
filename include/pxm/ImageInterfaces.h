// Interfaces that the module's image objects implement. Declaration order is slot order.
#pragma once
#include "pxm/HostInterfaces.h"

struct IObjectInfo : IUnknown {
  virtual HRESULT GetName(int reserved, tagREFString* name) = 0;  // 3
};

// What a copy reads of its source; every image answers IID_IPXM and IID_IPXMImage alike.
struct IPXM : IUnknown {
  virtual HRESULT GetSize(uint32_t* width, uint32_t* height, uint32_t* planes) = 0;                   // 3
  virtual HRESULT GetPixelDescriptor(uint32_t* bitsPerPixel, uint32_t* fourcc, uint32_t* bytesPerPixel) = 0;  // 4
  // Row y of the plane starts at *data + y * *stride (signed).
  virtual HRESULT GetImage(uint32_t plane, uint32_t* size, uint8_t** data, int32_t* stride) = 0;     // 5
};

struct IPXMImage : IPXM {
  virtual HRESULT Create(uint32_t width, uint32_t height, uint32_t planes, uint32_t bitsPerPixel, uint32_t fourcc) = 0;  // 6
  virtual HRESULT IsCreatable(uint32_t bitsPerPixel, uint32_t fourcc) = 0;  // 7
  virtual HRESULT Copy(IPXM* source, int option) = 0;                       // 8
  virtual HRESULT Equal(int value) = 0;                                      // 9
};

struct IPXMImageDIB : IPXMImage {
  virtual HRESULT Load(IString* path) = 0;                                       // 10
  virtual HRESULT GetDIB(uint8_t** dib, uint32_t* size) = 0;                     // 11
  virtual HRESULT CreateOnDIB(uint8_t* dib, uint8_t* bits, int ownership) = 0;   // 12
};

struct IPXMImageCANVAS : IPXMImage {
  virtual HRESULT get_CANVAS(CGContext** context) = 0;                           // 10
  virtual HRESULT get_TransparentColor(int* color) = 0;                          // 11
  virtual HRESULT put_TransparentColor(int color) = 0;                           // 12
  virtual HRESULT CreateOnCANVAS(CGContext* context, int width, int height) = 0; // 13
};

struct IPXMImageRender : IUnknown {
  virtual HRESULT Render(CGContext* context, CANVASRect* destination, CANVASRect* source) = 0;  // 3
};

struct IRenderableObject : IUnknown {
  virtual HRESULT Render(CGContext* context, CANVASRect* destination, IUnknown* unused, int flags) = 0;  // 3
};

struct IPXMImagePalette : IUnknown {
  virtual HRESULT SetPalette(uint32_t* entries, uint32_t count, uint32_t reserved) = 0;  // 3
  virtual HRESULT GetPalette(uint32_t** entries, uint32_t* count) = 0;                   // 4
};

struct IDataPersist : IUnknown {
  virtual HRESULT Save(IDataStream* stream, int option) = 0;  // 3
  virtual HRESULT Load(IDataStream* stream, int option) = 0;  // 4
};
