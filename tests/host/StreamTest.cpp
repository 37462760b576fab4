// The host's data streams: the folder rules through IFolderStream and the C API, and the byte form, whose damaged input is refused.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>

#include "HostString.h"
#include "ScratchFiles.h"
#include "duvirovurozad/DuvirovurozAd.h"
#include "pxm/ComPtr.h"


using Bytes = std::vector<uint8_t>;
struct Key : ComPtr<host::HostString> {  // a key string for one call
  explicit Key(std::wstring_view text) : ComPtr(host::Make<host::HostString>()) { Get()->SetText(uint32_t(text.size()), text.data()); }
  operator IString*() const { return Get(); }
};
template <class I> I** Out(ComPtr<I>& holder) { return reinterpret_cast<I**>(holder.Out()); }

std::vector<std::wstring> Entries(IUnknown* folder) {  // "v:key" or "f:key" for each entry in order, then the content size
  uint32_t count = 0, contentSize = 0;
  EXPECT_EQ(DuvirovurozAdListFolder(folder, nullptr, 0, &count, &contentSize), PXM_S_OK);
  std::vector<DuvirovurozAdEntry> entries(count);
  EXPECT_EQ(DuvirovurozAdListFolder(folder, entries.data(), count, &count, nullptr), PXM_S_OK);
  std::vector<std::wstring> names;
  for (const DuvirovurozAdEntry& e : entries) names.push_back((e.kind == DuvirovurozAdValue ? L"v:" : L"f:") + std::wstring(e.key, e.keyLength));
  return names.push_back(std::to_wstring(contentSize)), names;
}
uint32_t ReadU32(IFolderStream* folder, std::wstring_view key, HRESULT expected = PXM_S_OK) {
  uint32_t value = 0xDEADBEEF;
  EXPECT_EQ(folder->ReadValue(Key(key), &value, 4, 0), expected);
  return value;
}
ComPtr<IFolderStream> Child(IFolderStream* folder, std::wstring_view key, bool create) {
  ComPtr<IFolderStream> child;
  EXPECT_EQ(create ? folder->CreateFolder(Key(key), 0, Out(child)) : folder->OpenFolder(Key(key), 0, Out(child)), PXM_S_OK);
  return child;
}
Bytes ToBytes(IDataStream* stream) {
  uint8_t* bytes = nullptr;
  size_t size = 0;
  EXPECT_EQ(DuvirovurozAdStreamToBytes(stream, &bytes, &size), PXM_S_OK);
  const Bytes copy(bytes, bytes + size);
  return DuvirovurozAdFreeBytes(bytes), copy;
}
HRESULT FromBytes(const Bytes& bytes, ComPtr<IDataStream>& out) { return DuvirovurozAdStreamFromBytes(bytes.data(), bytes.size(), Out(out)); }

struct Stream : testing::Test {
  void SetUp() override { DuvirovurozAdCreateDataStream(Out(stream)); root = stream.As<IFolderStream>(pxm::iid::IFolderStream); }
  void TearDown() override { root.Reset(); stream.Reset(); EXPECT_EQ(DuvirovurozAdLiveObjects(), live) << "every object released"; }
  int64_t live = DuvirovurozAdLiveObjects();
  ComPtr<IDataStream> stream;
  ComPtr<IFolderStream> root;
};

// The magic, the version, folders nested depth deep (each the only entry, kind 2 with key "" and no content, of its parent), then the words
// given, with the byte (an entry's kind) after the second.
Bytes Encoded(std::vector<uint32_t> words, uint32_t version = 1, int kind = -1, uint32_t depth = 0) {
  Bytes b = {'D', 'V', 'S', 'T'};
  const auto u32 = [&](uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); };
  u32(version);
  for (uint32_t level = 0; level < depth; ++level) { u32(0); u32(1); b.push_back(2); u32(0); }
  for (size_t i = 0; i < words.size(); ++i) { u32(words[i]); if (i == 1 && kind >= 0) b.push_back(uint8_t(kind)); }
  return b;
}

// Values are read back only with their exact key and size; a value or folder written again replaces the old one in its place; nesting stops
// at 32; null arguments change nothing. The byte form holds it all, and damaged bytes are refused without a leak.
TEST_F(Stream, FoldersKeepValuesFoldersAndContentByExactKeyAndRoundTripAsBytes) {
  const uint32_t width = 640, narrower = 320;
  uint64_t wide = 7;
  const IID dataStream = pxm::IIDFromName("IDataStream");
  ASSERT_TRUE(stream.As<IUnknown>(dataStream) && root && !root.As<IUnknown>(dataStream)) << "a data stream's folder view is no data stream";
  ASSERT_EQ(root->WriteValue(Key(L"Width"), &width, 4, 0), PXM_S_OK);
  EXPECT_TRUE(root->ReadValue(Key(L"Width"), &wide, 8, 0) == PXM_E_FAIL && wide == 7) << "stored size differs";
  for (std::wstring_view other : {L"width", L"Widt", L"Width "}) EXPECT_EQ(ReadU32(root.Get(), other, PXM_E_FAIL), 0xDEADBEEFu);
  ComPtr<IFolderStream> first = Child(root.Get(), L"Data", true), palette = Child(root.Get(), L"Palette", true);
  first->WriteValue(Key(L"Size"), &width, 4, 0); Child(palette.Get(), L"\u00e9", true);  // a key beyond ASCII
  ASSERT_EQ(root->WriteValue(Key(L"Data"), &width, 4, 0), PXM_S_OK);     // a value may share a folder's key
  ASSERT_EQ(root->WriteValue(Key(L"Width"), &narrower, 4, 0), PXM_S_OK);  // replaced, in its place
  ComPtr<IFolderStream> data = Child(root.Get(), L"Data", true);           // replaces the first child
  EXPECT_EQ(Entries(root.Get()), (std::vector<std::wstring>{L"v:Width", L"f:Data", L"f:Palette", L"v:Data", L"0"}));
  EXPECT_EQ((std::vector{ReadU32(root.Get(), L"Width"), ReadU32(root.Get(), L"Data")}), (std::vector{320u, 640u}));
  EXPECT_EQ(ReadU32(first.Get(), L"Size"), 640u) << "the replaced child lives on for its holder";
  ComPtr<IFolderStream> byIndex;  // an entry by index must be a folder; an object of another kind is no folder
  uint32_t count = 0;
  ASSERT_EQ(DuvirovurozAdOpenEntry(stream.Get(), 2, Out(byIndex)), PXM_S_OK);
  EXPECT_EQ(byIndex->Write("x", 1, nullptr), PXM_S_OK);
  EXPECT_EQ(Entries(palette.Get()), (std::vector<std::wstring>{L"f:\u00e9", L"1"})) << "entry 2 is the palette";
  EXPECT_EQ(DuvirovurozAdOpenEntry(root.Get(), 0, Out(byIndex)) & DuvirovurozAdOpenEntry(root.Get(), 4, Out(byIndex)) &
                DuvirovurozAdListFolder(Key(L"x"), nullptr, 0, &count, nullptr), PXM_E_INVALIDARG);
  // Byte content: reserving makes room, no bytes; a new view reads from the start, a short read fails.
  EXPECT_EQ(data->Reserve(5 << 20, 4, 0), PXM_S_OK);  // a large content block
  Bytes written(3000), read(3100, 0xAA);
  for (size_t i = 0; i < written.size(); ++i) written[i] = uint8_t(i * 13);
  for (size_t at = 0; at < written.size(); at += 1000) ASSERT_EQ(data->Write(written.data() + at, 1000, &count), PXM_S_OK);
  EXPECT_EQ(data->Write(written.data(), UINT32_MAX, &count), PXM_E_OUTOFMEMORY) << "refused before a byte is read";
  ComPtr<IFolderStream> reader = Child(root.Get(), L"Data", false);
  ASSERT_EQ(reader->Read(read.data(), 2000, &count), PXM_S_OK);
  EXPECT_EQ(reader->Read(read.data() + 2000, 1100, &count), PXM_E_FAIL);  // what is left, then fails
  EXPECT_TRUE(count == 1000 && Bytes(read.begin(), read.begin() + 3000) == written && read[3000] == 0xAA);
  IFolderStream* child = root.Get();
  EXPECT_EQ(root->WriteValue(nullptr, &width, 4, 0) & root->WriteValue(Key(L"A"), nullptr, 4, 0) & root->ReadValue(nullptr, &wide, 4, 0) &
                root->Read(nullptr, 4, &count) & root->OpenFolder(Key(L"A"), 0, nullptr) & root->CreateFolder(nullptr, 0, &child),
            PXM_E_POINTER);
  EXPECT_TRUE(count == 0 && child == nullptr);
  EXPECT_TRUE(root->OpenFolder(Key(L"Missing"), 0, &(child = root.Get())) == PXM_E_FAIL && child == nullptr);
  ComPtr<IFolderStream> folder = root;
  for (int depth = 1; depth <= 32; ++depth) ASSERT_TRUE(folder = Child(folder.Get(), L"Child", true)) << depth;
  EXPECT_TRUE(folder->CreateFolder(Key(L"Child"), 0, &(child = root.Get())) == PXM_E_INVALIDARG && child == nullptr);
  const Bytes bytes = ToBytes(stream.Get());
  ComPtr<IDataStream> loaded;
  ASSERT_EQ(FromBytes(bytes, loaded), PXM_S_OK);
  EXPECT_EQ(ToBytes(loaded.Get()), bytes);
  ComPtr<IFolderStream> loadedRoot = loaded.As<IFolderStream>(pxm::iid::IFolderStream);
  EXPECT_TRUE(ReadU32(loadedRoot.Get(), L"Width") == 320 && Entries(loadedRoot.Get()) == Entries(root.Get()));
  Bytes wrongMagic = Encoded({0, 0}), manyEntries = Encoded({0, 0xFFFFFFFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // 48 bytes for them
  wrongMagic[0] = 'X';
  std::vector<std::pair<std::string, Bytes>> cases = {
      {"wrong magic", wrongMagic}, {"wrong version", Encoded({0, 0}, 2)}, {"huge content", Encoded({0xFFFFFFFF, 0})}, {"huge entry count", manyEntries},
      {"huge key", Encoded({0, 1, 0x40000000, 0}, 1, 1)}, {"huge value", Encoded({0, 1, 0, 0xFFFFFFF0}, 1, 1)}, {"unknown kind", Encoded({0, 1, 0, 0}, 1, 3)},
      {"33 deep", Encoded({0, 0}, 1, -1, 33)}, {"10000 deep", Encoded({0, 0}, 1, -1, 10000)}, {"one byte too many", bytes}};
  cases.back().second.push_back(0);
  // Every cut too: a copy of exactly that size, so a read past it is caught.
  for (size_t size = 0; size < bytes.size(); ++size) cases.push_back({"cut at " + std::to_string(size), Bytes(bytes.begin(), bytes.begin() + size)});
  for (const auto& [what, damaged] : cases) EXPECT_TRUE(FromBytes(damaged, loaded) == PXM_E_INVALIDARG && !loaded) << what;
  ASSERT_EQ(FromBytes(Encoded({0, 0}, 1, -1, 32), loaded), PXM_S_OK);
  EXPECT_EQ(ToBytes(loaded.Get()), Encoded({0, 0}, 1, -1, 32));
  uint8_t* none = nullptr;
  size_t size = 0;
  EXPECT_EQ(DuvirovurozAdStreamFromBytes(nullptr, 5, Out(loaded)) & DuvirovurozAdStreamToBytes(stream.Get(), &none, nullptr) &
                DuvirovurozAdStreamToBytes(stream.Get(), nullptr, &size) & DuvirovurozAdListFolder(root.Get(), nullptr, 5, &count, nullptr) &
                DuvirovurozAdWriteStreamFile(stream.Get(), nullptr), PXM_E_POINTER);
  EXPECT_EQ(DuvirovurozAdStreamFromBytes(nullptr, 0, Out(loaded)), PXM_E_INVALIDARG);
  // Files (the round trip runs as two processes in the tool tests): what cannot be done.
  EXPECT_EQ(DuvirovurozAdReadStreamFile("/nonexistent/record", Out(loaded)) & DuvirovurozAdReadStreamFile("/", Out(loaded)) &
                DuvirovurozAdWriteStreamFile(stream.Get(), "/nonexistent/folder/record"), PXM_E_FAIL);
  EXPECT_FALSE(loaded);
  // Whole, though errno was left at EINTR: only a failed call is retried (and a file stops at 1 MiB).
  const rlimit limit{1 << 20, 1 << 20};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const std::string path = (ScratchFolder() / "stream-file").string();
  errno = EINTR;
  EXPECT_EQ(DuvirovurozAdWriteStreamFile(stream.Get(), path.c_str()) | DuvirovurozAdReadStreamFile(path.c_str(), Out(loaded)), PXM_S_OK);
  EXPECT_EQ(ToBytes(loaded.Get()), bytes);
}

