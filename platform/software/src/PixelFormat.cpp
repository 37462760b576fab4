#include "PixelFormat.h"

#include "ColorSpace.h"

namespace cg {
namespace {

constexpr CGBitmapInfo kKnownBits = kCGBitmapAlphaInfoMask | kCGBitmapByteOrderMask;

bool word32Format(CGImageAlphaInfo alphaInfo, CGBitmapInfo byteOrder, PixelFormat& format) {
  bool alphaFirst = false;
  switch (alphaInfo) {
    case kCGImageAlphaPremultipliedLast: format.alpha = AlphaKind::Premultiplied; break;
    case kCGImageAlphaPremultipliedFirst: format.alpha = AlphaKind::Premultiplied; alphaFirst = true; break;
    case kCGImageAlphaLast: format.alpha = AlphaKind::Straight; break;
    case kCGImageAlphaFirst: format.alpha = AlphaKind::Straight; alphaFirst = true; break;
    case kCGImageAlphaNoneSkipLast: format.alpha = AlphaKind::Opaque; break;
    case kCGImageAlphaNoneSkipFirst: format.alpha = AlphaKind::Opaque; alphaFirst = true; break;
    default: return false;
  }
  // Named in big-endian order, "first" at the lowest address; 32Little stores the value byte-reversed.
  const bool little = byteOrder == kCGBitmapByteOrder32Little;
  if (!little && byteOrder != kCGBitmapByteOrderDefault && byteOrder != kCGBitmapByteOrder32Big) return false;
  if (alphaFirst)
    format.order = little ? WordOrder::BGRA : WordOrder::ARGB;
  else
    format.order = little ? WordOrder::ABGR : WordOrder::RGBA;
  format.kind = PixelKind::Word32;
  format.bytesPerPixel = 4;
  return true;
}

}  // namespace

bool imageFormat(ColorModel model, size_t bitsPerComponent, size_t bitsPerPixel, CGBitmapInfo info,
                 PixelFormat& format) {
  if (info & ~kKnownBits) return false;
  const auto alphaInfo = static_cast<CGImageAlphaInfo>(info & kCGBitmapAlphaInfoMask);
  const CGBitmapInfo byteOrder = info & kCGBitmapByteOrderMask;
  PixelFormat f{};
  f.alpha = AlphaKind::Opaque;
  const bool plain8 = bitsPerComponent == 8 && bitsPerPixel == 8 && alphaInfo == kCGImageAlphaNone &&
                      byteOrder == kCGBitmapByteOrderDefault;
  switch (model) {
    case ColorModel::Grey:
      if (!plain8) return false;
      f.kind = PixelKind::Grey8;
      f.bytesPerPixel = 1;
      break;
    case ColorModel::Indexed:
      if (!plain8) return false;
      f.kind = PixelKind::Index8;
      f.bytesPerPixel = 1;
      break;
    case ColorModel::RGB:
      if (bitsPerComponent == 8 && bitsPerPixel == 32) {
        if (!word32Format(alphaInfo, byteOrder, f)) return false;
      } else if (bitsPerComponent == 8 && bitsPerPixel == 24 && alphaInfo == kCGImageAlphaNone &&
                 byteOrder == kCGBitmapByteOrderDefault) {
        f.kind = PixelKind::Rgb24;
        f.bytesPerPixel = 3;
      } else if (bitsPerComponent == 5 && bitsPerPixel == 16 && byteOrder == kCGBitmapByteOrder16Little &&
                 alphaInfo == kCGImageAlphaNoneSkipFirst) {
        // The one 16-bit layout documented for images: 5-5-5 with the top bit skipped, little-endian.
        f.kind = PixelKind::Rgb555;
        f.bytesPerPixel = 2;
      } else {
        return false;
      }
      break;
  }
  format = f;
  return true;
}

bool contextFormat(ColorModel model, size_t bitsPerComponent, CGBitmapInfo info, PixelFormat& format,
                   size_t& bitsPerPixel) {
  const size_t bpp = model == ColorModel::RGB ? 32 : 8;
  PixelFormat f;
  if (model == ColorModel::Indexed || !imageFormat(model, bitsPerComponent, bpp, info, f)) return false;
  // Contexts keep their colours premultiplied, or have no alpha at all.
  if (f.alpha == AlphaKind::Straight) return false;
  format = f;
  bitsPerPixel = bpp;
  return true;
}

}  // namespace cg
