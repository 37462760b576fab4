#include <gtest/gtest.h>

#include <tuple>

#include "CGTest.h"

// Every layout the drawing tests draw into is accepted; these are not.
TEST(BitmapContext, RefusesLayoutsItCannotDrawInto) {
  static const unsigned char table[3] = {1, 2, 3};
  SpaceRef rgb = rgbSpace(), grey = greySpace(), indexed(CGColorSpaceCreateIndexed(rgb.get(), 0, table));
  const struct {
    CGColorSpaceRef space;
    size_t bitsPerComponent;
    uint32_t info;
  } refused[] = {
      {rgb.get(), 8, kCGImageAlphaNone}, {rgb.get(), 8, kCGImageAlphaLast}, {rgb.get(), 8, kCGImageAlphaFirst},
      {rgb.get(), 8, kCGImageAlphaOnly}, {rgb.get(), 8, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder16Little},
      {rgb.get(), 8, kCGImageAlphaPremultipliedFirst | kCGBitmapFloatComponents}, {rgb.get(), 16, kCGImageAlphaPremultipliedLast},
      {rgb.get(), 5, kCGImageAlphaNoneSkipFirst}, {grey.get(), 8, kCGImageAlphaNoneSkipLast},
      {grey.get(), 8, kCGImageAlphaPremultipliedLast}, {grey.get(), 16, kCGImageAlphaNone}, {indexed.get(), 8, kCGImageAlphaNone},
  };
  for (const auto& c : refused)
    EXPECT_EQ(ContextRef(CGBitmapContextCreate(nullptr, 3, 2, c.bitsPerComponent, 0, c.space, c.info)), nullptr)
        << "bpc " << c.bitsPerComponent << " info 0x" << std::hex << c.info;
}

TEST(BitmapContext, RefusesBadSizesAndSpaces) {
  SpaceRef rgb = rgbSpace();
  uint8_t buffer[64];
  for (const auto& [width, height, bytesPerRow] : {std::tuple{4, 2, 15}, {0, 2, 16}, {4, 0, 16}})
    EXPECT_EQ(CGBitmapContextCreate(buffer, width, height, 8, bytesPerRow, rgb.get(), kCGImageAlphaNoneSkipLast), nullptr);
  EXPECT_EQ(CGBitmapContextCreate(buffer, 4, 2, 8, 16, nullptr, kCGImageAlphaNoneSkipLast), nullptr);
}

// A snapshot holds the pixels of its moment, whatever is drawn later, and outlives its context. A
// large context hands a released snapshot's block to its next snapshot, so that block must be
// refilled, and a second live snapshot must get a block of its own.
TEST(BitmapContext, SnapshotsHoldTheirMoment) {
  SpaceRef rgb = rgbSpace();
  for (size_t side : {3, 1100}) {  // 1100² pixels: a large context
    SCOPED_TRACE(side);
    Canvas canvas(side, side, rgb.get(), kCGImageAlphaNoneSkipLast);
    CGContextRef c = canvas.get();
    auto paint = [&](CGFloat red) {
      CGContextSetRGBFillColor(c, red, 0, 0, 1);
      CGContextFillRect(c, CGRectMake(0, 0, side, side));
    };
    auto redOf = [&](CGImageRef image) {  // the last pixel: a short copy would miss it
      Canvas out(side, side, rgb.get(), kCGImageAlphaNoneSkipLast);
      CGContextDrawImage(out.get(), CGRectMake(0, 0, side, side), image);
      return int(out.bytes(side - 1, side - 1)[0]);
    };
    paint(1);
    CGImageRelease(CGBitmapContextCreateImage(c));
    paint(0);
    ImageRef black(CGBitmapContextCreateImage(c));
    paint(1);
    ImageRef red(CGBitmapContextCreateImage(c));
    paint(0.5);
    canvas.context.reset();
    EXPECT_EQ(redOf(black.get()), 0);
    EXPECT_EQ(redOf(red.get()), 255);
    EXPECT_TRUE(canvas.guardsIntact());
  }
}
