#include "FuzzHost.h"

#include <dlfcn.h>

#include <CoreGraphics/CoreGraphics.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Sums what was read, so that no read is optimised away.
volatile uint32_t g_Sink;

void Touch(const uint8_t* bytes, uint64_t count) {
  uint32_t sum = 0;
  for (uint64_t i = 0; i < count; ++i) sum += bytes[i];
  g_Sink = g_Sink + sum;
}

template <class F>
F Symbol(void* module, const char* name) {
  F f = module ? reinterpret_cast<F>(dlsym(module, name)) : nullptr;
  if (!f) {
    std::fprintf(stderr, "host module lacks %s\n", name);
    std::abort();
  }
  return f;
}

}  // namespace

const HostApi& HostApi::Get() {
  static const HostApi api = [] {
    void* module = dlopen(ModulePath("DuvirovurozAd").c_str(), RTLD_NOW | RTLD_LOCAL);
    return HostApi{Symbol<DuvirovurozAdCreateDataStreamFunction>(module, "DuvirovurozAdCreateDataStream"),
                   Symbol<DuvirovurozAdStreamToBytesFunction>(module, "DuvirovurozAdStreamToBytes"),
                   Symbol<DuvirovurozAdFreeBytesFunction>(module, "DuvirovurozAdFreeBytes"),
                   Symbol<DuvirovurozAdStreamFromBytesFunction>(module, "DuvirovurozAdStreamFromBytes")};
  }();
  return api;
}

ComPtr<IPXMImage> NewImage(const wchar_t* className) {
  return ModuleHost::Get().Create<IPXMImage>(className, pxm::iid::IPXMImage);
}

void ReadEverything(IPXMImage* image) {
  uint32_t width = 0, height = 0, planes = 0, bits = 0, fourcc = 0, bytesPerPixel = 0;
  if (PXM_FAILED(image->GetSize(&width, &height, &planes)) ||
      PXM_FAILED(image->GetPixelDescriptor(&bits, &fourcc, &bytesPerPixel)))
    return;
  const uint64_t rowBytes = (uint64_t{width} * bits + 7) / 8;
  if (rowBytes == 0) return;  // nothing to read in any row, however many rows there are
  for (uint32_t plane = 0; plane < planes; ++plane) {
    uint32_t size = 0;
    uint8_t* data = nullptr;
    int32_t stride = 0;
    if (PXM_FAILED(image->GetImage(plane, &size, &data, &stride)) || !data) continue;
    for (uint32_t y = 0; y < height; ++y) Touch(data + int64_t{y} * stride, rowBytes);
  }
  ComPtr<IPXMImage> self(image);
  image->AddRef();
  if (auto palette = self.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette)) {
    uint32_t* entries = nullptr;
    uint32_t count = 0;
    if (PXM_SUCCEEDED(palette->GetPalette(&entries, &count)) && entries)
      Touch(reinterpret_cast<const uint8_t*>(entries), uint64_t{count} * 4);
  }
  if (auto dib = self.As<IPXMImageDIB>(pxm::iid::IPXMImageDIB)) {
    uint8_t* block = nullptr;
    uint32_t size = 0;
    if (PXM_SUCCEEDED(dib->GetDIB(&block, &size)) && block) Touch(block, size);
  }
}

void Render(IPXMImage* image) {
  constexpr int kSide = 24;
  CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  CGContextRef context =
      CGBitmapContextCreate(nullptr, kSide, kSide, 8, 0, space, kCGImageAlphaPremultipliedLast);
  CGColorSpaceRelease(space);
  if (!context) return;
  ComPtr<IPXMImage> canvas = NewImage(L"PXMImageCANVAS");
  CGContext* canvasContext = nullptr;
  auto canvasImage = canvas.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS);
  if (canvasImage && PXM_SUCCEEDED(canvasImage->Create(kSide, kSide, 1, 32, FOURCC_ARGB)))
    canvasImage->get_CANVAS(&canvasContext);

  ComPtr<IPXMImage> self(image);
  image->AddRef();
  CANVASRect destination{2, 3, kSide - 5, kSide - 2};
  CANVASRect source{1, 0, 7, 5};
  for (CGContext* target : {static_cast<CGContext*>(context), canvasContext}) {
    if (!target) continue;
    if (auto render = self.As<IPXMImageRender>(pxm::iid::IPXMImageRender)) {
      render->Render(target, &destination, nullptr);
      render->Render(target, &destination, &source);
    }
    if (auto renderable = self.As<IRenderableObject>(pxm::iid::IRenderableObject)) {
      renderable->Render(target, &destination, nullptr, 0);
      renderable->Render(target, &destination, nullptr, FitToRect);
    }
  }
  CGContextRelease(context);
}

void LoadIntoEachClass(IDataStream* stream) {
  for (const wchar_t* className : kClassNames) {
    ComPtr<IPXMImage> image = NewImage(className);
    auto persist = image.As<IDataPersist>(pxm::iid::IDataPersist);
    if (!persist || PXM_FAILED(persist->Load(stream, 1))) continue;
    ReadEverything(image.Get());
    Render(image.Get());
  }
}

void Exercise(IPXMImage* image, int depth) {
  ReadEverything(image);
  Render(image);
  if (depth > 0) return;

  for (const wchar_t* className : kClassNames) {
    ComPtr<IPXMImage> copy = NewImage(className);
    if (!copy || PXM_FAILED(copy->Copy(image, 0))) continue;
    Exercise(copy.Get(), depth + 1);
    copy->Equal(0x5A);
    ReadEverything(copy.Get());
  }

  const HostApi& host = HostApi::Get();
  ComPtr<IDataStream> stream;
  ComPtr<IPXMImage> self(image);
  image->AddRef();
  auto persist = self.As<IDataPersist>(pxm::iid::IDataPersist);
  if (!persist || PXM_FAILED(host.createDataStream(reinterpret_cast<IDataStream**>(stream.Out()))) ||
      PXM_FAILED(persist->Save(stream.Get(), 0)))
    return;
  uint8_t* bytes = nullptr;
  size_t size = 0;
  if (PXM_FAILED(host.streamToBytes(stream.Get(), &bytes, &size))) return;
  ComPtr<IDataStream> copy;
  if (PXM_SUCCEEDED(host.streamFromBytes(bytes, size, reinterpret_cast<IDataStream**>(copy.Out()))))
    LoadIntoEachClass(copy.Get());
  host.freeBytes(bytes);
}
