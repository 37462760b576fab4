// Concurrency, for the ThreadSanitizer build. The module fills its host-string component and
// collection once per process, so FirstUseTest runs its first use in a process of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "FuzzHost.h"

namespace {

template <class F>
void OnThreads(int count, F body) {  // body(t) on `count` threads that all start together
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < count; ++t) threads.emplace_back([&, t] { go.wait(false); body(t); });
  go = true, go.notify_all();
  for (std::thread& thread : threads) thread.join();
}

#ifdef PXM_FIRST_USE_ONLY
// Every thread saves and loads a record (host strings, the transform) while another hands the module a collection.
TEST(FirstUse, ManyThreadsMakeTheirFirstHostStringsTogether) {
  ComPtr<IComponentCollection> collection = HostCreate<IComponentCollection>(L"GlobalComponentCollection", pxm::iid::IComponentCollection);  // handed over mid-way
  ASSERT_TRUE(collection);
  std::vector<ComPtr<IPXMImage>> images;
  for (int t = 0; t < 8; ++t) ASSERT_EQ(images.emplace_back(NewImage(kClassNames[t % 3]))->Create(7, 5, 1, 8, FOURCC_MONO), PXM_S_OK);
  std::atomic<int> saved{0}, loaded{0};
  OnThreads(9, [&](int t) {
    if (t == 8) return void(ModuleHost::Get().initializeModule(nullptr, collection.Get()));
    ComPtr<IDataStream> stream;
    HostApi::Get().createDataStream(reinterpret_cast<IDataStream**>(stream.Out()));
    auto persist = images[t].As<IDataPersist>(pxm::iid::IDataPersist);
    saved += PXM_SUCCEEDED(persist->Save(stream.Get(), 0));
    loaded += PXM_SUCCEEDED(persist->Load(stream.Get(), 0));
  });
  EXPECT_EQ((std::pair{saved.load(), loaded.load()}), (std::pair{8, 8}));
  images.clear();
  const int64_t alive = HostObjects();
  ModuleHost::Get().initializeModule(nullptr, nullptr);
  collection.Reset();
  EXPECT_LT(HostObjects(), alive) << "the collection handed over was let go: nothing else held it";
}

#else
constexpr int kThreads = 6;

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

#endif
}  // namespace
