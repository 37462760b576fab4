// The DIB's lock while it draws is error-checking: a render nested in a render of the same image
// on the same thread does not wait for itself, draws, and leaves the outer hold in place.
#include <CoreGraphics/CoreGraphics.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <utility>

#include "PXMImageDIB/PXMImageDIB.h"

namespace {

TEST(DibRenderLock, NestedRenderOnTheSameThreadGoesOn) {
  IPXMImageDIB* face = nullptr;
  ASSERT_EQ(CObject<CPXMImageDIB>::_CreateInstance(nullptr, &IID_IPXMImageDIB, reinterpret_cast<void**>(&face)), PXM_S_OK);
  CPXMImageDIB* dib = static_cast<CPXMImageDIB*>(face);
  ASSERT_EQ(dib->Create(2, 2, 1, 24, FOURCC_RGB), PXM_S_OK);
  uint32_t size = 0;
  uint8_t* rows = nullptr;
  int32_t stride = 0;
  dib->GetImage(0, &size, &rows, &stride);
  std::memset(rows + stride, 0xC8, size);  // both rows with their padding, from the lower address on
  uint8_t pixels[2 * 2 * 4] = {};
  CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
  CGContextRef context = CGBitmapContextCreate(pixels, 2, 2, 8, 8, rgb, kCGImageAlphaNoneSkipLast);
  CGColorSpaceRelease(rgb);
  // The outer render's hold on the lock is taken by hand; the nested one runs on the same thread.
  // With a lock that waited for its owner it would never come back: the watchdog ends the test.
  std::future<std::pair<HRESULT, HRESULT>> nested = std::async(std::launch::async, [&] {
    dib->Lock();
    CANVASRect rect{0, 0, 2, 2};
    const HRESULT drawn = dib->Render(context, &rect, nullptr);
    return std::pair{drawn, dib->Unlock()};  // the nested render's failed Lock is not undone
  });
  if (nested.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    ADD_FAILURE() << "the nested render waits for its own thread";
    std::_Exit(1);
  }
  EXPECT_EQ(nested.get(), std::pair(PXM_S_OK, PXM_S_OK)) << "drawn, and the outer hold still ours to release";
  for (uint8_t i = 0; i < 16; ++i) EXPECT_EQ(pixels[i], i % 4 == 3 ? pixels[i] : 0xC8) << int(i);
  CGContextRelease(context);
  EXPECT_EQ(face->Release(), 0u) << "the provider's reference was handed back";
}

}  // namespace
