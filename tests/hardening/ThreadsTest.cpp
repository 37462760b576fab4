// Concurrency, for the ThreadSanitizer build: reference counts changed from many threads with
// exactly one destruction, and a canvas re-created while other threads draw a DIB (renders of one
// image from several threads are RenderThreadsTest's).
#include <gtest/gtest.h>

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
  for (int t = 0; t < count; ++t) threads.emplace_back([&, t] { return go.wait(false), body(t); });
  go = true, go.notify_all();
  for (std::thread& thread : threads) thread.join();
}

TEST(Threads, ReferenceCountsReachZeroOnce) {
  for (const wchar_t* className : kClassNames)
    for (int round = 0; round < 20; ++round) {
      IPXMImage* image = NewImage(className).Detach();
      for (int t = 0; t < kThreads; ++t) image->AddRef();
      std::atomic<int> zeros{0};
      OnThreads(kThreads + 1, [&](int t) {
        for (int i = 0; t < kThreads && i < 200; ++i) {
          void* other = (image->AddRef(), nullptr);
          image->QueryInterface(pxm::iid::IPXMImage, &other);
          zeros += (static_cast<IUnknown*>(other)->Release(), image->Release() == 0);
        }
        zeros += image->Release() == 0;  // thread kThreads: the creator's reference
      });
      EXPECT_EQ(zeros.load(), 1);
    }
}

TEST(Threads, CanvasRecreatedWhileOthersDraw) {
  ComPtr<IPXMImage> dib = NewImage(L"PXMImageDIB"), canvas = NewImage(L"PXMImageCANVAS");
  ASSERT_EQ(dib->Create(13, 9, 1, 24, FOURCC_RGB), PXM_S_OK);
  OnThreads(kThreads, [&](int t) {
    for (uint32_t i = 0; t == 0 && i < 200; ++i) {
      canvas->Create(4 + i % 17, 3 + i % 5, 1, i % 2 ? 32 : 8, i % 2 ? FOURCC_ARGB : FOURCC_MONO);
      ReadEverything(canvas.Get());
    }
    for (int i = 0; t > 0 && i < 40; ++i) Render(dib.Get());
  });
}

}  // namespace
