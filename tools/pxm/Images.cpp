#include "Images.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BitmapFile.h"
#include "HostStreams.h"
#include "Png.h"
#include "Results.h"

int Report(const Failure& failure) {
  if (failure.withResult)
    std::fprintf(stderr, "pxm: %s failed: %s\n", failure.what.c_str(), DescribeResult(failure.result).c_str());
  else
    std::fprintf(stderr, "pxm: %s\n", failure.what.c_str());
  return 1;
}

namespace {

std::wstring Widen(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  const size_t n = std::mbstowcs(wide.data(), text.c_str(), wide.size());
  if (n == static_cast<size_t>(-1)) return std::wstring(text.begin(), text.end());
  wide.resize(n);
  return wide;
}

bool EndsWith(const std::string& text, const char* suffix) {
  const std::string s(suffix);
  return text.size() >= s.size() && text.compare(text.size() - s.size(), s.size(), s) == 0;
}

// Bitmap files hold blue, green, red; the module's colour DIBs hold red, green, blue once loaded.
// The host's transform swaps the two orders in place, and a second call swaps them back.
void ApplyTransform(const ModuleSet& modules, IPXMImage* image) {
  ComPtr<IComponentCollection> collection;
  modules.Collection(collection.Out());
  ComPtr<IPXMTransform> transform;
  if (collection) collection->GetComponent(12, L"PXMTransform", &pxm::iid::IPXMTransform, transform.Out());
  if (transform) transform->Apply(image);
}

bool WriteBitmap(const ModuleSet& modules, IPXMImage* image, const std::string& path, Failure* failure) {
  ComPtr<IPXMImageDIB> dib;
  image->QueryInterface(pxm::iid::IPXMImageDIB, dib.Out());
  if (!dib) {
    *failure = {"a .bmp file holds a DIB image: convert with --to dib8, dib24 or dib32", 0, false};
    return false;
  }
  uint8_t* block = nullptr;
  uint32_t size = 0;
  dib->GetDIB(&block, &size);
  uint32_t paletteCount = 0;
  ComPtr<IPXMImagePalette> palette = dib.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette);
  if (palette) palette->GetPalette(nullptr, &paletteCount);
  const uint32_t headerSize = block ? (block[0] | block[1] << 8 | block[2] << 16 | uint32_t(block[3]) << 24) : 0;
  const uint32_t paletteBytes = paletteCount * (headerSize == 12 ? 3 : 4);
  const Description d = Describe(image);
  const bool swapped = d.fourcc != FOURCC_MONO && d.bitsPerPixel >= 24;
  if (swapped) ApplyTransform(modules, image);
  const std::string error = WriteBitmapFile(path, block, size, paletteBytes);
  if (swapped) ApplyTransform(modules, image);
  if (!error.empty()) {
    *failure = {error, 0, false};
    return false;
  }
  return true;
}

// A raster image has no drawing of its own: one plane is grey, three planes are red, green, blue.
bool WriteRasterPng(IPXMImage* image, const std::string& path, Failure* failure) {
  const Description d = Describe(image);
  if (d.planes == 0 || d.bitsPerPixel != 8) {
    *failure = {"only raster images of 8-bit planes can be drawn as pictures", 0, false};
    return false;
  }
  std::vector<uint8_t> pixels(size_t(d.width) * d.height * 4, 0);
  for (uint32_t p = 0; p < 3; ++p) {
    uint32_t size = 0;
    uint8_t* data = nullptr;
    int32_t stride = 0;
    if (PXM_FAILED(image->GetImage(d.planes == 3 ? p : 0, &size, &data, &stride))) continue;
    for (uint32_t y = 0; y < d.height; ++y)
      for (uint32_t x = 0; x < d.width; ++x) pixels[(size_t(y) * d.width + x) * 4 + p] = data[int64_t(y) * stride + x];
  }
  const std::string error = WritePng(path, d.width, d.height, pixels.data(), int64_t(d.width) * 4);
  if (!error.empty()) *failure = {error, 0, false};
  return error.empty();
}

bool WritePicture(const ModuleSet& modules, IPXMImage* image, const std::string& path, Failure* failure) {
  ComPtr<IRenderableObject> renderable;
  image->QueryInterface(pxm::iid::IRenderableObject, renderable.Out());
  if (!renderable) return WriteRasterPng(image, path, failure);
  const Description d = Describe(image);
  HRESULT hr = PXM_S_OK;
  ComPtr<IPXMImageCANVAS> target = MakeCanvas(modules, d.width, d.height, Rgb{255, 255, 255}, &hr);
  if (!target) {
    *failure = {"creating a canvas", hr};
    return false;
  }
  hr = RenderFlipped(target.Get(), image, CANVASRect{0, 0, int32_t(d.width), int32_t(d.height)}, nullptr, false);
  if (PXM_FAILED(hr)) {
    *failure = {"drawing the image", hr};
    return false;
  }
  const std::string error = WriteCanvasPng(target.Get(), path);
  if (!error.empty()) *failure = {error, 0, false};
  return error.empty();
}

}  // namespace

ComPtr<IPXMImageDIB> LoadBitmap(const ModuleSet& modules, const std::string& path, Failure* failure) {
  ComPtr<IPXMImageDIB> dib = modules.Create<IPXMImageDIB>(L"PXMImageDIB", pxm::iid::IPXMImageDIB);
  ComPtr<IString> name = modules.MakeString(Widen(path));
  if (!dib || !name) {
    *failure = {"creating a DIB image", PXM_E_FAIL};
    dib.Reset();
    return dib;
  }
  if (IsPngFile(path)) {
    PngPicture picture;
    const std::string error = ReadPng(path, &picture);
    uint8_t* block = error.empty() ? NewDibBlock(picture.width, picture.height, picture.alpha ? 32 : 24,
                                                 picture.pixels.data())
                                   : nullptr;
    const HRESULT hr = block ? dib->CreateOnDIB(block, nullptr, 1) : PXM_E_OUTOFMEMORY;
    if (PXM_FAILED(hr) || !error.empty()) {
      std::free(block);
      *failure = error.empty() ? Failure{"taking the pixels of " + path, hr} : Failure{error, 0, false};
      dib.Reset();
    }
    return dib;
  }
  const HRESULT hr = dib->Load(name.Get());
  if (PXM_FAILED(hr)) {
    *failure = {"loading " + path, hr};
    dib.Reset();
  }
  return dib;
}

Description Describe(IPXMImage* image) {
  Description d;
  image->GetSize(&d.width, &d.height, &d.planes);
  image->GetPixelDescriptor(&d.bitsPerPixel, &d.fourcc, nullptr);
  return d;
}

std::string FourccName(uint32_t fourcc) {
  if (fourcc == 0) return "0 (plain colour)";
  std::string name = "\"";
  for (int i = 0; i < 4; ++i) name += char(fourcc >> (8 * i));
  return name + "\"";
}

bool WriteImage(const ModuleSet& modules, IPXMImage* image, const std::string& path, Failure* failure) {
  if (EndsWith(path, ".png")) return WritePicture(modules, image, path, failure);
  if (EndsWith(path, ".bmp")) return WriteBitmap(modules, image, path, failure);
  return SaveStreamFile(modules, image, path, failure);
}
