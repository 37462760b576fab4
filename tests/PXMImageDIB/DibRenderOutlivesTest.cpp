// This program's CGContextDrawImage stands in for contexts that keep the image they are given (as a
// PDF or layer context does) or draw the same DIB again from inside the drawing (through their host).
#include <CoreGraphics/CoreGraphics.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <utility>

#include "DibTestSupport.h"

namespace {
CGImageRef gKept = nullptr;
bool gKeep = false;
IPXMImageRender* gNested = nullptr;  // drawn again, once, from inside the drawing
HRESULT gNestedResult = PXM_E_FAIL;
std::future<HRESULT> gOther;  // drawn from another thread meanwhile
bool gOtherEarly = false;
using DrawImage = void (*)(CGContextRef, CGRect, CGImageRef);
DrawImage RealDrawImage() { return reinterpret_cast<DrawImage>(dlsym(RTLD_NEXT, "CGContextDrawImage")); }
}  // namespace

extern "C" __attribute__((visibility("default"))) void CGContextDrawImage(CGContextRef context, CGRect rect, CGImageRef image) {
  if (gKeep && image && !gKept) gKept = CGImageRetain(image);
  if (IPXMImageRender* nested = std::exchange(gNested, nullptr)) {
    CANVASRect where{0, 0, 4, 2};
    gNestedResult = nested->Render(context, &where, nullptr);
    // The outer drawing still holds the lock: another thread's drawing waits until it ends.
    gOther = std::async(std::launch::async, [=]() mutable { return nested->Render(context, &where, nullptr); });
    gOtherEarly = gOther.wait_for(std::chrono::milliseconds(200)) == std::future_status::ready;
  }
  RealDrawImage()(context, rect, image);
}

namespace {

HRESULT Finished(std::future<HRESULT>& drawing) {
  if (drawing.wait_for(std::chrono::seconds(30)) == std::future_status::ready) return drawing.get();
  ADD_FAILURE() << "the drawing waits for a lock it cannot have";
  std::_Exit(1);
}

// A render nested in a render of the same DIB on the same thread draws without waiting for itself
// and leaves the outer hold in place. An image the context keeps still reads the rows it was made
// over after the DIB took new blocks (the sanitizers watch), and lets the DIB go when released.
TEST(DibRender, NestedRendersGoOnAndKeptImagesOutliveANewBlock) {
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
      for (uint32_t y = 0; y < 2; ++y) std::memset(view::Plane(dib.Get(), 0).Row(y), 0x40, 12);
      ComPtr<IPXMImageRender> render = dib.As<IPXMImageRender>(pxm::iid::IPXMImageRender);
      gKeep = true, gNested = owned && !handed ? render.Get() : nullptr;
      CANVASRect where{0, 0, 4, 2};
      std::future<HRESULT> outer = std::async(std::launch::async, [&] { return render->Render(context, &where, nullptr); });
      ASSERT_EQ(Finished(outer), PXM_S_OK);
      if (owned && !handed) {
        EXPECT_EQ(std::pair(gNestedResult, Finished(gOther)), std::pair(PXM_S_OK, PXM_S_OK));
        EXPECT_FALSE(gOtherEarly) << "the nested drawing released the outer one's hold";
      }
      gKeep = false;
      ASSERT_TRUE(gKept);
      render.Reset();
      EXPECT_EQ(RefCount(dib.Get()), 2u) << "the provider holds the image";
      // Created anew, or on a block handed over, then anew: each time a new block.
      const Bytes next = MakeBlock(InfoHeaderBytes({.width = 64, .height = 64, .bitsPerPixel = 32}), 0, 4, 256, 64);
      auto* block = static_cast<uint8_t*>(std::memcpy(std::malloc(next.size()), next.data.data(), next.size()));
      if (!handed) std::free(block);
      ASSERT_EQ(handed ? dib->CreateOnDIB(block, nullptr, 1) : dib->Create(64, 64, 1, 32, FOURCC_ARGB), PXM_S_OK);
      ASSERT_EQ(dib->Create(4, 2, 1, 24, FOURCC_RGB), PXM_S_OK);
      std::memset(view::Plane(dib.Get(), 0).Row(1), 0x99, 12);
      std::memset(pixels, 0, sizeof pixels);
      RealDrawImage()(context, CGRectMake(0, 0, 4, 2), gKept);
      for (const uint32_t pixel : pixels) EXPECT_EQ(pixel & 0xFFFFFF, 0x404040u) << "the rows it was made over";
      CGImageRelease(std::exchange(gKept, nullptr));
      EXPECT_EQ(RefCount(dib.Get()), 1u);
    }
  CGContextRelease(context);
}

}  // namespace
