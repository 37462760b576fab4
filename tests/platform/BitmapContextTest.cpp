#include <gtest/gtest.h>

#include <tuple>

#include "CGTest.h"

namespace {

enum class Space { RGB, Grey, Indexed };

struct Combination {
  Space space;
  size_t bitsPerComponent;
  uint32_t info;
  bool accepted;
};

const Combination kCombinations[] = {
    {Space::RGB, 8, kCGImageAlphaNoneSkipLast, true}, {Space::RGB, 8, kCGImageAlphaNoneSkipFirst, true},
    {Space::RGB, 8, kCGImageAlphaPremultipliedLast, true}, {Space::RGB, 8, kCGImageAlphaPremultipliedFirst, true},
    {Space::RGB, 8, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, true},
    {Space::RGB, 8, kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, true},
    {Space::RGB, 8, kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Big, true},
    {Space::RGB, 8, kCGImageAlphaNone, false}, {Space::RGB, 8, kCGImageAlphaLast, false},
    {Space::RGB, 8, kCGImageAlphaFirst, false}, {Space::RGB, 8, kCGImageAlphaOnly, false},
    {Space::RGB, 8, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder16Little, false},
    {Space::RGB, 8, kCGImageAlphaPremultipliedFirst | kCGBitmapFloatComponents, false},
    {Space::RGB, 16, kCGImageAlphaPremultipliedLast, false}, {Space::RGB, 5, kCGImageAlphaNoneSkipFirst, false},
    {Space::Grey, 8, kCGImageAlphaNone, true}, {Space::Grey, 8, kCGImageAlphaNoneSkipLast, false},
    {Space::Grey, 8, kCGImageAlphaPremultipliedLast, false}, {Space::Grey, 16, kCGImageAlphaNone, false},
    {Space::Indexed, 8, kCGImageAlphaNone, false},
};

SpaceRef makeSpace(Space space) {
  static const unsigned char table[3] = {1, 2, 3};
  switch (space) {
    case Space::RGB: return rgbSpace();
    case Space::Grey: return greySpace();
    case Space::Indexed: return SpaceRef(CGColorSpaceCreateIndexed(rgbSpace().get(), 0, table));
  }
  return nullptr;
}

}  // namespace

TEST(BitmapContext, AcceptsExactlyTheSupportedCombinations) {
  for (const Combination& c : kCombinations) {
    SpaceRef space = makeSpace(c.space);
    ContextRef context(CGBitmapContextCreate(nullptr, 3, 2, c.bitsPerComponent, 0, space.get(), c.info));
    EXPECT_EQ(context != nullptr, c.accepted) << "space " << int(c.space) << " bpc " << c.bitsPerComponent << " info 0x"
                                              << std::hex << c.info;
    if (!context) continue;
    const size_t pixelBytes = c.space == Space::RGB ? 4 : 1;
    EXPECT_EQ(CGBitmapContextGetBytesPerRow(context.get()), 3 * pixelBytes);
    EXPECT_EQ(CGBitmapContextGetBitsPerPixel(context.get()), 8 * pixelBytes);
    EXPECT_EQ(CGBitmapContextGetBitmapInfo(context.get()), c.info);
    const auto* data = static_cast<const uint8_t*>(CGBitmapContextGetData(context.get()));
    for (size_t i = 0; i < 2 * 3 * pixelBytes; ++i) ASSERT_EQ(data[i], 0) << "owned buffers start zeroed";
  }
}

TEST(BitmapContext, RefusesBadSizesAndSpaces) {
  SpaceRef rgb = rgbSpace();
  uint8_t buffer[64];
  for (const auto& [width, height, bytesPerRow] : {std::tuple{4, 2, 15}, {0, 2, 16}, {4, 0, 16}})
    EXPECT_EQ(CGBitmapContextCreate(buffer, width, height, 8, bytesPerRow, rgb.get(), kCGImageAlphaNoneSkipLast), nullptr);
  EXPECT_EQ(CGBitmapContextCreate(buffer, 4, 2, 8, 16, nullptr, kCGImageAlphaNoneSkipLast), nullptr);
}

// A snapshot is a copy: later drawing does not change it. Save and restore nest; an unbalanced
// restore does nothing.
TEST(BitmapContext, SnapshotIsACopyAndStatesNest) {
  SpaceRef rgb = rgbSpace();
  Canvas canvas(3, 2, rgb.get(), kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
  CGContextRef c = canvas.get();
  CGContextSetRGBFillColor(c, 1, 0, 0, 1);
  CGContextFillRect(c, CGRectMake(0, 0, 3, 2));
  ImageRef snapshot(CGBitmapContextCreateImage(c));
  ASSERT_NE(snapshot, nullptr);
  EXPECT_EQ(CGImageGetBytesPerRow(snapshot.get()), canvas.bytesPerRow);
  CGContextSaveGState(c);
  CGContextSaveGState(c);
  CGContextSetRGBFillColor(c, 0, 0, 1, 1);
  CGContextTranslateCTM(c, 2, 2);
  CGContextRestoreGState(c);
  CGContextRestoreGState(c);
  CGContextRestoreGState(c);
  EXPECT_TRUE(CGAffineTransformIsIdentity(CGContextGetCTM(c)));
  CGContextFillRect(c, CGRectMake(0, 0, 1, 1));
  EXPECT_EQ(canvas.bytes(0, 1), (std::vector<uint8_t>{0, 0, 255, 255})) << "red again";
  CGContextSetRGBFillColor(c, 0, 0, 1, 1);
  CGContextFillRect(c, CGRectMake(0, 0, 3, 2));
  Canvas copy(3, 2, rgb.get(), kCGImageAlphaNoneSkipLast);
  CGContextDrawImage(copy.get(), CGRectMake(0, 0, 3, 2), snapshot.get());
  EXPECT_EQ(copy.bytes(2, 1), (std::vector<uint8_t>{255, 0, 0, 0}));
  EXPECT_TRUE(canvas.guardsIntact());
}
