#include <gtest/gtest.h>

#include "CGTest.h"

TEST(Fill, CoversPixelCentresInEveryFormat) {
  SpaceRef rgb = rgbSpace(), grey = greySpace();
  struct Case {
    uint32_t info;
    bool grey;
    std::vector<uint8_t> filled;  // 0.2, 0.4, 0.6 opaque over 0x33 bytes
  };
  const Case cases[] = {
      {kCGImageAlphaNoneSkipLast, false, {51, 102, 153, 0x33}},
      {kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, false, {153, 102, 51, 0x33}},
      {kCGImageAlphaPremultipliedFirst, false, {255, 51, 102, 153}},
      {kCGImageAlphaNone, true, {uint8_t(luminance(51, 102, 153))}},
  };
  for (const Case& c : cases) {
    Canvas canvas(6, 5, c.grey ? grey.get() : rgb.get(), c.info, 0x33);
    CGContextSetRGBFillColor(canvas.get(), 0.2, 0.4, 0.6, 1);
    CGContextTranslateCTM(canvas.get(), 0.5, 0);
    CGContextFillRect(canvas.get(), CGRectMake(0.2, 1.5, 2, -1.1));  // centres x 1.5, 2.5; y 0.5
    for (size_t r = 0; r < 5; ++r)
      for (size_t x = 0; x < 6; ++x)
        EXPECT_EQ(canvas.bytes(x, r), (r == 4 && (x == 1 || x == 2)) ? c.filled : std::vector<uint8_t>(canvas.pixelBytes, 0x33))
            << x << "," << r;
    EXPECT_TRUE(canvas.guardsIntact());
  }
}

TEST(Fill, TranslucentColourBlends) {
  SpaceRef rgb = rgbSpace(), grey = greySpace();
  Canvas canvas(300, 2, rgb.get(), kCGImageAlphaPremultipliedLast, 100);
  CGContextSetRGBFillColor(canvas.get(), 1, 0.5, 0, 0.5);  // 255, 128, 0 at alpha 128
  CGContextFillRect(canvas.get(), CGRectMake(-10, -10, 400, 400));
  const std::vector<uint8_t> expected = {uint8_t(div255(255 * 128 + 100 * 127)), uint8_t(div255(128 * 128 + 100 * 127)),
                                         uint8_t(div255(100 * 127)), uint8_t(128 + div255(100 * 127))};
  EXPECT_EQ(canvas.bytes(0, 0), expected);
  EXPECT_EQ(canvas.bytes(299, 1), expected);
  EXPECT_TRUE(canvas.guardsIntact());

  Canvas mono(2, 1, grey.get(), 0, 200);
  CGContextSetGrayFillColor(mono.get(), 0, 0.25);  // alpha 64
  CGContextFillRect(mono.get(), CGRectMake(0, 0, 2, 1));
  EXPECT_EQ(mono.pixel(1, 0)[0], div255(200 * 191));
  CGContextSetGrayFillColor(mono.get(), 1, 0);
  CGContextFillRect(mono.get(), CGRectMake(0, 0, 2, 1));
  EXPECT_EQ(mono.pixel(1, 0)[0], div255(200 * 191));
}
