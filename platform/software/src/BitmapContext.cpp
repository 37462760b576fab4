#include <CoreGraphics/CGBitmapContext.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "Context.h"

namespace {

void freePixels(void*, const void* data, size_t) { std::free(const_cast<void*>(data)); }

// Below two huge pages a block is cheap to make afresh: neither huge-page advice nor a spare.
constexpr size_t kLargeSnapshot = size_t{4} << 20;

// A large snapshot's block starts on a huge page, spans whole ones and is advised to use them
// before the copy touches it: the first touch of fresh memory costs far more than copying into it,
// and huge pages cover only whole aligned 2 MiB ranges (the 4 KiB pages of one unaligned end of a
// plain malloc block cost as much as all its huge pages). Freed with free like any other.
void* largeBlock(size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr size_t kHugePage = size_t{2} << 20;
  if (size <= SIZE_MAX - kHugePage) {
    const size_t length = (size + kHugePage - 1) & ~(kHugePage - 1);
    void* block = std::aligned_alloc(kHugePage, length);
    if (block) madvise(block, length, MADV_HUGEPAGE);  // advice only: the block is good either way
    return block;
  }
#endif
  return std::malloc(size);
}

// A large snapshot's block goes back to its context's spare when the snapshot is released.
void keepPixels(void* info, const void* data, size_t size) {
  auto* blocks = static_cast<cg::SnapshotBlocks*>(info);
  blocks->give(const_cast<void*>(data), size);
  cg::release(blocks);
}

// The block for a snapshot of this size; info is the context's spare keeper (retained) when the
// block goes back to it on release, else null.
void* snapshotBlock(CGContext* context, size_t size, void** info) {
  *info = nullptr;
  if (size < kLargeSnapshot || !context->snapshots) return std::malloc(size);
  void* block = context->snapshots->take(size);
  if (!block) block = largeBlock(size);
  if (!block) return nullptr;
  *info = cg::retain(context->snapshots);
  return block;
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
  // Made with the context, so that snapshots taken from several threads at once share it safely.
  if (total >= kLargeSnapshot) context->snapshots = new (std::nothrow) cg::SnapshotBlocks;
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
  void* info;
  void* pixels = snapshotBlock(context, size, &info);
  if (!pixels) return nullptr;
  std::memcpy(pixels, context->data, size);
  CGDataProviderRef provider = CGDataProviderCreateWithData(info, pixels, size, info ? keepPixels : freePixels);
  if (!provider) {
    if (info)
      keepPixels(info, pixels, size);
    else
      std::free(pixels);
    return nullptr;
  }
  CGImageRef image = CGImageCreate(context->width, context->height, context->bitsPerComponent, context->bitsPerPixel,
                                   context->bytesPerRow, context->space, context->bitmapInfo, provider, nullptr, false,
                                   kCGRenderingIntentDefault);
  CGDataProviderRelease(provider);  // the image keeps it; without an image this frees the copy
  return image;
}
