// Concurrency, for the ThreadSanitizer build: reference counts changed from many threads with
// exactly one destruction; one DIB drawn from several threads at once, each into its own
// context; a canvas re-created while other threads draw a DIB.
#include <gtest/gtest.h>

#include <CoreGraphics/CoreGraphics.h>

#include <atomic>
#include <thread>
#include <vector>

#include "FuzzHost.h"

namespace {

constexpr int kThreads = 6;

// Runs body(t) on `count` threads that all start together.
template <class F>
void OnThreads(int count, F body) {
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < count; ++t)
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      body(t);
    });
  go = true;
  for (std::thread& thread : threads) thread.join();
}

// A context of the thread's own, cleared.
struct Context {
  static constexpr int kSide = 20;
  Context() {
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    context = CGBitmapContextCreate(pixels.data(), kSide, kSide, 8, 4 * kSide, space, kCGImageAlphaPremultipliedLast);
    CGColorSpaceRelease(space);
  }
  ~Context() { CGContextRelease(context); }
  std::vector<uint8_t> pixels = std::vector<uint8_t>(4 * kSide * kSide);
  CGContextRef context = nullptr;
};

ComPtr<IPXMImage> PatternedDIB() {
  ComPtr<IPXMImage> dib = NewImage(L"PXMImageDIB");
  EXPECT_EQ(dib->Create(13, 9, 1, 24, FOURCC_RGB), PXM_S_OK);
  uint32_t size = 0;
  uint8_t* data = nullptr;
  int32_t stride = 0;
  dib->GetImage(0, &size, &data, &stride);
  for (uint32_t y = 0; y < 9; ++y)
    for (uint32_t x = 0; x < 39; ++x) data[int64_t{y} * stride + x] = static_cast<uint8_t>(x * 7 + y * 29);
  return dib;
}

// Draws the image through both render interfaces; the results of the first call.
HRESULT Draw(IPXMImage* image, CGContextRef context) {
  image->AddRef();
  ComPtr<IPXMImage> self(image);
  CANVASRect destination{1, 2, 17, 15};
  const HRESULT hr = self.As<IPXMImageRender>(pxm::iid::IPXMImageRender)->Render(context, &destination, nullptr);
  self.As<IRenderableObject>(pxm::iid::IRenderableObject)->Render(context, &destination, nullptr, FitToRect);
  return hr;
}

TEST(Threads, ReferenceCountsReachZeroOnce) {
  for (const wchar_t* className : kClassNames) {
    for (int round = 0; round < 20; ++round) {
      IPXMImage* image = NewImage(className).Detach();
      ASSERT_TRUE(image);
      for (int t = 0; t < kThreads; ++t) image->AddRef();
      std::atomic<int> zeros{0};
      OnThreads(kThreads + 1, [&](int t) {
        if (t == kThreads) {  // the creator's reference, released while the others churn
          zeros += image->Release() == 0;
          return;
        }
        for (int i = 0; i < 200; ++i) {
          image->AddRef();
          void* other = nullptr;
          image->QueryInterface(pxm::iid::IPXMImage, &other);
          static_cast<IUnknown*>(other)->Release();
          zeros += image->Release() == 0;
        }
        zeros += image->Release() == 0;
      });
      EXPECT_EQ(zeros.load(), 1);
    }
  }
}

TEST(Threads, OneDibDrawnFromSeveralThreads) {
  ComPtr<IPXMImage> dib = PatternedDIB();
  Context alone;
  const HRESULT expected = Draw(dib.Get(), alone.context);
  std::vector<Context> contexts(kThreads);
  std::vector<HRESULT> results(kThreads);
  OnThreads(kThreads, [&](int t) {
    for (int i = 0; i < 20; ++i) results[t] = Draw(dib.Get(), contexts[t].context);
  });
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(results[t], expected);
    EXPECT_EQ(contexts[t].pixels, alone.pixels) << "thread " << t << " drew the same picture";
  }
}

TEST(Threads, CanvasRecreatedWhileOthersDraw) {
  ComPtr<IPXMImage> dib = PatternedDIB();
  ComPtr<IPXMImage> canvas = NewImage(L"PXMImageCANVAS");
  std::vector<Context> contexts(kThreads);
  OnThreads(kThreads, [&](int t) {
    if (t == 0) {
      for (uint32_t i = 0; i < 200; ++i) {
        canvas->Create(4 + i % 17, 3 + i % 5, 1, i % 2 ? 32 : 8, i % 2 ? FOURCC_ARGB : FOURCC_MONO);
        ReadEverything(canvas.Get());
      }
      return;
    }
    for (int i = 0; i < 40; ++i) Draw(dib.Get(), contexts[t].context);
  });
}

}  // namespace
