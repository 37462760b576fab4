// Helpers for the Core Graphics tests: owning references, images over exact-size memory, guarded canvases.
#pragma once

#include <CoreGraphics/CoreGraphics.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

template <class T, void (*Release)(T*)>
using Ref = std::unique_ptr<T, std::integral_constant<decltype(Release), Release>>;
using SpaceRef = Ref<CGColorSpace, CGColorSpaceRelease>;
using ProviderRef = Ref<CGDataProvider, CGDataProviderRelease>;
using ImageRef = Ref<CGImage, CGImageRelease>;
using ContextRef = Ref<CGContext, CGContextRelease>;
using Bytes = std::vector<uint8_t>;

inline SpaceRef rgbSpace() { return SpaceRef(CGColorSpaceCreateDeviceRGB()); }
inline SpaceRef greySpace() { return SpaceRef(CGColorSpaceCreateDeviceGray()); }

// A provider over a heap copy of exactly these bytes, freed by its callback: a read past them trips AddressSanitizer.
inline ProviderRef exactProvider(const Bytes& bytes) {
  void* copy = std::memcpy(std::malloc(bytes.size()), bytes.data(), bytes.size());
  return ProviderRef(CGDataProviderCreateWithData(nullptr, copy, bytes.size(), [](void*, const void* data, size_t) { std::free(const_cast<void*>(data)); }));
}
inline ImageRef makeImage(const Bytes& bytes, size_t width, size_t height, size_t bpc, size_t bpp, size_t bytesPerRow, CGColorSpaceRef space,
                          CGBitmapInfo info, const CGFloat* decode = nullptr) {
  return ImageRef(CGImageCreate(width, height, bpc, bpp, bytesPerRow, space, info, exactProvider(bytes).get(), decode, false, 0));
}

// A bitmap context over caller memory with guard bytes before and after it and in each row's padding.
struct Canvas {
  static constexpr size_t kGuard = 64, kPadding = 3, kGuardByte = 0xA5;
  size_t width, height, pixelBytes, bytesPerRow;
  Bytes memory;
  ContextRef context;

  Canvas(size_t w, size_t h, CGColorSpaceRef space, CGBitmapInfo info, uint8_t fill = 0)
      : width(w), height(h), pixelBytes(CGColorSpaceGetNumberOfComponents(space) == 3 ? 4 : 1),
        bytesPerRow(w * pixelBytes + kPadding), memory(2 * kGuard + h * bytesPerRow, kGuardByte) {
    for (size_t r = 0; r < h; ++r) std::memset(row(r), fill, w * pixelBytes);
    context.reset(CGBitmapContextCreate(memory.data() + kGuard, w, h, 8, bytesPerRow, space, info));
  }
  CGContextRef get() const { return context.get(); }
  uint8_t* row(size_t r) { return memory.data() + kGuard + r * bytesPerRow; }
  Bytes bytes(size_t x, size_t r, size_t n = 1) { return {row(r) + x * pixelBytes, row(r) + (x + n) * pixelBytes}; }  // n pixels
};
