// Host strings come from the string component of the collection the host handed the module;
// the component is asked for once and kept.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "CountingCollection.h"
#include "ModuleHost.h"
#include "PXM/HostServices.h"
#include "PXM/Module.h"
#include "PXM/REFString.h"

namespace {

// The real host's component, taken from its own collection.
ComPtr<IUnknown> HostComponent(const wchar_t* name, const IID* iid) {
  void* library = dlopen(ModulePath("DuvirovurozAd").c_str(), RTLD_NOW | RTLD_LOCAL);
  auto create = reinterpret_cast<PXMCreateFunction>(dlsym(library, "CreateFunction"));
  void* creator = nullptr;
  create({25, L"GlobalComponentCollection"}, &creator);
  ComPtr<IComponentCollection> collection;
  reinterpret_cast<PXMCreatorFunction>(creator)(nullptr, &pxm::iid::IComponentCollection, collection.Out());
  ComPtr<IUnknown> component;
  collection->GetComponent(uint32_t(std::wcslen(name)), name, iid, component.Out());
  return component;
}

std::wstring TextOf(IString* s) {
  const wchar_t* text = nullptr;
  uint32_t length = 0;
  s->GetText(&text, &length);
  return std::wstring(text, length);
}

TEST(HostStrings, ComeFromTheCollectionsStringComponentAskedOnce) {
  CountingCollection collection;
  collection.Register(L"CreatableString", HostComponent(L"CreatableString", nullptr).Get());
  collection.Register(L"PXMTransform", HostComponent(L"PXMTransform", &pxm::iid::IPXMTransform).Get());
  InitializeModule(nullptr, &collection);

  ComPtr<ICreatableString> first(CREFString::CreateString());
  ASSERT_TRUE(first);
  EXPECT_EQ(TextOf(first.Get()), L"");
  ComPtr<ICreatableString> second(CREFString::CreateString());
  ASSERT_TRUE(second);
  EXPECT_NE(first.Get(), second.Get()) << "every call makes a new string";
  EXPECT_EQ(collection.lookups[L"CreatableString"], 1);

  SmartPtr<ICreatableString> key = MakeHostString(L"Width");
  ASSERT_TRUE(key);
  EXPECT_EQ(TextOf(key.Get()), L"Width");

  // The transform is looked up by its name as a host string, with the collection's
  // reference taken and dropped around the call.
  const uint32_t before = collection.References();
  SmartPtr<IPXMTransform> transform = GetTransformComponent();
  EXPECT_TRUE(transform);
  EXPECT_EQ(collection.lookups[L"PXMTransform"], 1);
  EXPECT_EQ(collection.References(), before);
  EXPECT_EQ(collection.addRefs - collection.releases, 1) << "only InitializeModule's reference stays";

  InitializeModule(nullptr, nullptr);
  EXPECT_EQ(collection.References(), 1u);
}

}  // namespace
