// A Core Graphics image made by a DIB render that the context keeps (as a PDF or layer context
// does) and draws after the DIB took new blocks: it still reads the rows it was made
// over, never freed memory (the sanitizers watch), and lets the image go when it is released.
// This program stands in for such a context: its CGContextDrawImage keeps the image it is given.
#include <CoreGraphics/CoreGraphics.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "DibTestSupport.h"
#include "TestImage.h"

namespace {
CGImageRef gKept = nullptr;
bool gKeep = false;
using DrawImage = void (*)(CGContextRef, CGRect, CGImageRef);
DrawImage RealDrawImage() { return reinterpret_cast<DrawImage>(dlsym(RTLD_NEXT, "CGContextDrawImage")); }
}  // namespace

extern "C" __attribute__((visibility("default"))) void CGContextDrawImage(CGContextRef context, CGRect rect, CGImageRef image) {
  if (gKeep && image && !gKept) gKept = CGImageRetain(image);
  RealDrawImage()(context, rect, image);
}

namespace {

TEST(DibRender, AnImageKeptByTheContextOutlivesANewBlock) {
  uint32_t pixels[2 * 4] = {};
  CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
  CGContextRef context = CGBitmapContextCreate(pixels, 4, 2, 8, 16, rgb, kCGImageAlphaNoneSkipLast);
  CGColorSpaceRelease(rgb);
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  for (const bool owned : {true, false})
    for (const bool handed : {false, true}) {
    SCOPED_TRACE(std::string(owned ? "a block of its own" : "a lent block") + (handed ? ", then one handed over" : ""));
    Bytes lent = MakeBlock(InfoHeaderBytes({.width = 4, .height = 2}), 0, 4, 12, 2);
    ASSERT_EQ(owned ? dib->Create(4, 2, 1, 24, FOURCC_RGB) : dib->CreateOnDIB(lent.data.data(), nullptr, 0), PXM_S_OK);
    const view::Plane rows(dib.Get(), 0);
    for (uint32_t y = 0; y < 2; ++y) std::memset(rows.Row(y), 0x40, 12);
    gKeep = true;
    CANVASRect where{0, 0, 4, 2};
    ASSERT_EQ(dib.As<IPXMImageRender>(pxm::iid::IPXMImageRender)->Render(context, &where, nullptr), PXM_S_OK);
    gKeep = false;
    ASSERT_TRUE(gKept);
    EXPECT_EQ(RefCount(dib.Get()), 2u) << "the provider holds the image";
    // Created anew, or on a block handed over, then anew: each time a new block.
    const Bytes next = MakeBlock(InfoHeaderBytes({.width = 64, .height = 64, .bitsPerPixel = 32}), 0, 4, 256, 64);
    auto* block = static_cast<uint8_t*>(std::malloc(next.size()));
    std::memcpy(block, next.data.data(), next.size());
    if (!handed) std::free(block);
    ASSERT_EQ(handed ? dib->CreateOnDIB(block, nullptr, 1) : dib->Create(64, 64, 1, 32, FOURCC_ARGB), PXM_S_OK);
    ASSERT_EQ(dib->Create(4, 2, 1, 24, FOURCC_RGB), PXM_S_OK);
    std::memset(view::Plane(dib.Get(), 0).Row(1), 0x99, 12);
    std::memset(pixels, 0, sizeof pixels);
    RealDrawImage()(context, CGRectMake(0, 0, 4, 2), gKept);
    for (const uint32_t pixel : pixels) EXPECT_EQ(pixel & 0xFFFFFF, 0x404040u) << "the rows it was made over";
    CGImageRelease(gKept);
    gKept = nullptr;
    EXPECT_EQ(RefCount(dib.Get()), 1u);
  }
  CGContextRelease(context);
}

}  // namespace
