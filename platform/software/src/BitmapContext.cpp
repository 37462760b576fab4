#include <CoreGraphics/CGBitmapContext.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "Context.h"

namespace {

void freePixels(void*, const void* data, size_t) { std::free(const_cast<void*>(data)); }

// A snapshot's copy of a large bitmap is advised to use huge pages before the copy touches it: the
// first touch of fresh memory costs far more than copying into it. Below two huge pages the advice
// cannot cover a whole aligned huge page worth having.
void adviseHugePages([[maybe_unused]] void* data, [[maybe_unused]] size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (size < (size_t{4} << 20)) return;
  // madvise wants whole pages: the page-aligned interior of the allocation.
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(page - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

}  // namespace

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, uint32_t bitmapInfo) {
  if (!space || width == 0 || height == 0 || width > cg::kMaxDimension || height > cg::kMaxDimension) return nullptr;
  cg::PixelFormat format;
  size_t bitsPerPixel;
  if (!cg::contextFormat(space->model, bitsPerComponent, bitmapInfo, format, bitsPerPixel)) return nullptr;
  const size_t rowBytes = width * format.bytesPerPixel;
  if (bytesPerRow == 0) bytesPerRow = rowBytes;
  size_t total;
  if (bytesPerRow < rowBytes || __builtin_mul_overflow(height, bytesPerRow, &total)) return nullptr;
  CGContext* context = new (std::nothrow) CGContext;
  if (!context) return nullptr;
  if (!data) {
    data = std::calloc(height, bytesPerRow);
    if (!data) {
      delete context;
      return nullptr;
    }
    context->ownsData = true;
  }
  context->data = static_cast<uint8_t*>(data);
  context->width = width;
  context->height = height;
  context->bytesPerRow = bytesPerRow;
  context->bitsPerComponent = bitsPerComponent;
  context->bitsPerPixel = bitsPerPixel;
  context->bitmapInfo = bitmapInfo;
  context->space = cg::retain(space);
  context->format = format;
  return context;
}

void* CGBitmapContextGetData(CGContextRef context) { return context ? context->data : nullptr; }
size_t CGBitmapContextGetWidth(CGContextRef context) { return context ? context->width : 0; }
size_t CGBitmapContextGetHeight(CGContextRef context) { return context ? context->height : 0; }
size_t CGBitmapContextGetBytesPerRow(CGContextRef context) { return context ? context->bytesPerRow : 0; }
size_t CGBitmapContextGetBitsPerComponent(CGContextRef context) { return context ? context->bitsPerComponent : 0; }
size_t CGBitmapContextGetBitsPerPixel(CGContextRef context) { return context ? context->bitsPerPixel : 0; }
CGBitmapInfo CGBitmapContextGetBitmapInfo(CGContextRef context) { return context ? context->bitmapInfo : 0; }

CGImageRef CGBitmapContextCreateImage(CGContextRef context) {
  if (!context) return nullptr;
  // Up to the end of the last row's pixels: a caller's buffer need not extend past them.
  const size_t size = (context->height - 1) * context->bytesPerRow + context->width * context->format.bytesPerPixel;
  void* pixels = std::malloc(size);
  if (!pixels) return nullptr;
  adviseHugePages(pixels, size);
  std::memcpy(pixels, context->data, size);
  CGDataProviderRef provider = CGDataProviderCreateWithData(nullptr, pixels, size, freePixels);
  if (!provider) {
    std::free(pixels);
    return nullptr;
  }
  CGImageRef image = CGImageCreate(context->width, context->height, context->bitsPerComponent, context->bitsPerPixel,
                                   context->bytesPerRow, context->space, context->bitmapInfo, provider, nullptr, false,
                                   kCGRenderingIntentDefault);
  CGDataProviderRelease(provider);  // the image keeps it; without an image this frees the copy
  return image;
}
