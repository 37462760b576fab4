#include "Image.h"

#include <cmath>
#include <new>

#include "Pixel.h"

namespace {

// Decode arrays other than the identity would remap samples; this library does not.
bool identityDecode(const CGFloat* decode, const CGColorSpace& space) {
  if (!decode) return true;
  const CGFloat top = space.model == cg::ColorModel::Indexed ? 255 : 1;
  for (size_t i = 0; i < cg::componentCount(space.model); ++i)
    if (decode[2 * i] != 0 || decode[2 * i + 1] != top) return false;
  return true;
}

// A new image over the same pixels, with its own references to what they need.
CGImage* copyImage(const CGImage& from) {
  CGImage* image = new (std::nothrow) CGImage;
  if (!image) return nullptr;
  image->provider = cg::retain(from.provider);
  image->space = cg::retain(from.space);
  image->pixels = from.pixels;
  image->width = from.width;
  image->height = from.height;
  image->bitsPerComponent = from.bitsPerComponent;
  image->bitsPerPixel = from.bitsPerPixel;
  image->bytesPerRow = from.bytesPerRow;
  image->bitmapInfo = from.bitmapInfo;
  image->format = from.format;
  image->masked = from.masked;
  image->mask = from.mask;
  return image;
}

// A masking bound, a sample value (a whole number from 0 to the largest sample of the image's
// components), as the 8-bit value its samples are drawn in. Widening 5-bit samples keeps their
// order, so comparing widened samples with widened bounds is comparing the samples.
bool maskBound(CGFloat sample, size_t bitsPerComponent, uint8_t& bound) {
  const CGFloat largest = CGFloat((1u << bitsPerComponent) - 1);
  if (!(sample >= 0 && sample <= largest) || sample != std::floor(sample)) return false;
  const uint32_t value = static_cast<uint32_t>(sample);
  bound = static_cast<uint8_t>(bitsPerComponent == 5 ? cg::widen5(value) : value);
  return true;
}

}  // namespace

CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel, size_t bytesPerRow,
                         CGColorSpaceRef space, CGBitmapInfo bitmapInfo, CGDataProviderRef provider,
                         const CGFloat* decode, bool, CGColorRenderingIntent) {
  if (!space || !provider || width == 0 || height == 0 || width > cg::kMaxDimension || height > cg::kMaxDimension)
    return nullptr;
  cg::PixelFormat format;
  if (!cg::imageFormat(space->model, bitsPerComponent, bitsPerPixel, bitmapInfo, format)) return nullptr;
  if (!identityDecode(decode, *space)) return nullptr;
  // The last row need only hold its pixels, not the padding after them.
  const size_t rowBytes = width * format.bytesPerPixel;
  size_t needed;
  if (bytesPerRow < rowBytes || __builtin_mul_overflow(height - 1, bytesPerRow, &needed) ||
      __builtin_add_overflow(needed, rowBytes, &needed) || needed > provider->size)
    return nullptr;
  CGImage* image = new (std::nothrow) CGImage;
  if (!image) return nullptr;
  image->provider = cg::retain(provider);
  image->space = cg::retain(space);
  image->pixels = provider->data;
  image->width = width;
  image->height = height;
  image->bitsPerComponent = bitsPerComponent;
  image->bitsPerPixel = bitsPerPixel;
  image->bytesPerRow = bytesPerRow;
  image->bitmapInfo = bitmapInfo;
  image->format = format;
  return image;
}

CGImageRef CGImageCreateWithImageInRect(CGImageRef image, CGRect rect) {
  if (!image || std::isnan(rect.origin.x) || std::isnan(rect.origin.y) || std::isnan(rect.size.width) ||
      std::isnan(rect.size.height) || CGRectIsEmpty(rect))
    return nullptr;
  const CGRect bounds = CGRectMake(0, 0, CGFloat(image->width), CGFloat(image->height));
  const CGRect r = CGRectIntersection(CGRectIntegral(rect), bounds);
  if (CGRectIsEmpty(r)) return nullptr;
  CGImage* sub = copyImage(*image);
  if (!sub) return nullptr;
  const size_t x = size_t(r.origin.x), y = size_t(r.origin.y);
  sub->pixels += y * image->bytesPerRow + x * image->format.bytesPerPixel;
  sub->width = size_t(r.size.width);
  sub->height = size_t(r.size.height);
  return sub;
}

CGImageRef CGImageCreateWithMaskingColors(CGImageRef image, const CGFloat* components) {
  if (!image || !components || image->masked || image->format.alpha != cg::AlphaKind::Opaque) return nullptr;
  const bool rgb = cg::componentCount(image->space->model) == 3;
  cg::ColorMask mask;
  for (size_t c = 0; c < 3; ++c) {
    const size_t pair = rgb ? c : 0;
    if (!maskBound(components[2 * pair], image->bitsPerComponent, mask.low[c]) ||
        !maskBound(components[2 * pair + 1], image->bitsPerComponent, mask.high[c]))
      return nullptr;
  }
  CGImage* masked = copyImage(*image);
  if (!masked) return nullptr;
  masked->masked = true;
  masked->mask = mask;
  return masked;
}

CGImageRef CGImageRetain(CGImageRef image) { return cg::retain(image); }

void CGImageRelease(CGImageRef image) { cg::release(image); }

size_t CGImageGetWidth(CGImageRef image) { return image ? image->width : 0; }
size_t CGImageGetHeight(CGImageRef image) { return image ? image->height : 0; }
size_t CGImageGetBitsPerComponent(CGImageRef image) { return image ? image->bitsPerComponent : 0; }
size_t CGImageGetBitsPerPixel(CGImageRef image) { return image ? image->bitsPerPixel : 0; }
size_t CGImageGetBytesPerRow(CGImageRef image) { return image ? image->bytesPerRow : 0; }
CGBitmapInfo CGImageGetBitmapInfo(CGImageRef image) { return image ? image->bitmapInfo : 0; }
CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image) {
  return image ? static_cast<CGImageAlphaInfo>(image->bitmapInfo & kCGBitmapAlphaInfoMask) : kCGImageAlphaNone;
}
CGColorSpaceRef CGImageGetColorSpace(CGImageRef image) { return image ? image->space : nullptr; }
