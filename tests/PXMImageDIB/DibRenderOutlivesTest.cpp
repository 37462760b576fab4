// This program stands in for contexts that do more with an image than draw it: its
// CGContextDrawImage can keep the image it is given (as a PDF or layer context does), or draw the
// same DIB again from inside the drawing (as a context whose drawing calls back into its host may).
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
std::future<HRESULT> gOther;
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

CGContextRef NewContext(uint32_t* pixels) {
  CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
  CGContextRef context = CGBitmapContextCreate(pixels, 4, 2, 8, 16, rgb, kCGImageAlphaNoneSkipLast);
  return CGColorSpaceRelease(rgb), context;
}

// A Core Graphics image made by a render that the context keeps and draws after the DIB took new
// blocks still reads the rows it was made over, never freed memory (the sanitizers watch), and
// lets the image go when it is released.
TEST(DibRender, AnImageKeptByTheContextOutlivesANewBlock) {
  uint32_t pixels[2 * 4] = {};
  CGContextRef context = NewContext(pixels);
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
      auto* block = static_cast<uint8_t*>(std::memcpy(std::malloc(next.size()), next.data.data(), next.size()));
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

// Drawn on a thread of its own; a drawing that never comes back (a lock waiting for its own
// thread, or one left held) ends the test.
HRESULT DrawnOnAThread(IPXMImageRender* render, CGContextRef context) {
  std::future<HRESULT> drawn = std::async(std::launch::async, [&] {
    CANVASRect where{0, 0, 4, 2};
    return render->Render(context, &where, nullptr);
  });
  if (drawn.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    ADD_FAILURE() << "the drawing waits for a lock it cannot have";
    std::_Exit(1);
  }
  return drawn.get();
}

// The DIB's lock while it draws is error-checking: a render nested in a render of the same image on
// the same thread does not wait for itself, draws, and leaves the outer hold in place until it ends.
TEST(DibRender, ARenderNestedInARenderOfTheSameImageGoesOn) {
  uint32_t pixels[2 * 4] = {};
  CGContextRef context = NewContext(pixels);
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  ASSERT_EQ(dib->Create(4, 2, 1, 24, FOURCC_RGB), PXM_S_OK);
  for (uint32_t y = 0; y < 2; ++y) std::memset(view::Plane(dib.Get(), 0).Row(y), 0xC8, 12);
  ComPtr<IPXMImageRender> render = dib.As<IPXMImageRender>(pxm::iid::IPXMImageRender);
  gNested = render.Get();
  EXPECT_EQ(DrawnOnAThread(render.Get(), context) * 1000 + gNestedResult, PXM_S_OK);
  EXPECT_EQ(gOther.get(), PXM_S_OK);
  EXPECT_FALSE(gOtherEarly) << "the nested drawing released the outer one's hold";
  for (const uint32_t pixel : pixels) EXPECT_EQ(pixel & 0xFFFFFF, 0xC8C8C8u);
  EXPECT_EQ(DrawnOnAThread(render.Get(), context), PXM_S_OK) << "from another thread";
  render.Reset();
  EXPECT_EQ(RefCount(dib.Get()), 1u) << "the providers' references were handed back";
  CGContextRelease(context);
}

}  // namespace
