// Loading sibling modules from the module directory, relative to the current directory.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "CountingCollection.h"
#include "ModuleHost.h"
#include "PXM/Module.h"
#include "PXM/ModuleLoader.h"

namespace {

tagREFString Text(const std::wstring& s) { return {static_cast<uint32_t>(s.size()), s.c_str()}; }

std::string PathOf(const std::wstring& name) {
  char path[256];
  if (!BuildModulePath(Text(name), path)) return "<refused>";
  return path;
}

TEST(ModulePath, PrefixNameSuffixWithNothingBetween) {
  EXPECT_EQ(PathOf(L"DuvirovurozAd"), std::string(kModuleDirectory) + "DuvirovurozAd" + kModuleSuffix);
  EXPECT_EQ(PathOf(L""), std::string(kModuleDirectory) + kModuleSuffix);
}

TEST(ModulePath, RefusesWhatDoesNotFitWithoutOverrunning) {
  const size_t room = 256 - (sizeof(kModuleDirectory) - 1) - sizeof(kModuleSuffix);
  const std::wstring longest(room, L'a');
  EXPECT_EQ(PathOf(longest).size(), 255u);
  EXPECT_EQ(PathOf(longest + L"a"), "<refused>");
  EXPECT_EQ(PathOf(std::wstring(100000, L'a')), "<refused>");
  // An embedded zero would load a different library than the name says.
  EXPECT_EQ(PathOf(std::wstring(L"PXM\0x", 5)), "<refused>");
}

// The tests' own sibling module counts how the loader initialises it.
struct TestSibling {
  TestSibling() : handle(dlopen(ModulePath("PXMTestSibling").c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~TestSibling() { dlclose(handle); }
  int InitializeCalls() const { return reinterpret_cast<int (*)()>(dlsym(handle, "TestSiblingInitializeCalls"))(); }
  IComponentCollection* LastCollection() const {
    return reinterpret_cast<IComponentCollection* (*)()>(dlsym(handle, "TestSiblingLastCollection"))();
  }
  void* handle;
};

TEST(ModuleLoader, InitialisesTheSiblingOnlyWithACollection) {
  TestSibling sibling;
  ASSERT_NE(sibling.handle, nullptr);
  gGlobalComponentCollection.Reset();
  const int before = sibling.InitializeCalls();

  PXMCreatorFunction first = MODULECreateFunction(Text(L"PXMTestSibling"), Text(L"Nothing"));
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(sibling.InitializeCalls(), before) << "no collection: the sibling is not initialised";

  CountingCollection collection;
  collection.AddRef();
  gGlobalComponentCollection = SmartPtr<IComponentCollection>(&collection);
  PXMCreatorFunction second = MODULECreateFunction(Text(L"PXMTestSibling"), Text(L"Nothing"));
  EXPECT_EQ(second, first) << "the loader returns the same library every time";
  EXPECT_EQ(sibling.InitializeCalls(), before + 1);
  EXPECT_EQ(sibling.LastCollection(), &collection);
  gGlobalComponentCollection.Reset();
  EXPECT_EQ(collection.References(), 1u);
}

TEST(ModuleLoader, HandsOutTheHostModulesCreators) {
  PXMCreatorFunction collection = MODULECreateFunction(Text(L"DuvirovurozAd"), Text(L"GlobalComponentCollection"));
  ASSERT_NE(collection, nullptr);
  EXPECT_EQ(MODULECreateFunction(Text(L"DuvirovurozAd"), Text(L"GlobalComponentCollection")), collection);
  EXPECT_NE(MODULECreateFunction(Text(L"DuvirovurozAd"), Text(L"ComponentString")), nullptr);
  ComPtr<IComponentCollection> made;
  EXPECT_EQ(collection(nullptr, &IID_IComponentCollection, made.Out()), PXM_S_OK);
  EXPECT_TRUE(made);
}

TEST(ModuleLoader, NullWhenModuleEntryOrClassIsMissing) {
  EXPECT_EQ(MODULECreateFunction(Text(L"NoSuchModule"), Text(L"Nothing")), nullptr);
  EXPECT_EQ(MODULECreateFunction(Text(L"PXMTestNoEntry"), Text(L"Nothing")), nullptr);
  EXPECT_EQ(MODULECreateFunction(Text(L"PXMTestSibling"), Text(L"Something")), nullptr);
  EXPECT_EQ(MODULECreateFunction(Text(std::wstring(300, L'x')), Text(L"Nothing")), nullptr);
}

}  // namespace
