// The frame's internals: sibling module paths and loading, and where host strings come from. The module keeps its string component for the
// life of the process, so the strings come last.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "CountingCollection.h"
#include "ModuleHost.h"
#include "PXM/HostServices.h"
#include "PXM/Module.h"
#include "PXM/ModuleLoader.h"
#include "PXM/REFString.h"
#include "PXM/SmartPtr.h"

std::string PathOf(const std::wstring& name) {
  char path[kModulePathCapacity];
  return BuildModulePath(Ref(name), path) ? path : "<refused>";
}

TEST(ModuleLoader, PathsSiblingsAndTheHostsStrings) {
  // Beside this program's own directory (the module's, when loaded as one), whatever the current one.
  const std::string base = ModuleBaseDirectory();
  EXPECT_EQ(base, std::string(PXM_MODULE_DIR).substr(0, std::string(PXM_MODULE_DIR).rfind('/') + 1));
  EXPECT_EQ(PathOf(L"DuvirovurozAd"), base + kModuleDirectory + "DuvirovurozAd" + kModuleSuffix);
  const std::wstring longest(kModulePathCapacity - base.size() - (sizeof(kModuleDirectory) - 1) - sizeof(kModuleSuffix), L'a');
  EXPECT_EQ(PathOf(longest).size(), kModulePathCapacity - 1);
  for (const std::wstring& refused : {longest + L"a", std::wstring(100000, L'a'), std::wstring(L"PXM\0x", 5)})
    EXPECT_EQ(PathOf(refused), "<refused>") << "too long, or an embedded zero that would load another library";
  // The tests' own sibling counts how the loader initialises it: only with a collection.
  void* sibling = dlopen(ModulePath("PXMTestSibling").c_str(), RTLD_NOW | RTLD_LOCAL);
  auto calls = reinterpret_cast<int (*)()>(dlsym(sibling, "TestSiblingInitializeCalls"));
  auto last = reinterpret_cast<IComponentCollection* (*)()>(dlsym(sibling, "TestSiblingLastCollection"));
  gGlobalComponentCollection.Reset();
  const int before = calls();
  PXMCreatorFunction creator = MODULECreateFunction(Ref(L"PXMTestSibling"), Ref(L"Nothing"));
  EXPECT_TRUE(creator && calls() == before);
  CountingCollection collection;
  gGlobalComponentCollection.Replace((collection.AddRef(), &collection));
  EXPECT_EQ(MODULECreateFunction(Ref(L"PXMTestSibling"), Ref(L"Nothing")), creator) << "the same library every time";
  EXPECT_TRUE(calls() == before + 1 && last() == &collection);
  gGlobalComponentCollection.Reset(); dlclose(sibling);
  EXPECT_EQ(collection.References(), 1u);
  for (const wchar_t* module : {L"NoSuchModule", L"PXMTestNoEntry", L"PXMTestSibling"})
    EXPECT_EQ(MODULECreateFunction(Ref(module), Ref(L"Something")), nullptr);
  // Host strings come from the collection's string component, asked once.
  ComPtr<IComponentCollection> host;  // the real host's components, from its own collection
  MODULECreateFunction(Ref(L"DuvirovurozAd"), Ref(L"GlobalComponentCollection"))(nullptr, &IID_IComponentCollection, host.Out());
  ComPtr<IUnknown> strings, transform;
  host->GetComponent(15, L"CreatableString", nullptr, strings.Out()); host->GetComponent(12, L"PXMTransform", &IID_IPXMTransform, transform.Out());
  collection.Register(L"CreatableString", strings.Get()); collection.Register(L"PXMTransform", transform.Get());
  InitializeModule(nullptr, &collection);
  ComPtr<ICreatableString> first(CREFString::CreateString()), second(CREFString::CreateString());
  ASSERT_TRUE(first && second && first.Get() != second.Get()) << "every call makes a new string";
  EXPECT_TRUE(TextOf(first.Get()).empty() && collection.lookups[L"CreatableString"] == 1);
  EXPECT_EQ(TextOf(MakeHostString(L"Width").Get()), L"Width");
  EXPECT_TRUE(GetTransformComponent() && collection.lookups[L"PXMTransform"] == 1);
  EXPECT_EQ(collection.References(), 2u) << "only InitializeModule's reference stays";
  SmartPtr<IUnknown> none, same((strings->AddRef(), strings.Get()));  // compared by identity, null only with null
  EXPECT_TRUE(none == nullptr && !(none == strings.Get()) && !(same == nullptr) && same == strings.Get() && !(same == transform.Get()));
  InitializeModule(nullptr, nullptr);
  EXPECT_EQ(collection.References(), 1u);
}

