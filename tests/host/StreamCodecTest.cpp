// Streams to bytes and files and back; damaged bytes are refused without a leak.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "HostString.h"
#include "HostTestSupport.h"
#include "duvirovurozad/DuvirovurozAd.h"

namespace {

using Bytes = std::vector<uint8_t>;

IString* NewKey(std::wstring_view text) {
  host::HostString* key = host::Make<host::HostString>();
  key->SetText(static_cast<uint32_t>(text.size()), text.data());
  return key;
}

void PutU32(IFolderStream* folder, std::wstring_view key, uint32_t value) {
  Ref<IString> name(NewKey(key));
  ASSERT_EQ(folder->WriteValue(name.get(), &value, 4, 0), PXM_S_OK);
}

IFolderStream* NewChild(IFolderStream* folder, std::wstring_view key) {
  Ref<IString> name(NewKey(key));
  IFolderStream* child = nullptr;
  EXPECT_EQ(folder->CreateFolder(name.get(), 0, &child), PXM_S_OK);
  return child;
}

Bytes ToBytes(IDataStream* stream) {
  uint8_t* bytes = nullptr;
  size_t size = 0;
  EXPECT_EQ(DuvirovurozAdStreamToBytes(stream, &bytes, &size), PXM_S_OK);
  Bytes copy(bytes, bytes + size);
  DuvirovurozAdFreeBytes(bytes);
  return copy;
}

class StreamCodecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    liveBefore = DuvirovurozAdLiveObjects();
    // An image record: values, a "Data" child with byte content, a nested "Palette".
    ASSERT_EQ(DuvirovurozAdCreateDataStream(&stream), PXM_S_OK);
    Ref<IFolderStream> root;
    ASSERT_EQ(stream->QueryInterface(pxm::iid::IFolderStream, root.out()), PXM_S_OK);
    PutU32(root.get(), L"Width", 5);
    PutU32(root.get(), L"Height", 2);
    Ref<IFolderStream> data(NewChild(root.get(), L"Data"));
    ASSERT_EQ(data->Write("0123456789", 10, nullptr), PXM_S_OK);
    Ref<IFolderStream> palette(NewChild(root.get(), L"Palette"));
    PutU32(palette.get(), L"Size", 1);
    Ref<IFolderStream> inner(NewChild(palette.get(), L"\u00e9"));  // a key beyond ASCII
    PutU32(root.get(), L"FOURCC", FOURCC_MONO);
  }
  void TearDown() override {
    stream.Reset();
    EXPECT_EQ(DuvirovurozAdLiveObjects(), liveBefore);
  }

  int64_t liveBefore = 0;
  Ref<IDataStream> stream;
};

TEST_F(StreamCodecTest, RoundTripKeepsEverything) {
  const Bytes bytes = ToBytes(stream.get());
  Ref<IDataStream> loaded;
  ASSERT_EQ(DuvirovurozAdStreamFromBytes(bytes.data(), bytes.size(), &loaded), PXM_S_OK);
  EXPECT_EQ(ToBytes(loaded.get()), bytes);

  // And through the interfaces, as the module reads a record.
  Ref<IFolderStream> root, data;
  ASSERT_EQ(loaded->QueryInterface(pxm::iid::IFolderStream, root.out()), PXM_S_OK);
  uint32_t width = 0;
  Ref<IString> key(NewKey(L"Width"));
  EXPECT_EQ(root->ReadValue(key.get(), &width, 4, 0), PXM_S_OK);
  EXPECT_EQ(width, 5u);
  Ref<IString> dataKey(NewKey(L"Data"));
  ASSERT_EQ(root->OpenFolder(dataKey.get(), 0, &data), PXM_S_OK);
  char text[11] = {};
  uint32_t count = 0;
  EXPECT_EQ(data->Read(text, 10, &count), PXM_S_OK);
  EXPECT_STREQ(text, "0123456789");
  uint32_t entryCount = 0;
  DuvirovurozAdEntry entries[4];
  ASSERT_EQ(DuvirovurozAdListFolder(root.get(), entries, 4, &entryCount, nullptr), PXM_S_OK);
  ASSERT_EQ(entryCount, 5u);
  EXPECT_EQ(std::wstring(entries[3].key, entries[3].keyLength), L"Palette");
  EXPECT_EQ(entries[3].kind, DuvirovurozAdFolder);
}

TEST_F(StreamCodecTest, EveryTruncationIsRefused) {
  const Bytes bytes = ToBytes(stream.get());
  for (size_t size = 0; size < bytes.size(); ++size) {
    // A copy of exactly this size, so that a read past it is caught by the sanitizers.
    const Bytes cut(bytes.begin(), bytes.begin() + size);
    IDataStream* loaded = reinterpret_cast<IDataStream*>(0x1234);
    EXPECT_EQ(DuvirovurozAdStreamFromBytes(cut.data(), cut.size(), &loaded), PXM_E_INVALIDARG) << size;
    EXPECT_EQ(loaded, nullptr);
  }
  Bytes longer = bytes;
  longer.push_back(0);
  IDataStream* loaded = nullptr;
  EXPECT_EQ(DuvirovurozAdStreamFromBytes(longer.data(), longer.size(), &loaded), PXM_E_INVALIDARG);
}

// Little-endian builders for hand-made input.
void U32(Bytes& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
Bytes Header(uint32_t version = 1) {
  Bytes out = {'D', 'V', 'S', 'T'};
  U32(out, version);
  return out;
}

TEST_F(StreamCodecTest, DamagedInputIsRefused) {
  const struct {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"wrong magic", [] { Bytes b = Header(); b[0] = 'X'; U32(b, 0); U32(b, 0); return b; }()},
      {"wrong version", [] { Bytes b = Header(2); U32(b, 0); U32(b, 0); return b; }()},
      {"huge content", [] { Bytes b = Header(); U32(b, 0xFFFFFFFF); U32(b, 0); return b; }()},
      {"huge entry count", [] { Bytes b = Header(); U32(b, 0); U32(b, 0xFFFFFFFF); b.resize(64); return b; }()},
      {"huge key", [] { Bytes b = Header(); U32(b, 0); U32(b, 1); b.push_back(1); U32(b, 0x40000000); U32(b, 0); return b; }()},
      {"huge value", [] { Bytes b = Header(); U32(b, 0); U32(b, 1); b.push_back(1); U32(b, 0); U32(b, 0xFFFFFFF0); return b; }()},
      {"unknown kind", [] { Bytes b = Header(); U32(b, 0); U32(b, 1); b.push_back(3); U32(b, 0); U32(b, 0); return b; }()},
  };
  for (const auto& c : cases) {
    IDataStream* loaded = nullptr;
    EXPECT_EQ(DuvirovurozAdStreamFromBytes(c.bytes.data(), c.bytes.size(), &loaded), PXM_E_INVALIDARG) << c.what;
    EXPECT_EQ(loaded, nullptr);
  }
  IDataStream* loaded = nullptr;
  EXPECT_EQ(DuvirovurozAdStreamFromBytes(nullptr, 5, &loaded), PXM_E_POINTER);
  EXPECT_EQ(DuvirovurozAdStreamFromBytes(nullptr, 0, &loaded), PXM_E_INVALIDARG);
}

// Folders nested depth deep, each the only entry (key "") of its parent.
Bytes Nested(uint32_t depth) {
  Bytes b = Header();
  for (uint32_t level = 0; level < depth; ++level) {
    U32(b, 0);  // no content
    U32(b, 1);  // one entry: a folder with an empty key
    b.push_back(2);
    U32(b, 0);
  }
  U32(b, 0);
  U32(b, 0);
  return b;
}

TEST_F(StreamCodecTest, NestingBeyondTheLimitIsRefused) {
  Ref<IDataStream> loaded;
  const Bytes deepest = Nested(32);
  ASSERT_EQ(DuvirovurozAdStreamFromBytes(deepest.data(), deepest.size(), &loaded), PXM_S_OK);
  EXPECT_EQ(ToBytes(loaded.get()), deepest);
  for (uint32_t depth : {33u, 10000u}) {
    const Bytes tooDeep = Nested(depth);
    IDataStream* refused = nullptr;
    EXPECT_EQ(DuvirovurozAdStreamFromBytes(tooDeep.data(), tooDeep.size(), &refused), PXM_E_INVALIDARG) << depth;
  }
}

// The names of the files in a folder.
std::vector<std::string> Files(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  while (dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  }
  if (dir != nullptr) closedir(dir);
  return names;
}

TEST_F(StreamCodecTest, FilesRoundTripAndLeaveNoTemporaries) {
  char folderTemplate[] = "/tmp/duvirovurozad-test-XXXXXX";
  ASSERT_NE(mkdtemp(folderTemplate), nullptr);
  const std::string folder = folderTemplate;
  const std::string path = folder + "/record.dvst";

  ASSERT_EQ(DuvirovurozAdWriteStreamFile(stream.get(), path.c_str()), PXM_S_OK);
  ASSERT_EQ(DuvirovurozAdWriteStreamFile(stream.get(), path.c_str()), PXM_S_OK);  // over the old one
  EXPECT_EQ(Files(folder), std::vector<std::string>{"record.dvst"});
  Ref<IDataStream> loaded;
  ASSERT_EQ(DuvirovurozAdReadStreamFile(path.c_str(), &loaded), PXM_S_OK);
  EXPECT_EQ(ToBytes(loaded.get()), ToBytes(stream.get()));

  IDataStream* none = nullptr;
  EXPECT_EQ(DuvirovurozAdReadStreamFile((folder + "/missing").c_str(), &none), PXM_E_FAIL);
  EXPECT_EQ(DuvirovurozAdReadStreamFile(folder.c_str(), &none), PXM_E_FAIL);  // a folder
  EXPECT_EQ(DuvirovurozAdWriteStreamFile(stream.get(), (folder + "/no/such/folder").c_str()), PXM_E_FAIL);
  EXPECT_EQ(DuvirovurozAdWriteStreamFile(stream.get(), nullptr), PXM_E_POINTER);
  EXPECT_EQ(none, nullptr);

  unlink(path.c_str());
  EXPECT_TRUE(Files(folder).empty());
  rmdir(folder.c_str());
}

}  // namespace
