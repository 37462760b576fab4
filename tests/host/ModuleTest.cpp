// Host-level tests of the module frame, the collection, the string component and strings.
#include <gtest/gtest.h>

#include <string>

#include "HostModule.h"

namespace {

const IID kIDataStream = pxm::IIDFromName("IDataStream");
const IID kIString = pxm::IIDFromName("IString");

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module.Loaded()) << dlerror();
    liveBefore = module.LiveObjects();
  }
  // Everything a test took must have been released.
  void TearDown() override { EXPECT_EQ(module.LiveObjects(), liveBefore); }

  std::wstring Text(IString* string) {
    const wchar_t* text = nullptr;
    uint32_t length = 99;
    EXPECT_EQ(string->GetText(&text, &length), PXM_S_OK);
    EXPECT_NE(text, nullptr);
    return std::wstring(text, length);
  }

  HostModule& module = HostModule::Get();
  int64_t liveBefore = 0;
};

TEST_F(ModuleTest, CreateFunctionMatchesWholeNamesExactly) {
  const struct {
    std::wstring_view name;
    HRESULT result;
  } cases[] = {
      {L"GlobalComponentCollection", PXM_S_OK},
      {L"ComponentString", PXM_S_OK},
      {L"DataStream", PXM_S_OK},
      {L"DataStrea", PXM_E_FAIL},
      {L"DataStreams", PXM_E_FAIL},
      {L"datastream", PXM_E_FAIL},
      {L"PXMImage", PXM_E_FAIL},
      {L"", PXM_E_FAIL},
  };
  for (const auto& c : cases) {
    void* creator = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(module.CreateFunction(c.name, &creator), c.result) << std::wstring(c.name).c_str();
    if (c.result < 0) EXPECT_EQ(creator, reinterpret_cast<void*>(0x1234));  // left unchanged
    else EXPECT_NE(creator, nullptr);
  }
  // Only the given length counts: no terminator is needed.
  const wchar_t longer[] = L"DataStreamAndMore";
  void* creator = nullptr;
  EXPECT_EQ(module.Symbol<PXMCreateFunction>("CreateFunction")(tagREFString{10, longer}, &creator), PXM_S_OK);
  EXPECT_EQ(module.Symbol<PXMInitializeModuleFunction>("InitializeModule")(nullptr, nullptr), PXM_S_OK);
}

TEST_F(ModuleTest, CreatorHandsOutOneReferenceOrNothing) {
  for (std::wstring_view name : {L"ComponentString", L"DataStream", L"GlobalComponentCollection"}) {
    Ref<IUnknown> object;
    ASSERT_EQ(module.Create(name, pxm::iid::IUnknown, object), PXM_S_OK);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);

    void* refused = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(module.Creator(name)(nullptr, &pxm::iid::IPXMImage, &refused), PXM_E_NOINTERFACE);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(module.Creator(name)(nullptr, nullptr, &refused), PXM_E_POINTER);
  }
}

TEST_F(ModuleTest, GlobalCollectionIsSharedUntilItsLastReference) {
  Ref<IComponentCollection> first, second;
  ASSERT_EQ(module.Create(L"GlobalComponentCollection", pxm::iid::IComponentCollection, first), PXM_S_OK);
  ASSERT_EQ(module.Create(L"GlobalComponentCollection", pxm::iid::IComponentCollection, second), PXM_S_OK);
  EXPECT_EQ(first.get(), second.get());
  EXPECT_EQ(module.LiveObjects(), liveBefore + 1);
  EXPECT_EQ(first->AddRef(), 3u);  // one for each creator call, and this one
  first->Release();
  first.Reset();
  second.Reset();
  EXPECT_EQ(module.LiveObjects(), liveBefore);  // gone with its last reference
  ASSERT_EQ(module.Create(L"GlobalComponentCollection", pxm::iid::IUnknown, first), PXM_S_OK);
  EXPECT_EQ(first->AddRef(), 2u);  // a fresh one
  first->Release();
}

TEST_F(ModuleTest, CollectionLooksUpComponentsByName) {
  Ref<IComponentCollection> collection;
  ASSERT_EQ(module.Create(L"GlobalComponentCollection", pxm::iid::IComponentCollection, collection), PXM_S_OK);
  const struct {
    std::wstring_view name;
    const IID* iid;
    HRESULT result;
  } cases[] = {
      {L"CreatableString", nullptr, PXM_S_OK},
      {L"CreatableString", &pxm::iid::IComponentString, PXM_S_OK},
      {L"CreatableString", &pxm::iid::IUnknown, PXM_S_OK},
      {L"CreatableString", &pxm::iid::IPXMTransform, PXM_E_NOINTERFACE},
      {L"PXMTransform", &pxm::iid::IPXMTransform, PXM_S_OK},
      {L"PXMTransform", nullptr, PXM_S_OK},
      {L"PXMTransform", &pxm::iid::IComponentString, PXM_E_NOINTERFACE},
      {L"PXMTransfor", nullptr, PXM_E_FAIL},
      {L"pxmtransform", nullptr, PXM_E_FAIL},
      {L"GlobalComponentCollection", nullptr, PXM_E_FAIL},
      {L"", nullptr, PXM_E_FAIL},
  };
  for (const auto& c : cases) {
    void* component = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(collection->GetComponent(static_cast<uint32_t>(c.name.size()), c.name.data(), c.iid, &component),
              c.result)
        << std::wstring(c.name).c_str();
    if (c.result < 0) {
      EXPECT_EQ(component, nullptr);
      continue;
    }
    ASSERT_NE(component, nullptr);
    static_cast<IUnknown*>(component)->Release();
  }
  EXPECT_EQ(collection->GetComponent(3, nullptr, nullptr, nullptr), PXM_E_POINTER);
}

TEST_F(ModuleTest, StringComponentNeedsItsDescription) {
  const struct {
    std::wstring_view part4, part1;
    HRESULT result;
  } cases[] = {
      {L"Collections", L"CreatableString", PXM_S_OK},
      {L"", L"", PXM_E_FAIL},
      {L"Collections", L"", PXM_E_FAIL},
      {L"", L"CreatableString", PXM_E_FAIL},
      {L"Collections", L"CreatableStrin", PXM_E_FAIL},
      {L"collections", L"CreatableString", PXM_E_FAIL},
  };
  for (const auto& c : cases) {
    Ref<IComponentString> component;
    ASSERT_EQ(module.Create(L"ComponentString", pxm::iid::IComponentString, component), PXM_S_OK);
    void* string = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(component->CreateObject(&pxm::iid::ICreatableString, &string), PXM_E_FAIL);  // not described yet
    EXPECT_EQ(string, nullptr);
    if (!c.part4.empty()) component->SetPart(4, static_cast<uint32_t>(c.part4.size()), c.part4.data());
    if (!c.part1.empty()) component->SetPart(1, static_cast<uint32_t>(c.part1.size()), c.part1.data());
    EXPECT_EQ(component->CreateObject(&pxm::iid::ICreatableString, &string), c.result);
    if (c.result >= 0) static_cast<IUnknown*>(string)->Release();
    else EXPECT_EQ(string, nullptr);
  }
  // The collection's string component comes described.
  Ref<IComponentCollection> collection;
  ASSERT_EQ(module.Create(L"GlobalComponentCollection", pxm::iid::IComponentCollection, collection), PXM_S_OK);
  Ref<IComponentString> component;
  ASSERT_EQ(collection->GetComponent(15, L"CreatableString", nullptr, component.out()), PXM_S_OK);
  Ref<ICreatableString> string;
  ASSERT_EQ(component->CreateObject(&pxm::iid::ICreatableString, string.out()), PXM_S_OK);
  EXPECT_EQ(Text(string.get()), L"");
}

TEST_F(ModuleTest, StringsHoldWhatTheyAreGiven) {
  Ref<IComponentCollection> collection;
  ASSERT_EQ(module.Create(L"GlobalComponentCollection", pxm::iid::IComponentCollection, collection), PXM_S_OK);
  Ref<IComponentString> component;
  ASSERT_EQ(collection->GetComponent(15, L"CreatableString", nullptr, component.out()), PXM_S_OK);
  Ref<ICreatableString> string;
  ASSERT_EQ(component->CreateObject(&pxm::iid::ICreatableString, string.out()), PXM_S_OK);

  EXPECT_EQ(Text(string.get()), L"");
  EXPECT_EQ(string->SetText(5, L"Width and more"), PXM_S_OK);
  EXPECT_EQ(Text(string.get()), L"Width");
  for (wchar_t c : std::wstring_view(L"PXM")) EXPECT_EQ(string->AppendText(1, &c), PXM_S_OK);
  EXPECT_EQ(Text(string.get()), L"WidthPXM");
  EXPECT_EQ(string->SetText(0, nullptr), PXM_S_OK);  // replaces
  EXPECT_EQ(Text(string.get()), L"");

  // Appending the string's own text, many times, while it moves as it grows.
  string->SetText(1, L"x");
  for (int i = 0; i < 12; ++i) {
    const wchar_t* text = nullptr;
    uint32_t length = 0;
    string->GetText(&text, &length);
    ASSERT_EQ(string->AppendText(length, text), PXM_S_OK);
  }
  EXPECT_EQ(Text(string.get()), std::wstring(4096, L'x'));

  // Refusals leave the text as it was.
  EXPECT_EQ(string->SetText(2, nullptr), PXM_E_POINTER);
  EXPECT_EQ(string->AppendText(2, nullptr), PXM_E_POINTER);
  EXPECT_EQ(string->GetText(nullptr, nullptr), PXM_E_POINTER);
  EXPECT_EQ(Text(string.get()).size(), 4096u);

  // One object behind every face.
  for (const IID* iid : {&kIString, &pxm::iid::ICreatableString, &pxm::iid::IUnknown}) {
    void* face = nullptr;
    ASSERT_EQ(string->QueryInterface(*iid, &face), PXM_S_OK);
    EXPECT_EQ(face, static_cast<void*>(string.get()));
    static_cast<IUnknown*>(face)->Release();
  }
  void* none = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(string->QueryInterface(pxm::iid::IComponentString, &none), PXM_E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
}

TEST_F(ModuleTest, DataStreamHandsOutFolderViews) {
  Ref<IDataStream> stream;
  ASSERT_EQ(module.Create(L"DataStream", kIDataStream, stream), PXM_S_OK);
  Ref<IFolderStream> first, second;
  ASSERT_EQ(stream->QueryInterface(pxm::iid::IFolderStream, first.out()), PXM_S_OK);
  ASSERT_EQ(stream->QueryInterface(pxm::iid::IFolderStream, second.out()), PXM_S_OK);
  // Both views show the one root folder.
  ASSERT_EQ(first->Write("abc", 3, nullptr), PXM_S_OK);
  char read[4] = {};
  uint32_t count = 0;
  EXPECT_EQ(second->Read(read, 3, &count), PXM_S_OK);
  EXPECT_STREQ(read, "abc");
  // A view is a folder, not a data stream.
  void* none = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(first->QueryInterface(kIDataStream, &none), PXM_E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
