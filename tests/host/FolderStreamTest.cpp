// The folder rules of the host's streams, through IFolderStream and the C API.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostString.h"
#include "HostTestSupport.h"
#include "duvirovurozad/DuvirovurozAd.h"

namespace {

// A key string for one call.
class Key {
 public:
  explicit Key(std::wstring_view text) : string_(host::Make<host::HostString>()) {
    string_->SetText(static_cast<uint32_t>(text.size()), text.data());
  }
  operator IString*() const { return string_.get(); }

 private:
  Ref<host::HostString> string_;
};

class FolderStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    liveBefore = DuvirovurozAdLiveObjects();
    ASSERT_EQ(DuvirovurozAdCreateDataStream(&stream), PXM_S_OK);
    ASSERT_EQ(stream->QueryInterface(pxm::iid::IFolderStream, root.out()), PXM_S_OK);
  }
  void TearDown() override {
    root.Reset();
    stream.Reset();
    EXPECT_EQ(DuvirovurozAdLiveObjects(), liveBefore);
  }

  // "v:key" or "f:key" for each entry, in order.
  std::vector<std::wstring> Entries(IUnknown* folder) {
    uint32_t count = 0;
    EXPECT_EQ(DuvirovurozAdListFolder(folder, nullptr, 0, &count, nullptr), PXM_S_OK);
    std::vector<DuvirovurozAdEntry> entries(count);
    EXPECT_EQ(DuvirovurozAdListFolder(folder, entries.data(), count, &count, nullptr), PXM_S_OK);
    std::vector<std::wstring> names;
    for (const DuvirovurozAdEntry& e : entries) {
      names.push_back((e.kind == DuvirovurozAdValue ? L"v:" : L"f:") + std::wstring(e.key, e.keyLength));
    }
    return names;
  }

  uint32_t ReadU32(IFolderStream* folder, std::wstring_view key, HRESULT* hr = nullptr) {
    uint32_t value = 0xDEADBEEF;
    const HRESULT result = folder->ReadValue(Key(key), &value, 4, 0);
    if (hr != nullptr) *hr = result;
    return value;
  }

  int64_t liveBefore = 0;
  Ref<IDataStream> stream;
  Ref<IFolderStream> root;
};

TEST_F(FolderStreamTest, ValuesAreReadBackOnlyWithTheirExactKeyAndSize) {
  const uint32_t width = 640;
  ASSERT_EQ(root->WriteValue(Key(L"Width"), &width, 4, 0), PXM_S_OK);
  EXPECT_EQ(ReadU32(root.get(), L"Width"), 640u);

  uint64_t wide = 7;
  EXPECT_EQ(root->ReadValue(Key(L"Width"), &wide, 8, 0), PXM_E_FAIL);  // stored size differs
  EXPECT_EQ(wide, 7u);
  HRESULT hr = PXM_S_OK;
  for (std::wstring_view other : {L"width", L"Widt", L"Width ", L"Height"}) {
    EXPECT_EQ(ReadU32(root.get(), other, &hr), 0xDEADBEEFu);
    EXPECT_EQ(hr, PXM_E_FAIL);
  }

  const uint32_t narrower = 320;  // replaced, in its place
  ASSERT_EQ(root->WriteValue(Key(L"Height"), &width, 4, 0), PXM_S_OK);
  ASSERT_EQ(root->WriteValue(Key(L"Width"), &narrower, 4, 0), PXM_S_OK);
  EXPECT_EQ(ReadU32(root.get(), L"Width"), 320u);
  EXPECT_EQ(Entries(root.get()), (std::vector<std::wstring>{L"v:Width", L"v:Height"}));

  ASSERT_EQ(root->WriteValue(Key(L""), nullptr, 0, 0), PXM_S_OK);  // empty key, empty value
  EXPECT_EQ(root->ReadValue(Key(L""), nullptr, 0, 0), PXM_S_OK);
}

TEST_F(FolderStreamTest, NullArgumentsAreRefusedWithoutChanges) {
  uint32_t value = 1, count = 5;
  IFolderStream* child = reinterpret_cast<IFolderStream*>(0x1234);
  EXPECT_EQ(root->WriteValue(nullptr, &value, 4, 0), PXM_E_POINTER);
  EXPECT_EQ(root->WriteValue(Key(L"A"), nullptr, 4, 0), PXM_E_POINTER);
  EXPECT_EQ(root->ReadValue(nullptr, &value, 4, 0), PXM_E_POINTER);
  EXPECT_EQ(root->Write(nullptr, 4, &count), PXM_E_POINTER);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(root->Read(nullptr, 4, &count), PXM_E_POINTER);
  EXPECT_EQ(root->CreateFolder(nullptr, 0, &child), PXM_E_POINTER);
  EXPECT_EQ(child, nullptr);
  EXPECT_EQ(root->OpenFolder(Key(L"A"), 0, nullptr), PXM_E_POINTER);
  EXPECT_TRUE(Entries(root.get()).empty());
  uint32_t contentSize = 9;
  EXPECT_EQ(DuvirovurozAdListFolder(root.get(), nullptr, 0, &count, &contentSize), PXM_S_OK);
  EXPECT_EQ(contentSize, 0u);
}

TEST_F(FolderStreamTest, ByteContentIsReadInOrderAndShortReadsFail) {
  Ref<IFolderStream> data;
  ASSERT_EQ(root->CreateFolder(Key(L"Data"), 0, &data), PXM_S_OK);
  EXPECT_EQ(data->Reserve(1000, 4, 0), PXM_S_OK);  // only room, no bytes
  uint32_t contentSize = 1;
  uint32_t count = 0;
  DuvirovurozAdListFolder(data.get(), nullptr, 0, &count, &contentSize);
  EXPECT_EQ(contentSize, 0u);

  std::vector<uint8_t> written(3000);
  for (size_t i = 0; i < written.size(); ++i) written[i] = static_cast<uint8_t>(i * 13);
  for (size_t at = 0; at < written.size(); at += 1000) {
    ASSERT_EQ(data->Write(written.data() + at, 1000, &count), PXM_S_OK);
    EXPECT_EQ(count, 1000u);
  }
  // Content stays below 4 GiB: refused before a byte of the buffer is read.
  EXPECT_EQ(data->Write(written.data(), UINT32_MAX, &count), PXM_E_OUTOFMEMORY);
  EXPECT_EQ(count, 0u);

  // Two views of the child read from its start, each at its own position.
  for (int load = 0; load < 2; ++load) {
    Ref<IFolderStream> view;
    ASSERT_EQ(root->OpenFolder(Key(L"Data"), 0, &view), PXM_S_OK);
    std::vector<uint8_t> read(3100, 0xAA);
    ASSERT_EQ(view->Read(read.data(), 2000, &count), PXM_S_OK);
    EXPECT_EQ(count, 2000u);
    EXPECT_EQ(view->Read(read.data() + 2000, 1100, &count), PXM_E_FAIL);  // what is left, then fails
    EXPECT_EQ(count, 1000u);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), read.begin()));
    EXPECT_EQ(read[3000], 0xAA);
    EXPECT_EQ(view->Read(read.data(), 1, &count), PXM_E_FAIL);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(view->Read(nullptr, 0, &count), PXM_S_OK);
  }
}

TEST_F(FolderStreamTest, FoldersAreFoundByKeyAndReplacedInPlace) {
  IFolderStream* missing = reinterpret_cast<IFolderStream*>(0x1234);
  EXPECT_EQ(root->OpenFolder(Key(L"Palette"), 0, &missing), PXM_E_FAIL);
  EXPECT_EQ(missing, nullptr);

  Ref<IFolderStream> first, second, old;
  ASSERT_EQ(root->CreateFolder(Key(L"Data"), 0, &first), PXM_S_OK);
  ASSERT_EQ(root->CreateFolder(Key(L"Palette"), 0, &second), PXM_S_OK);
  const uint32_t one = 1, two = 2;
  first->WriteValue(Key(L"Size"), &one, 4, 0);
  // A value may share a folder's key.
  ASSERT_EQ(root->WriteValue(Key(L"Data"), &two, 4, 0), PXM_S_OK);

  ASSERT_EQ(root->CreateFolder(Key(L"Data"), 0, &old), PXM_S_OK);  // replaces the first child
  EXPECT_EQ(Entries(root.get()), (std::vector<std::wstring>{L"f:Data", L"f:Palette", L"v:Data"}));
  Ref<IFolderStream> reopened;
  ASSERT_EQ(root->OpenFolder(Key(L"Data"), 0, &reopened), PXM_S_OK);
  EXPECT_TRUE(Entries(reopened.get()).empty());
  EXPECT_EQ(ReadU32(root.get(), L"Data"), 2u);
  // The replaced child lives on for the view that still holds it.
  EXPECT_EQ(ReadU32(first.get(), L"Size"), 1u);

  Ref<IFolderStream> byIndex;
  EXPECT_EQ(DuvirovurozAdOpenEntry(root.get(), 2, &byIndex), PXM_E_INVALIDARG);  // a value
  EXPECT_EQ(DuvirovurozAdOpenEntry(root.get(), 3, &byIndex), PXM_E_INVALIDARG);
  ASSERT_EQ(DuvirovurozAdOpenEntry(stream.get(), 1, &byIndex), PXM_S_OK);
  EXPECT_EQ(byIndex->Write("x", 1, nullptr), PXM_S_OK);
  uint32_t count = 0;
  DuvirovurozAdEntry entries[3];
  DuvirovurozAdListFolder(root.get(), entries, 3, &count, nullptr);
  EXPECT_EQ(entries[1].size, 1u);  // Palette's byte content
  EXPECT_EQ(entries[2].size, 4u);
  EXPECT_EQ(entries[2].value[0], 2u);
}

TEST_F(FolderStreamTest, NestingStopsAtTheDepthLimit) {
  IFolderStream* folder = root.get();
  folder->AddRef();
  for (int depth = 1; depth <= 32 && folder != nullptr; ++depth) {
    IFolderStream* child = nullptr;
    EXPECT_EQ(folder->CreateFolder(Key(L"Child"), 0, &child), PXM_S_OK) << depth;
    folder->Release();
    folder = child;
  }
  ASSERT_NE(folder, nullptr);
  IFolderStream* tooDeep = reinterpret_cast<IFolderStream*>(0x1234);
  EXPECT_EQ(folder->CreateFolder(Key(L"Child"), 0, &tooDeep), PXM_E_INVALIDARG);
  EXPECT_EQ(tooDeep, nullptr);
  folder->Release();
}

TEST_F(FolderStreamTest, ForeignObjectsAreNotFolders) {
  TestImage image({1, 1, 1, 8, 0, false, 0});
  uint32_t count = 0;
  EXPECT_EQ(DuvirovurozAdListFolder(&image, nullptr, 0, &count, nullptr), PXM_E_INVALIDARG);
  Ref<IFolderStream> child;
  EXPECT_EQ(DuvirovurozAdOpenEntry(&image, 0, &child), PXM_E_INVALIDARG);
}

}  // namespace
