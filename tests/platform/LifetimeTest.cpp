#include <gtest/gtest.h>

#include "CGTest.h"

namespace {
struct Released {
  int count = 0;
  const void* data = nullptr;
  size_t size = 0;
};
void CountRelease(void* info, const void* data, size_t size) {
  auto* r = static_cast<Released*>(info);
  *r = {r->count + 1, data, size};
}
}  // namespace

// The provider's callback runs exactly once, when the provider and every image made from it
// (sub-images and masked images too) are released; a failed image leaves it to its owner.
TEST(Lifetime, ReleaseCallbackRunsOnceAfterTheLastImage) {
  SpaceRef rgb = rgbSpace();
  std::vector<uint8_t> pixels(4 * 4 * 3, 9);
  Released released;
  CGDataProviderRef provider = CGDataProviderCreateWithData(&released, pixels.data(), pixels.size(), CountRelease);
  EXPECT_EQ(CGImageCreate(8, 8, 8, 24, 12, rgb.get(), 0, provider, nullptr, false, 0), nullptr);
  CGImageRef image = CGImageCreate(4, 4, 8, 24, 12, rgb.get(), 0, provider, nullptr, false, kCGRenderingIntentDefault);
  const CGFloat range[] = {0.5, 0.6, 0.5, 0.6, 0.5, 0.6};
  CGImageRef sub = CGImageCreateWithImageInRect(image, CGRectMake(1, 1, 2, 2));
  CGImageRef masked = CGImageCreateWithMaskingColors(sub, range);
  ASSERT_TRUE(image && sub && masked);
  EXPECT_EQ(CGImageRetain(image), image);
  CGDataProviderRelease(provider);
  CGImageRelease(image);
  CGImageRelease(image);
  CGImageRelease(sub);
  EXPECT_EQ(released.count, 0) << "the masked image still needs the pixels";
  Canvas canvas(2, 2, rgb.get(), kCGImageAlphaNoneSkipLast);
  CGContextDrawImage(canvas.get(), CGRectMake(0, 0, 2, 2), masked);
  EXPECT_EQ(canvas.pixel(0, 0)[0], 9);
  CGImageRelease(masked);
  EXPECT_EQ(released.count, 1);
  EXPECT_EQ(released.data, pixels.data());
  EXPECT_EQ(released.size, pixels.size());
  // Releasing null does nothing.
  CGColorSpaceRelease(nullptr), CGDataProviderRelease(nullptr), CGImageRelease(nullptr), CGContextRelease(nullptr);
  EXPECT_EQ(CGImageRetain(nullptr), nullptr);
  EXPECT_EQ(CGDataProviderCreateWithData(nullptr, nullptr, 4, nullptr), nullptr);
}

// The base space and the table of an indexed space may go once it is made, and the space once an
// image is made from it.
TEST(Lifetime, ObjectsKeepWhatTheyWereMadeFrom) {
  SpaceRef base = rgbSpace();
  std::vector<unsigned char> table = {10, 20, 30, 40, 50, 60};
  CGColorSpaceRef indexed = CGColorSpaceCreateIndexed(base.get(), 1, table.data());
  base.reset();
  table.assign(table.size(), 0);
  ImageRef image = makeImage({1, 0}, 2, 1, 8, 8, 2, indexed, 0);
  CGColorSpaceRelease(indexed);
  ASSERT_NE(image, nullptr);
  SpaceRef rgb = rgbSpace();
  Canvas canvas(2, 1, rgb.get(), kCGImageAlphaNoneSkipLast);
  CGContextDrawImage(canvas.get(), CGRectMake(0, 0, 2, 1), image.get());
  EXPECT_EQ(canvas.rowBytes(0), (std::vector<uint8_t>{40, 50, 60, 255, 10, 20, 30, 255}));
}
