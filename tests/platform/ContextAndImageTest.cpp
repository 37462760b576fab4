// Contexts and images through the public API: refusals, snapshots, sub-images, masking and the lifetimes of what images are made from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "CGTest.h"

// Typed as macOS types them: alpha info a named enumeration over uint32_t, the other options the integer itself with constants of an
// unnamed enumeration, so mixing the two needs a cast.
static_assert(std::is_enum_v<CGImageAlphaInfo> && std::is_same_v<std::underlying_type_t<CGImageAlphaInfo>, uint32_t> && std::is_same_v<CGBitmapInfo, uint32_t>);
static_assert(std::is_same_v<std::underlying_type_t<decltype(kCGBitmapByteOrder16Little)>, uint32_t> && !std::is_same_v<decltype(kCGBitmapByteOrder16Little), CGImageAlphaInfo>);
static_assert(kCGBitmapByteOrder32Little == 2 << 12);

// Transforms apply the newest step first; a rectangle's width is that of its standard form.
TEST(Geometry, TransformsComposeNewestFirst) {
  const CGPoint p = CGPointApplyAffineTransform(CGPointMake(3, 4), CGAffineTransformScale(CGAffineTransformMakeTranslation(10, 20), 2, -1));
  const CGAffineTransform c = CGAffineTransformConcat(CGAffineTransformMake(1, 2, 3, 4, 5, 6), CGAffineTransformMake(7, 8, 9, 10, 11, 12));
  EXPECT_EQ(std::vector<CGFloat>({p.x, p.y, c.a, c.b, c.c, c.d, c.tx, c.ty}), std::vector<CGFloat>({16, 16, 25, 28, 57, 64, 100, 112})) << "t1, then t2";
  EXPECT_TRUE(CGAffineTransformIsIdentity(CGAffineTransformMakeScale(1, 1)) && !CGAffineTransformIsIdentity(CGAffineTransformMakeTranslation(0, 5)) &&
              !CGAffineTransformIsIdentity(CGAffineTransformMakeScale(2, 1)) && CGBitmapContextGetWidth(nullptr) == 0 && CGRectGetWidth(CGRectMake(3, 0, -2, 1)) == 2);
}

// Refused: contexts ('C', over a buffer when the row length is given), images ('I', over `provided` bytes, else every row), indexed spaces of
// `width` entries ('X'), masking ranges ('M': red's for a grey or indexed image, else blue's) over the row's image; the drawing tests use the rest.
TEST(Refusals, ContextsImagesSpacesAndMasksRefuseWhatTheyCannotDraw) {
  static const unsigned char table[256 * 3] = {};
  SpaceRef rgb = rgbSpace(), grey = greySpace(), indexed(CGColorSpaceCreateIndexed(rgb.get(), 1, table));
  const CGColorSpaceRef spaces[] = {rgb.get(), grey.get(), indexed.get(), nullptr};
  enum { RGB, Grey, Indexed, None };
  const uint32_t first = kCGImageAlphaPremultipliedFirst, skipFirst = kCGImageAlphaNoneSkipFirst, little16 = kCGBitmapByteOrder16Little;
  const uint32_t rgb555 = skipFirst | little16, skipLast = kCGImageAlphaNoneSkipLast;
  const CGFloat identity[] = {0, 1, 0, 1, 0, 1}, raised[] = {0, 1, 0.5, 1, 0, 1}, lowered[] = {0, 1, 0, 1, 0, 0.5};
  const struct { char what; int space; size_t width = 0, height = 0, bpc = 0, bpp = 0, bytesPerRow = 0; uint32_t info = 0; size_t provided = 0;
                 bool accepted = false; CGFloat low = 0, high = 0; const CGFloat* decode = nullptr; } cases[] = {
      {'C', RGB, 3, 2, 8, 0, 0, kCGImageAlphaNone}, {'C', RGB, 3, 2, 8, 0, 0, kCGImageAlphaLast}, {'C', RGB, 3, 2, 8, 0, 0, first | little16},
      {'C', RGB, 3, 2, 8, 0, 0, first | kCGBitmapFloatComponents}, {'C', RGB, 3, 2, 16, 0, 0, kCGImageAlphaPremultipliedLast}, {'C', RGB, 3, 2, 5, 0, 0, skipFirst},
      {'C', Grey, 3, 2, 8, 0, 0, skipLast}, {'C', Indexed, 3, 2, 8, 0, 0, 0}, {'C', RGB, 4, 2, 8, 0, 15, skipLast}, {'C', RGB, 0, 2, 8, 0, 16, skipLast},
      {'C', RGB, 4, 0, 8, 0, 16, skipLast}, {'C', None, 4, 2, 8, 0, 16, skipLast},
      // 555 needs the skipped first bit in 16-bit little-endian words.
      {'I', RGB, 3, 2, 5, 16, 7, little16}, {'I', RGB, 3, 2, 5, 16, 7, skipFirst | kCGBitmapByteOrder16Big}, {'I', RGB, 3, 2, 8, 24, 10, skipLast},
      {'I', RGB, 3, 2, 8, 32, 13, kCGImageAlphaNone}, {'I', RGB, 3, 2, 8, 32, 13, kCGImageAlphaLast | little16}, {'I', Grey, 3, 2, 16, 16, 7, 0},
      {'I', RGB, 3, 2, 8, 32, 13, CGBitmapInfo(kCGImageAlphaLast) | kCGBitmapFloatComponents}, {'I', Indexed, 2, 2, 8, 16, 2, 0},
      // 3 pixels of 3 bytes in rows of 10: the last row needs only its 9 pixel bytes.
      {'I', RGB, 3, 2, 8, 24, 10, 0, 19, true}, {'I', RGB, 3, 2, 8, 24, 10, 0, 18}, {'I', RGB, 3, 2, 8, 24, 8, 0, 64},
      {'I', RGB, 0, 2, 8, 24, 9, 0, 64}, {'I', None, 3, 2, 8, 24, 9, 0, 64}, {'I', RGB, size_t{1} << 62, 1, 8, 24, 9, 0, 64},
      {'I', RGB, 3, size_t{1} << 40, 8, 24, size_t{1} << 30, 0, 64},
      // A decode array may only restate the identity.
      {'I', RGB, 2, 1, 8, 24, 6, 0, 0, true, 0, 0, identity}, {'I', RGB, 2, 1, 8, 24, 6, 0, 0, false, 0, 0, raised},
      {'I', RGB, 2, 1, 8, 24, 6, 0, 0, false, 0, 0, lowered}, {'X', RGB, 255, 0, 0, 0, 0, 0, 0, true}, {'X', RGB, 256}, {'X', None, 1}, {'X', Indexed, 1},
      {'M', RGB, 2, 1, 8, 32, 8, skipLast, 0, true, 0, 255}, {'M', RGB, 2, 1, 8, 32, 8, skipLast, 0, false, 0, 256},
      {'M', RGB, 2, 1, 8, 32, 8, skipLast, 0, false, -1, 0}, {'M', RGB, 2, 1, 8, 32, 8, skipLast, 0, false, 0.5, 1},
      {'M', RGB, 2, 1, 8, 32, 8, skipLast, 0, false, NAN, 1}, {'M', RGB, 2, 1, 8, 32, 8, kCGImageAlphaPremultipliedLast, 0, false, 0, 255},
      {'M', RGB, 2, 1, 5, 16, 4, rgb555, 0, true, 0, 31}, {'M', RGB, 2, 1, 5, 16, 4, rgb555, 0, false, 0, 32},
      {'M', Indexed, 2, 1, 8, 8, 2, 0, 0, true, 255, 255}, {'M', Indexed, 2, 1, 8, 8, 2, 0, 0, false, 0, 256},
  };
  uint8_t buffer[64];
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.what << " " << &c - cases << " info 0x" << std::hex << c.info);
    const CGFloat values[] = {c.space == RGB ? 0 : c.low, c.space == RGB ? 0 : c.high, 0, 0, c.low, c.high};
    ImageRef image = c.what == 'C' || c.what == 'X' ? nullptr : makeImage(Bytes(c.provided ? c.provided : c.height * c.bytesPerRow),
                                                                           c.width, c.height, c.bpc, c.bpp, c.bytesPerRow, spaces[c.space], c.info, c.decode);
    const bool made = c.what == 'C'   ? ContextRef(CGBitmapContextCreate(c.bytesPerRow ? buffer : nullptr, c.width, c.height, c.bpc, c.bytesPerRow, spaces[c.space], c.info)) != nullptr
                      : c.what == 'X' ? SpaceRef(CGColorSpaceCreateIndexed(spaces[c.space], c.width, table)) != nullptr
                      : c.what == 'M' ? ImageRef(CGImageCreateWithMaskingColors(image.get(), values)) != nullptr : image != nullptr;
    EXPECT_EQ(made, c.accepted) << c.low << " to " << c.high;
  }
  // A masked image is masked once, and not with nothing.
  ImageRef opaque = makeImage(Bytes(8), 2, 1, 8, 32, 8, rgb.get(), skipLast), masked(CGImageCreateWithMaskingColors(opaque.get(), identity));
  EXPECT_TRUE(masked && !ImageRef(CGImageCreateWithMaskingColors(masked.get(), identity)) && !CGImageCreateWithMaskingColors(opaque.get(), nullptr));
}

// A snapshot holds the pixels of its moment and outlives its context. A large context hands a released snapshot's block to its next
// snapshot (refilled), and a second live snapshot gets a block of its own.
TEST(BitmapContext, SnapshotsHoldTheirMoment) {
  SpaceRef rgb = rgbSpace();
  for (size_t side : {3, 1100}) {  // 1100² pixels: a large context
    SCOPED_TRACE(side);
    Canvas canvas(side, side, rgb.get(), kCGImageAlphaNoneSkipLast);
    const auto paint = [&](CGFloat red) { CGContextSetRGBFillColor(canvas.get(), red, 0, 0, 1); CGContextFillRect(canvas.get(), CGRectMake(0, 0, side, side)); };
    const auto redOf = [&](CGImageRef image) {  // the last pixel: a short copy would miss it
      Canvas out(side, side, rgb.get(), kCGImageAlphaNoneSkipLast);
      CGContextDrawImage(out.get(), CGRectMake(0, 0, side, side), image);
      return int(out.bytes(side - 1, side - 1)[0]);
    };
    paint(1); CGImageRelease(CGBitmapContextCreateImage(canvas.get())); paint(0);
    ImageRef black(CGBitmapContextCreateImage(canvas.get())), red((paint(1), CGBitmapContextCreateImage(canvas.get())));
    paint(0.5); canvas.context.reset();
    EXPECT_EQ((std::vector{redOf(black.get()), redOf(red.get())}), (std::vector{0, 255}));
    EXPECT_EQ(std::count(canvas.memory.begin(), canvas.memory.end(), Canvas::kGuardByte), 2 * Canvas::kGuard + side * Canvas::kPadding) << "guards intact";
  }
}

// Sub-images are made integral, standardised and clipped (x, y, width, height in the parent); outside, empty or not a number: none. The
// provider's callback runs once, when it and every image made from it are released; a failed image leaves it to its owner.
TEST(Image, SubImagesAndMaskedImagesKeepTheirPixelsAndReleaseThemOnce) {
  SpaceRef grey = greySpace();
  Bytes pixels = {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23};  // 10 * row + column
  struct Released { int count = 0; const void* data = nullptr; size_t size = 0; } released;
  CGDataProviderRef provider = CGDataProviderCreateWithData(&released, pixels.data(), pixels.size(), [](void* info, const void* data, size_t size) {
    *static_cast<Released*>(info) = {static_cast<Released*>(info)->count + 1, data, size};
  });
  EXPECT_EQ(CGImageCreate(4, 4, 8, 8, 4, grey.get(), 0, provider, nullptr, false, 0), nullptr);
  CGImageRef image = CGImageCreate(4, 3, 8, 8, 4, grey.get(), 0, provider, nullptr, false, kCGRenderingIntentDefault);
  CGDataProviderRelease(provider);
  const struct { CGRect rect; size_t x = 0, y = 0, width = 0, height = 0; } cases[] = {
      {CGRectMake(1, 1, 2, 2), 1, 1, 2, 2}, {CGRectMake(1.5, 0.2, 1.2, 1.5), 1, 0, 2, 2}, {CGRectMake(3, 2, -2, -1), 1, 1, 2, 1},
      {CGRectMake(-1, -1, 3, 10), 0, 0, 2, 3}, {CGRectMake(2.5, 0, 10, 1), 2, 0, 2, 1}, {CGRectMake(4, 0, 2, 2)}, {CGRectMake(1, 1, 0, 2)},
      {CGRectMake(NAN, 0, 2, 2)}, {CGRectNull}};
  for (const auto& [rect, x, y, width, height] : cases) {
    ImageRef sub(CGImageCreateWithImageInRect(image, rect));
    ASSERT_EQ(sub != nullptr, width != 0) << rect.origin.x << "," << rect.origin.y;
    if (!sub) continue;
    ASSERT_EQ(std::pair(CGImageGetWidth(sub.get()), CGImageGetHeight(sub.get())), std::pair(width, height));
    Canvas canvas(width, height, grey.get(), 0);
    CGContextDrawImage(canvas.get(), CGRectMake(0, 0, width, height), sub.get());
    for (size_t r = 0; r < height; ++r) EXPECT_EQ(canvas.bytes(0, r, width), Bytes(pixels.begin() + 4 * (y + r) + x, pixels.begin() + 4 * (y + r) + x + width));
  }
  const CGFloat range[] = {21, 22};
  CGImageRef sub = CGImageCreateWithImageInRect(image, CGRectMake(1, 1, 2, 2)), masked = CGImageCreateWithMaskingColors(sub, range);
  ASSERT_TRUE(image && sub && masked && CGImageRetain(image) == image);
  CGImageRelease(image); CGImageRelease(image); CGImageRelease(sub);
  EXPECT_EQ(released.count, 0) << "the masked image still needs the pixels";
  Canvas canvas(2, 2, grey.get(), 0, 7);
  CGContextDrawImage(canvas.get(), CGRectMake(0, 0, 2, 2), masked);
  CGImageRelease(masked);
  EXPECT_TRUE(canvas.bytes(0, 0, 2) == Bytes({11, 12}) && canvas.bytes(0, 1, 2) == Bytes({7, 7})) << "21 and 22 masked";
  EXPECT_TRUE(released.count == 1 && released.data == pixels.data() && released.size == pixels.size());
  CGColorSpaceRelease(nullptr); CGDataProviderRelease(nullptr); CGImageRelease(nullptr); CGContextRelease(nullptr);  // does nothing
  EXPECT_TRUE(!CGImageRetain(nullptr) && !CGDataProviderCreateWithData(nullptr, nullptr, 4, nullptr));
}
