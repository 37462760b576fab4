#include "PXMImageCANVAS/PXMImageCANVAS.h"

#include <CoreGraphics/CoreGraphics.h>

#include <cstdlib>

#include "PXM/Trace.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

template <>
const tagREFString IObjectInfoImpl<CPXMImageCANVAS>::m_ObjectName = {14, L"PXMImageCANVAS"};

const InterfaceEntry<CPXMImageCANVAS> CPXMImageCANVAS::kInterfaceMap[7] = {
    {&IID_IObjectInfo, InterfaceOf<CPXMImageCANVAS, IObjectInfo>},
    {&IID_IPXM, InterfaceOf<CPXMImageCANVAS, IPXMImageCANVAS>},
    {&IID_IPXMImage, InterfaceOf<CPXMImageCANVAS, IPXMImageCANVAS>},
    {&IID_IPXMImageCANVAS, InterfaceOf<CPXMImageCANVAS, IPXMImageCANVAS>},
    {&IID_IPXMImageRender, InterfaceOf<CPXMImageCANVAS, IPXMImageRender>},
    {&IID_IRenderableObject, InterfaceOf<CPXMImageCANVAS, IRenderableObject>},
    {&IID_IDataPersist, InterfaceOf<CPXMImageCANVAS, IDataPersist>},
};

namespace {

// Zeroed pixel buffers. Large ones are mapped directly, in whole huge pages aligned to their
// size: fresh pages are zero without a pass over them, and advised to be huge before the first
// touch, a page fault every 2 MiB instead of every 4 KiB while the pixels are first written.
#if defined(__linux__)
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t MappedLength(size_t size) { return (size + kHugePage - 1) & ~(kHugePage - 1); }
#endif

uint8_t* AllocateZeroed(size_t size) {
#if defined(__linux__)
  if (size >= kHugePage) {
    // Mapped a huge page longer, then trimmed to an aligned start and whole huge pages.
    const size_t length = MappedLength(size);
    void* mapped = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kHugePage - 1) & ~uintptr_t{kHugePage - 1};
    if (aligned > start) munmap(mapped, aligned - start);
    munmap(reinterpret_cast<void*>(aligned + length), kHugePage - (aligned - start));
    uint8_t* buffer = reinterpret_cast<uint8_t*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(buffer, length, MADV_HUGEPAGE);  // advice only: the buffer is good either way
#endif
    return buffer;
  }
#endif
  return static_cast<uint8_t*>(std::calloc(size, 1));
}

void FreeBuffer(uint8_t* buffer, size_t size) {
#if defined(__linux__)
  if (size >= kHugePage) {
    munmap(buffer, MappedLength(size));
    return;
  }
#endif
  std::free(buffer);
}

}  // namespace

CPXMImageCANVAS::~CPXMImageCANVAS() { DestroyPixels(); }

HRESULT CPXMImageCANVAS::Lock() { return m_Lock.Lock(); }
HRESULT CPXMImageCANVAS::Unlock() { return m_Lock.Unlock(); }

uint8_t* CPXMImageCANVAS::DestroyPixels(size_t* keptSize) {
  // Error-checking lock: taken again by this thread it fails at once, and the release goes on;
  // only a Lock that succeeded is undone.
  const bool locked = Lock() == 0;
  if (m_Context) CGContextRelease(m_Context);
  uint8_t* kept = nullptr;
  if (keptSize) {
    kept = m_Buffer;
    *keptSize = m_BufferSize;
  } else if (m_Buffer) {
    FreeBuffer(m_Buffer, m_BufferSize);
  }
  m_Buffer = nullptr;
  m_BufferSize = 0;
  m_Context = nullptr;
  m_BitsPerPixel = 0;
  m_Width = 0;
  m_Height = 0;
  m_FOURCC = 0;
  if (locked) Unlock();
  return kept;
}

HRESULT CPXMImageCANVAS::Create(uint32_t width, uint32_t height, uint32_t /*planes*/, uint32_t bitsPerPixel,
                                uint32_t fourcc) {
  return Recreate(width, height, bitsPerPixel, fourcc, true);
}

HRESULT CPXMImageCANVAS::Recreate(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t fourcc,
                                  bool zeroed) {
  const uint64_t area = uint64_t{width} * height;
  // The same request again keeps the pixels; a canvas whose buffer could not be had tries again.
  if (m_BitsPerPixel == bitsPerPixel && m_Width == width && m_Height == height && m_FOURCC == fourcc &&
      (m_Buffer || area == 0))
    return PXM_S_OK;

  size_t keptSize = 0;
  uint8_t* kept = DestroyPixels(zeroed ? nullptr : &keptSize);
  m_BitsPerPixel = bitsPerPixel;
  m_Width = width;
  m_Height = height;

  // 8-bit "MONO" is one grey byte a pixel, without alpha; everything else is red, green, blue and a
  // byte the context skips. The buffer's size and row length must fit what GetImage hands out.
  const bool grey = bitsPerPixel == 8 && fourcc == FOURCC_MONO;
  const uint32_t bytesPerPixel = grey ? 1 : 4;
  const uint64_t rowLength = uint64_t{width} * bytesPerPixel;
  const uint64_t size = area * bytesPerPixel;
  const bool fits = area != 0 && rowLength <= uint64_t{INT32_MAX} && size <= uint64_t{UINT32_MAX};
  if (kept && (!fits || keptSize != size)) {
    FreeBuffer(kept, keptSize);
    kept = nullptr;
  }
  if (!fits) return PXM_E_FAIL;
  m_Buffer = kept ? kept : AllocateZeroed(static_cast<size_t>(size));
  if (!m_Buffer) return PXM_E_OUTOFMEMORY;
  m_BufferSize = static_cast<size_t>(size);

  m_FOURCC = grey ? FOURCC_MONO : FOURCC_RGB;
  if (!grey && bitsPerPixel == 24) m_BitsPerPixel = 32;
  CGColorSpaceRef space = grey ? CGColorSpaceCreateDeviceGray() : CGColorSpaceCreateDeviceRGB();
  m_Context = CGBitmapContextCreate(m_Buffer, width, height, 8, static_cast<size_t>(rowLength), space,
                                    grey ? kCGImageAlphaNone : kCGImageAlphaNoneSkipLast);
  CGColorSpaceRelease(space);  // the context keeps its own reference
  // Without a context the canvas still holds its zeroed pixels; it cannot be drawn.
  if (!m_Context) _TRACE_(L"No Device Conteext Define");
  return PXM_S_OK;
}

HRESULT CPXMImageCANVAS::GetSize(uint32_t* width, uint32_t* height, uint32_t* planes) {
  if (width) *width = m_Width;
  if (height) *height = m_Height;
  if (planes) *planes = 1;
  return PXM_S_OK;
}

HRESULT CPXMImageCANVAS::GetPixelDescriptor(uint32_t* bitsPerPixel, uint32_t* fourcc, uint32_t* bytesPerPixel) {
  if (bitsPerPixel) *bitsPerPixel = m_BitsPerPixel;
  if (fourcc) *fourcc = m_FOURCC;
  if (bytesPerPixel) *bytesPerPixel = m_BitsPerPixel / 8;
  return PXM_S_OK;
}

HRESULT CPXMImageCANVAS::GetImage(uint32_t /*plane: always 0*/, uint32_t* size, uint8_t** data, int32_t* stride) {
  if (!size || !data || !stride) return PXM_E_POINTER;
  if (!m_Buffer) {
    *size = 0;
    *data = nullptr;
    *stride = 0;
    return PXM_S_OK;
  }
  // Row 0 is the last row of the buffer; walking the rows walks the buffer backwards.
  const uint32_t rowLength = m_Width * BytesPerPixel();
  *stride = -static_cast<int32_t>(rowLength);
  *data = m_Buffer + size_t{m_Height - 1} * rowLength;
  *size = m_Height * rowLength;
  return PXM_S_OK;
}

HRESULT CPXMImageCANVAS::IsCreatable(uint32_t bitsPerPixel, uint32_t fourcc) {
  return fourcc == FOURCC_MONO && bitsPerPixel > 8 ? PXM_E_NOTCREATABLE : PXM_S_OK;
}

HRESULT CPXMImageCANVAS::get_CANVAS(CGContext** context) {
  if (!context) return PXM_E_POINTER;
  *context = m_Context;  // lent: no reference is added
  return PXM_S_OK;
}

HRESULT CPXMImageCANVAS::CreateOnCANVAS(CGContext*, int, int) { return PXM_S_OK; }

HRESULT CPXMImageCANVAS::get_TransparentColor(int* color) {
  if (color) *color = m_TransparentColor;
  return PXM_S_OK;
}

HRESULT CPXMImageCANVAS::put_TransparentColor(int color) {
  m_TransparentColor = color;
  return PXM_S_OK;
}

HRESULT CPXMImageCANVAS::GetExtent(int* width, int* height) {
  if (width) *width = static_cast<int>(m_Width);
  if (height) *height = static_cast<int>(m_Height);
  return m_Width == 0 || m_Height == 0 ? PXM_E_FAIL : PXM_S_OK;
}

HRESULT CPXMImageCANVAS::Save(IDataStream* stream, int) {
  return SaveToDataStream(this, stream, &m_TransparentColor);
}
HRESULT CPXMImageCANVAS::Load(IDataStream* stream, int) {
  return LoadFromDataStream(this, stream, &m_TransparentColor);
}
