#include <gtest/gtest.h>

#include <cmath>

#include "CGTest.h"

// Every description the drawing tests use is accepted; these are not.
TEST(Image, RefusesDescriptionsItCannotDraw) {
  const struct {
    const char* name;
    bool grey;
    size_t bpc, bpp;
    uint32_t info;
  } refused[] = {
      {"555 big-endian", false, 5, 16, kCGBitmapByteOrder16Big}, {"555 default order", false, 5, 16, 0},
      {"24-bit with skip", false, 8, 24, kCGImageAlphaNoneSkipLast}, {"32-bit without alpha info", false, 8, 32, kCGImageAlphaNone},
      {"alpha only", false, 8, 32, kCGImageAlphaOnly}, {"32-bit 16Little", false, 8, 32, kCGImageAlphaLast | kCGBitmapByteOrder16Little},
      {"float", false, 8, 32, kCGImageAlphaLast | kCGBitmapFloatComponents}, {"16-bit grey", true, 16, 16, 0},
      {"grey with alpha", true, 8, 16, kCGImageAlphaLast},
  };
  SpaceRef rgb = rgbSpace(), grey = greySpace();
  for (const auto& d : refused) {
    const size_t bytesPerRow = 3 * d.bpp / 8 + 1;
    EXPECT_EQ(makeImage(std::vector<uint8_t>(2 * bytesPerRow), 3, 2, d.bpc, d.bpp, bytesPerRow, d.grey ? grey.get() : rgb.get(), d.info),
              nullptr)
        << d.name;
  }
}

TEST(Image, ProviderMustCoverEveryRow) {
  SpaceRef rgb = rgbSpace();
  // 3 pixels of 3 bytes in rows of 10: the last row needs only its 9 pixel bytes.
  EXPECT_NE(makeImage(std::vector<uint8_t>(19), 3, 2, 8, 24, 10, rgb.get(), 0), nullptr);
  EXPECT_EQ(makeImage(std::vector<uint8_t>(18), 3, 2, 8, 24, 10, rgb.get(), 0), nullptr);
  EXPECT_EQ(makeImage(std::vector<uint8_t>(64), 3, 2, 8, 24, 8, rgb.get(), 0), nullptr);  // row shorter than pixels
  EXPECT_EQ(makeImage(std::vector<uint8_t>(64), 0, 2, 8, 24, 9, rgb.get(), 0), nullptr);
  EXPECT_EQ(makeImage(std::vector<uint8_t>(64), 3, 2, 8, 24, 9, nullptr, 0), nullptr);
  EXPECT_EQ(makeImage(std::vector<uint8_t>(64), size_t{1} << 62, 1, 8, 24, 9, rgb.get(), 0), nullptr);
  EXPECT_EQ(makeImage(std::vector<uint8_t>(64), 3, size_t{1} << 40, 8, 24, size_t{1} << 30, rgb.get(), 0), nullptr);

  ProviderRef provider = exactProvider(std::vector<uint8_t>(6));
  const CGFloat identity[] = {0, 1, 0, 1, 0, 1}, inverted[] = {1, 0, 0, 1, 0, 1};
  EXPECT_NE(ImageRef(CGImageCreate(2, 1, 8, 24, 6, rgb.get(), 0, provider.get(), identity, false, 0)), nullptr);
  EXPECT_EQ(ImageRef(CGImageCreate(2, 1, 8, 24, 6, rgb.get(), 0, provider.get(), inverted, false, 0)), nullptr);
}

TEST(Image, SubImageRectangles) {
  SpaceRef grey = greySpace();
  // 4 x 3 grey image whose pixel value is 10 * row + column.
  std::vector<uint8_t> pixels = {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23};
  ImageRef image = makeImage(pixels, 4, 3, 8, 8, 4, grey.get(), 0);
  struct Case {
    CGRect rect;
    size_t x, y, width, height;  // expected, in the parent; width 0: null
  };
  const Case cases[] = {
      {CGRectMake(1, 1, 2, 2), 1, 1, 2, 2},
      {CGRectMake(1.5, 0.2, 1.2, 1.5), 1, 0, 2, 2},  // made integral
      {CGRectMake(3, 2, -2, -1), 1, 1, 2, 1},        // standardised
      {CGRectMake(-1, -1, 3, 10), 0, 0, 2, 3},       // clipped
      {CGRectMake(2.5, 0, 10, 1), 2, 0, 2, 1},
      {CGRectMake(4, 0, 2, 2), 0, 0, 0, 0},  // outside
      {CGRectMake(1, 1, 0, 2), 0, 0, 0, 0},  // empty
      {CGRectMake(NAN, 0, 2, 2), 0, 0, 0, 0},
      {CGRectNull, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    ImageRef sub(CGImageCreateWithImageInRect(image.get(), c.rect));
    ASSERT_EQ(sub != nullptr, c.width != 0) << c.rect.origin.x << "," << c.rect.origin.y;
    if (!sub) continue;
    ASSERT_EQ(CGImageGetWidth(sub.get()), c.width);
    ASSERT_EQ(CGImageGetHeight(sub.get()), c.height);
    Canvas canvas(c.width, c.height, grey.get(), 0);
    CGContextDrawImage(canvas.get(), CGRectMake(0, 0, c.width, c.height), sub.get());
    for (size_t r = 0; r < c.height; ++r)
      for (size_t x = 0; x < c.width; ++x) EXPECT_EQ(canvas.pixel(x, r)[0], 10 * (c.y + r) + c.x + x);
  }
}

// Indexed spaces hold at most 256 entries over a base space that is not indexed, and describe
// 8-bit pixels; masking colours need an image without alpha and six numbers.
TEST(Image, IndexedSpacesAndMaskingColours) {
  SpaceRef rgb = rgbSpace();
  const unsigned char table[256 * 3] = {};
  EXPECT_NE(SpaceRef(CGColorSpaceCreateIndexed(rgb.get(), 255, table)), nullptr);
  EXPECT_EQ(SpaceRef(CGColorSpaceCreateIndexed(rgb.get(), 256, table)), nullptr);
  EXPECT_EQ(SpaceRef(CGColorSpaceCreateIndexed(nullptr, 1, table)), nullptr);
  SpaceRef indexed(CGColorSpaceCreateIndexed(rgb.get(), 1, table));
  EXPECT_EQ(SpaceRef(CGColorSpaceCreateIndexed(indexed.get(), 1, table)), nullptr);
  EXPECT_EQ(makeImage(std::vector<uint8_t>(4), 2, 2, 8, 16, 2, indexed.get(), 0), nullptr);

  const CGFloat components[] = {0, 0.5, 0, 0.5, 0, 0.5}, notANumber[] = {0, NAN, 0, 1, 0, 1};
  ImageRef opaque = makeImage(std::vector<uint8_t>(8), 2, 1, 8, 32, 8, rgb.get(), kCGImageAlphaNoneSkipLast);
  ImageRef alpha = makeImage(std::vector<uint8_t>(8), 2, 1, 8, 32, 8, rgb.get(), kCGImageAlphaPremultipliedLast);
  ImageRef masked(CGImageCreateWithMaskingColors(opaque.get(), components));
  EXPECT_NE(masked, nullptr);
  for (CGImageRef image : {masked.get(), alpha.get()}) EXPECT_EQ(ImageRef(CGImageCreateWithMaskingColors(image, components)), nullptr);
  EXPECT_EQ(ImageRef(CGImageCreateWithMaskingColors(opaque.get(), nullptr)), nullptr);
  EXPECT_EQ(ImageRef(CGImageCreateWithMaskingColors(opaque.get(), notANumber)), nullptr);
}
