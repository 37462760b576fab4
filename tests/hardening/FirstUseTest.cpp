// The module's first use from many threads at once, in a process of its own (the module fills its
// host-string component and collection once per process): every thread saves and loads a record,
// which needs host strings and the transform, while another hands the module a collection. Also
// built with ThreadSanitizer by .ci/run.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "FuzzHost.h"

namespace {

TEST(FirstUse, ManyThreadsMakeTheirFirstHostStringsTogether) {
  constexpr int kThreads = 8;
  ComPtr<IComponentCollection> collection;  // the host module's own, handed over mid-way
  void* creator = nullptr;
  HostModuleFunction<PXMCreateFunction>("CreateFunction")({25, L"GlobalComponentCollection"}, &creator);
  reinterpret_cast<PXMCreatorFunction>(creator)(nullptr, &pxm::iid::IComponentCollection, collection.Out());
  ASSERT_TRUE(collection);
  std::vector<ComPtr<IPXMImage>> images;
  for (int t = 0; t < kThreads; ++t) ASSERT_EQ((images.push_back(NewImage(kClassNames[t % 3])), images.back()->Create(7, 5, 1, 8, FOURCC_MONO)), PXM_S_OK);
  std::atomic<bool> go{false};
  std::atomic<int> saved{0}, loaded{0};
  std::vector<std::thread> threads;
  for (int t = 0; t <= kThreads; ++t)
    threads.emplace_back([&, t] {
      go.wait(false);
      if (t == kThreads) return void(ModuleHost::Get().initializeModule(nullptr, collection.Get()));
      ComPtr<IDataStream> stream;
      HostApi::Get().createDataStream(reinterpret_cast<IDataStream**>(stream.Out()));
      auto persist = images[t].As<IDataPersist>(pxm::iid::IDataPersist);
      saved += PXM_SUCCEEDED(persist->Save(stream.Get(), 0));
      loaded += PXM_SUCCEEDED(persist->Load(stream.Get(), 0));
    });
  go = true, go.notify_all();
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(saved * 100 + loaded, kThreads * 101);
  images.clear();
  const int64_t alive = HostObjects();
  ModuleHost::Get().initializeModule(nullptr, nullptr);
  collection.Reset();
  EXPECT_LT(HostObjects(), alive) << "the collection handed over was let go: nothing else held it";
}

}  // namespace
