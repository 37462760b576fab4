// What the fuzz targets share: the module and the host module loaded by path as a host loads
// them, and the walk every image made from untrusted bytes takes:
// everything it tells about itself is read in full, it is copied into each class, drawn,
// filled, and saved into a memory stream that is read back into each class.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ModuleHost.h"
#include "PathString.h"
#include "duvirovurozad/DuvirovurozAd.h"
#include "pxm/PXM.h"

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
