// What the fuzz targets share: the module and the host module loaded by path as a host loads
// them, a host string of our own, and the walk every image made from untrusted bytes takes:
// everything it tells about itself is read in full, it is copied into each class, drawn,
// filled, and saved into a memory stream that is read back into each class.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ModuleHost.h"
#include "duvirovurozad/DuvirovurozAd.h"
#include "pxm/PXM.h"

// A host string over text that outlives it; lives on the caller's stack, references not counted.
class FixedString final : public IString {
 public:
  FixedString(const wchar_t* text, uint32_t length) : m_Text(text), m_Length(length) {}
  HRESULT QueryInterface(const IID&, void** out) override {
    if (out) *out = nullptr;
    return PXM_E_NOINTERFACE;
  }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  HRESULT GetText(const wchar_t** text, uint32_t* length) override {
    *text = m_Text;
    *length = m_Length;
    return PXM_S_OK;
  }

 private:
  const wchar_t* m_Text;
  uint32_t m_Length;
};

// The host module's C API.
struct HostApi {
  DuvirovurozAdCreateDataStreamFunction createDataStream;
  DuvirovurozAdStreamToBytesFunction streamToBytes;
  DuvirovurozAdFreeBytesFunction freeBytes;
  DuvirovurozAdStreamFromBytesFunction streamFromBytes;
  static const HostApi& Get();
};

// The three classes, by name.
inline constexpr const wchar_t* kClassNames[] = {L"PXMImage", L"PXMImageDIB", L"PXMImageCANVAS"};
ComPtr<IPXMImage> NewImage(const wchar_t* className);

// Reads every row of every plane, the palette and the DIB block the image hands out.
void ReadEverything(IPXMImage* image);
// Draws the image through both render interfaces into a bitmap context and into a canvas.
void Render(IPXMImage* image);
// The whole walk described above; `depth` 0 also copies into each class and round-trips.
void Exercise(IPXMImage* image, int depth = 0);
// The stream's bytes read back into a new image of each class, each then read and drawn.
void LoadIntoEachClass(IDataStream* stream);
