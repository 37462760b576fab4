// Loading through the real host module: no collection is handed to the module, so it fills its
// global collection from "DuvirovurozAd" and takes the transform from there. The host module's
// counters show the transform applied once for colour files only, and no host object left
// behind by a load.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "DibTestSupport.h"
#include "duvirovurozad/DuvirovurozAd.h"

namespace {

template <class F>
F HostSymbol(const char* name) {
  static void* module = dlopen(ModulePath("DuvirovurozAd").c_str(), RTLD_NOW | RTLD_LOCAL);
  return module ? reinterpret_cast<F>(dlsym(module, name)) : nullptr;
}

TEST(LoadWithHostModule, TransformOnceForColourAndNoObjectLeft) {
  const auto applied = HostSymbol<DuvirovurozAdTransformApplyCountFunction>("DuvirovurozAdTransformApplyCount");
  const auto live = HostSymbol<DuvirovurozAdLiveObjectsFunction>("DuvirovurozAdLiveObjects");
  ASSERT_TRUE(applied && live) << dlerror();

  const Bytes colour = MakeBlock(InfoHeaderBytes({.width = 3, .height = 2, .bitsPerPixel = 24}), 0, 4, 12, 2);
  const Bytes grey = MakeBlock(InfoHeaderBytes({.width = 3, .height = 2, .bitsPerPixel = 8}), 256, 4, 4, 2);
  const auto colourPath = WriteFile("colour.bmp", MakeFile(colour).data).wstring();
  const auto greyPath = WriteFile("grey.bmp", MakeFile(grey).data).wstring();
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  // The first load fills the module's holders (the collection, the string component), which live on.
  ASSERT_EQ(dib->Load(HostText(colourPath).Get()), PXM_S_OK);

  const int64_t liveBefore = live();
  const uint64_t appliedBefore = applied();
  ASSERT_EQ(dib->Load(HostText(colourPath).Get()), PXM_S_OK);
  EXPECT_EQ(applied(), appliedBefore + 1);
  // The host's transform exchanges the first and third byte of each pixel, in the block.
  uint8_t* block = nullptr;
  dib->GetDIB(&block, nullptr);
  for (uint32_t i = 40; i < colour.size(); ++i) {
    const uint32_t inRow = (i - 40) % 12;
    if (inRow >= 9) continue;  // padding
    const uint32_t source = inRow % 3 == 1 ? i : inRow % 3 == 0 ? i + 2 : i - 2;
    ASSERT_EQ(block[i], colour.data[source]) << i;
  }
  ASSERT_EQ(dib->Load(HostText(greyPath).Get()), PXM_S_OK);
  EXPECT_EQ(applied(), appliedBefore + 1) << "never for 8-bit grey";
  EXPECT_EQ(live(), liveBefore) << "the path and the transform's name are released";
}

}  // namespace
