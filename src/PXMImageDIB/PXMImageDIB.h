// CPXMImageDIB: a device-independent bitmap held in one block laid out like a bitmap file
// without its file header: information header, palette area, rows stored bottom-up and padded
// to 4 bytes. The object allocates the block, or is lent or given one by its caller.
//
// The palette area holds entries in the block's own form: 4-byte blue, green, red, 0 after an
// information header (and in every block we make), 3-byte blue, green, red after the core header.
// GetPalette always hands out 4-byte entries, the form SetPalette reads, so a palette read with
// one and written with the other keeps its colours; for a core header it hands out a copy.
#pragma once
#include <atomic>
#include <cstdlib>

#include "PXM/Object.h"
#include "PXM/ResourceLock.h"
#include "PXMImage/ImageBlock.h"
#include "PXMImage/PXMImageImpl.h"
#include "PXMImageDIB/DibHeader.h"

class CPXMImageDIB final : public CObject<CPXMImageDIB>,
                           public IObjectInfoImpl<CPXMImageDIB>,
                           public IPXMImageImpl<CPXMImageDIB, IPXMImageDIB>,
                           public IPXMImageRender,
                           public IRenderableObject,
                           public IPXMImagePalette,
                           public IDataPersist {
 public:
  static const InterfaceEntry<CPXMImageDIB> kInterfaceMap[8];
  PXM_IMPLEMENT_IUNKNOWN()

  CPXMImageDIB() = default;
  ~CPXMImageDIB();

  HRESULT FinalRelease() override;
  HRESULT Lock() override;
  HRESULT Unlock() override;

  // IPXMImageDIB
  HRESULT Load(IString* path) override;
  HRESULT GetDIB(uint8_t** dib, uint32_t* size) override;
  HRESULT CreateOnDIB(uint8_t* dib, uint8_t* bits, int ownership) override;
  HRESULT GetSize(uint32_t* width, uint32_t* height, uint32_t* planes) override;
  HRESULT GetPixelDescriptor(uint32_t* bitsPerPixel, uint32_t* fourcc, uint32_t* bytesPerPixel) override;
  HRESULT GetImage(uint32_t plane, uint32_t* size, uint8_t** data, int32_t* stride) override;
  HRESULT Copy(IPXM* source, int alphaOption) override;
  HRESULT Create(uint32_t width, uint32_t height, uint32_t planes, uint32_t bitsPerPixel, uint32_t fourcc) override;
  HRESULT Create(uint32_t width, uint32_t height, uint32_t planes, uint32_t bitsPerPixel, uint32_t fourcc,
                 uint32_t* palette);
  HRESULT IsCreatable(uint32_t bitsPerPixel, uint32_t fourcc) override;

  // IPXMImagePalette
  HRESULT SetPalette(uint32_t* entries, uint32_t count, uint32_t reserved) override;
  HRESULT GetPalette(uint32_t** entries, uint32_t* count) override;

  // IPXMImageRender, IRenderableObject
  HRESULT Render(CGContext* context, CANVASRect* destination, CANVASRect* source) override;
  HRESULT Render(CGContext* context, CANVASRect* destination, IUnknown* unused, int flags) override;
  HRESULT GetExtent(int* width, int* height);

  // IDataPersist
  using IPXMImageImpl::Load;
  using IPXMImageImpl::Save;
  HRESULT Save(IDataStream* stream, int option) override;
  HRESULT Load(IDataStream* stream, int option) override;

 private:
  // The rows' block as Core Graphics images drawn from it share it (DibRender.cpp): one
  // reference for the image while it holds the block, one for each data provider over its rows.
  // The last reference frees an owned block, so rows outlive a new block while a provider reads
  // them; a lent block (block null here) stays its lender's to keep alive.
  struct SharedRows {
    std::atomic<uint32_t> references{1};
    uint8_t* block;
    CPXMImageDIB* image;
    void Release() {
      if (references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
      FreeImageBlock(block);
      delete this;
    }
  };
  friend void ReleasePXMImageDIB(void* info, const void* data, size_t size);

  // Frees an owned block (unless it is `keep`), or leaves it to the providers still reading it,
  // and empties every field but m_OwnsDIB.
  void ReleaseBlock(const uint8_t* keep = nullptr);
  // The current block's shared rows, made on first use; null without memory.
  SharedRows* ShareRows();

  CResourceLock m_Lock;
  uint8_t* m_pDIB = nullptr;
  uint32_t m_BitsPerPixel = 0;
  uint32_t m_Width = 0;
  uint32_t m_Height = 0;
  uint32_t m_PaletteSize = 0;
  uint32_t m_PaletteCount = 0;
  uint32_t m_FOURCC = 0;
  uint8_t* m_pBits = nullptr;
  uint16_t m_OwnsDIB = 0;
  uint32_t m_HeaderSize = 0;         // where the palette area starts
  uint32_t m_PaletteEntrySize = 0;   // 4, or 3 after a core header
  // The 4-byte form GetPalette hands out for a core header, kMaxPaletteEntries entries made on
  // first use: most objects never need it, and creating one stays cheap.
  uint32_t* m_CorePalette = nullptr;
  SharedRows* m_SharedRows = nullptr;  // once a render has shared the block
};

template <>
const tagREFString IObjectInfoImpl<CPXMImageDIB>::m_ObjectName;
