#include <gtest/gtest.h>

#include "CGTest.h"

// A fill covers the pixels whose centres lie inside the rectangle (after the CTM), in every layout,
// opaque or blended over what is there.
TEST(Fill, CoversPixelCentresAndBlends) {
  SpaceRef rgb = rgbSpace(), grey = greySpace();
  constexpr uint8_t kOld = 0x33;
  const auto over = [](int colour) { return uint8_t(div255(colour * 128 + kOld * 127)); };  // at alpha 128
  struct Case {
    uint32_t info;
    bool grey;
    CGFloat alpha;
    std::vector<uint8_t> filled;  // red 0.2, green 0.4, blue 0.6 (51, 102, 153)
  };
  const Case cases[] = {
      {kCGImageAlphaNoneSkipLast, false, 1, {51, 102, 153, 255}},
      {kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, false, 1, {153, 102, 51, 255}},
      {kCGImageAlphaPremultipliedFirst, false, 1, {255, 51, 102, 153}},
      {kCGImageAlphaNone, true, 1, {uint8_t(luminance(51, 102, 153))}},
      {kCGImageAlphaPremultipliedLast, false, 0.5,
       {over(51), over(102), over(153), uint8_t(128 + div255(kOld * 127))}},
  };
  for (const Case& c : cases) {
    Canvas canvas(6, 5, c.grey ? grey.get() : rgb.get(), c.info, kOld);
    CGContextSetRGBFillColor(canvas.get(), 0.2, 0.4, 0.6, c.alpha);
    CGContextTranslateCTM(canvas.get(), 0.5, 0);
    CGContextFillRect(canvas.get(), CGRectMake(0.2, 1.5, 2, -1.1));  // centres x 1.5, 2.5; y 0.5
    for (size_t r = 0; r < 5; ++r)
      for (size_t x = 0; x < 6; ++x)
        EXPECT_EQ(canvas.bytes(x, r), (r == 4 && (x == 1 || x == 2)) ? c.filled : std::vector<uint8_t>(canvas.pixelBytes, kOld))
            << x << "," << r;
    EXPECT_TRUE(canvas.guardsIntact());
  }
}
