// InitializeModule keeps exactly one reference to the host's collection.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "CountingCollection.h"
#include "ModuleHost.h"

namespace {

TEST(InitializeModule, KeepsOneReferenceAndNullDropsIt) {
  CountingCollection collection;
  const PXMInitializeModuleFunction initialize = ModuleHost::Get().initializeModule;
  ASSERT_NE(initialize, nullptr);
  EXPECT_EQ(initialize(nullptr, &collection), PXM_S_OK);
  EXPECT_EQ(collection.References(), 2u);
  EXPECT_EQ(initialize(nullptr, &collection), PXM_S_OK) << "again: the old reference goes, a new one is kept";
  EXPECT_EQ(collection.References(), 2u);
  EXPECT_EQ(initialize(nullptr, nullptr), PXM_S_OK);
  EXPECT_EQ(collection.References(), 1u);
  EXPECT_EQ(collection.addRefs, collection.releases);
}

TEST(InitializeModule, PlainNameIsTheSameEntryPoint) {
  auto plain = reinterpret_cast<PXMInitializeModuleFunction>(dlsym(ModuleHost::Get().handle, "InitializeModule"));
  ASSERT_NE(plain, nullptr);
  CountingCollection collection;
  plain(nullptr, &collection);
  EXPECT_EQ(collection.References(), 2u);
  ModuleHost::Get().initializeModule(nullptr, nullptr);
  EXPECT_EQ(collection.References(), 1u);
}

}  // namespace
