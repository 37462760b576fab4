// IDataPersist of the three classes as a host meets it: the module loaded by path, a host of the
// tests' own (a counting collection, a folder that logs every call), records moved between
// classes, and the host module's real streams: spoilt bytes, and a file that another process
// reads (CTest runs the two steps, PXM_PERSIST_STEP "write" then "read").
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "CountingFolder.h"
#include "TestImage.h"
#include "duvirovurozad/DuvirovurozAd.h"

namespace {

CountingHost& Host() { return CountingHost::Install(ModuleHost::Get().initializeModule); }
ComPtr<IPXMImage> NewImage(const std::wstring& className) { return Host(), ModuleHost::Get().Create<IPXMImage>(className, pxm::iid::IPXMImage); }
const wchar_t* const kClasses[] = {L"PXMImage", L"PXMImageDIB", L"PXMImageCANVAS"};
#define HOST_API(name) reinterpret_cast<decltype(&name)>(dlsym(Host().library, #name))

// The integer argument has no effect; loads pass another one than saves.
ComPtr<IDataPersist> Persist(IPXMImage* image) {
  ComPtr<IDataPersist> persist;
  image->QueryInterface(pxm::iid::IDataPersist, persist.Out());
  return persist;
}
HRESULT Save(IPXMImage* image, IDataStream* stream) { return Persist(image)->Save(stream, 0); }
HRESULT Load(IPXMImage* image, IDataStream* stream) { return Persist(image)->Load(stream, 1); }
// Through a stream of the tests' own, which must be left with only the test's reference.
HRESULT Through(const ComPtr<CountingFolder>& folder, HRESULT (*call)(IPXMImage*, IDataStream*), IPXMImage* image) {
  ComPtr<TestDataStream> stream(new TestDataStream(folder));
  const HRESULT hr = call(image, stream.Get());
  EXPECT_EQ(stream->refCount(), 1u);
  return hr;
}
HRESULT Save(IPXMImage* image, const ComPtr<CountingFolder>& folder) { return Through(folder, Save, image); }
HRESULT Load(IPXMImage* image, const ComPtr<CountingFolder>& folder) { return Through(folder, Load, image); }

using Shape = view::Described;
using view::Describe;
uint8_t* Row(IPXMImage* image, uint32_t plane, uint32_t y) { return view::Plane(image, plane).Row(y); }
// Row y of plane p holds bytes seed + p * 97 + y * 31 + x.
ComPtr<IPXMImage> Painted(const std::wstring& className, Shape s, uint8_t seed) {
  ComPtr<IPXMImage> image = NewImage(className);
  EXPECT_EQ(image->Create(s.width, s.height, s.planes, s.bits, s.fourcc), PXM_S_OK);
  s = Describe(image.Get());
  for (uint32_t p = 0; p < s.planes; ++p)
    for (uint32_t y = 0; y < s.height; ++y)
      for (uint32_t x = 0; x < s.Packed(); ++x) Row(image.Get(), p, y)[x] = uint8_t(seed + p * 97 + y * 31 + x);
  return image;
}

class DataPersist : public testing::Test {
 protected:
  void SetUp() override { Host().Reset(); }
  // Every reference the module took is given back: no host string or stream is left alive.
  void ExpectReleased(const CountingFolder& folder) {
    EXPECT_TRUE(folder.ReferencesSettled());
    EXPECT_EQ(Host().HostObjects(), objects);
    EXPECT_EQ(Host().collection.addRefs - Host().collection.releases, 1);
  }
  const int64_t objects = Host().HostObjects();
};

TEST_F(DataPersist, NoStreamOrNoFolderViewFailsAndTouchesNothing) {
  for (const wchar_t* className : kClasses) {
    ComPtr<IDataPersist> persist = NewImage(className).As<IDataPersist>(pxm::iid::IDataPersist);
    ComPtr<TestDataStream> stream(new TestDataStream(CountingFolder::Make()));
    stream->refuseFolderView = true;
    EXPECT_EQ(persist->Save(nullptr, 0) & persist->Load(nullptr, 0) & persist->Save(stream.Get(), 0) & persist->Load(stream.Get(), 0), PXM_E_FAIL);
    EXPECT_TRUE(stream->folder->Calls().empty());
    EXPECT_EQ(stream->refCount() * 10 + stream->folder->refCount(), 11u);
  }
}

// What each class puts in its record; the canvas's colour goes first and is read first.
TEST_F(DataPersist, EachClassWritesItsRecord) {
  const struct {
    const wchar_t* className;
    Shape shape;
    int32_t direction;
    uint32_t storedBits, dataBytes;
  } cases[] = {
      {L"PXMImage", {5, 2, 3, 8, FOURCC_MONO}, 8, 8, 30},            // rows of 5 bytes padded to 8
      {L"PXMImageDIB", {10, 3, 1, 8, FOURCC_RGB}, -12, 8, 30},        // bottom-up rows, a palette
      {L"PXMImageCANVAS", {10, 3, 1, 24, FOURCC_RGB}, -40, 32, 120},  // 24 bits kept as 32
  };
  for (const auto& c : cases) {
    SetUp();
    ComPtr<IPXMImage> image = Painted(c.className, c.shape, 1);
    ComPtr<IPXMImageCANVAS> canvas = image.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS);
    if (canvas) canvas->put_TransparentColor(0x00123456);
    ComPtr<CountingFolder> folder = CountingFolder::Make();
    ASSERT_EQ(Save(image.Get(), folder), PXM_S_OK);
    std::vector<std::string> keys = {"Width", "Height", "BitsPerPixel", "NumberPlanes", "FOURCC", "Direction", "Data"};
    if (c.direction == -12) keys.push_back("Palette");
    if (canvas) keys.insert(keys.begin(), "TranparentColor");
    EXPECT_EQ(folder->Keys(), keys);
    EXPECT_EQ(folder->Value32("Direction"), uint32_t(c.direction));
    EXPECT_EQ(folder->Value32("BitsPerPixel"), c.storedBits);
    EXPECT_EQ(folder->Child("Data")->content.size(), c.dataBytes);
    EXPECT_EQ(folder->Child("Palette") ? folder->Child("Palette")->Find("Data")->value.size() : 1024u, 1024u);
    EXPECT_EQ(Host().TransformLookups(), int(c.shape.planes));
    EXPECT_EQ(RefCount(image.Get()), canvas ? 2u : 1u);
    ExpectReleased(*folder.Get());
    if (!canvas) continue;
    EXPECT_EQ(folder->Value32("TranparentColor"), 0x00123456u);
    ComPtr<IPXMImage> target = NewImage(L"PXMImageCANVAS");
    folder->log->clear();
    ASSERT_EQ(Load(target.Get(), folder), PXM_S_OK);
    EXPECT_EQ(folder->Calls({"ReadValue"}).front().key, "TranparentColor");
    int colour = 0;
    target.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS)->get_TransparentColor(&colour);
    EXPECT_EQ(colour, 0x00123456);
    // A record without a colour loads all the same, and the canvas keeps its own.
    ComPtr<CountingFolder> dib = CountingFolder::Make();
    ASSERT_EQ(Save(Painted(L"PXMImageDIB", {4, 2, 1, 24, FOURCC_RGB}, 2).Get(), dib), PXM_S_OK);
    EXPECT_EQ(Load(target.Get(), dib), PXM_S_OK);
    target.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS)->get_TransparentColor(&colour);
    EXPECT_EQ(colour, 0x00123456);
  }
}

// Rows land by their index whatever each class's row direction.
TEST_F(DataPersist, RecordsMoveBetweenClassesRowsInOrder) {
  const struct {
    const wchar_t* from;
    Shape shape;
    const wchar_t* to;
    HRESULT result;
  } cases[] = {
      {L"PXMImage", {5, 3, 1, 8, FOURCC_MONO}, L"PXMImageDIB", PXM_S_OK}, {L"PXMImage", {3, 2, 1, 32, FOURCC_MONO}, L"PXMImageCANVAS", PXM_S_OK},
      // A class of one plane answers every plane index with it, so it keeps the last plane's rows.
      {L"PXMImage", {4, 2, 3, 8, FOURCC_MONO}, L"PXMImageCANVAS", PXM_S_OK},
      {L"PXMImageDIB", {7, 3, 1, 32, FOURCC_ARGB}, L"PXMImageCANVAS", PXM_S_OK}, {L"PXMImageDIB", {7, 3, 1, 24, FOURCC_RGB}, L"PXMImageDIB", PXM_S_OK},
      {L"PXMImageDIB", {9, 2, 1, 4, FOURCC_RGB}, L"PXMImageDIB", PXM_S_OK}, {L"PXMImageDIB", {5, 2, 1, 8, FOURCC_MONO}, L"PXMImage", PXM_S_OK},
      {L"PXMImageCANVAS", {5, 2, 1, 8, FOURCC_MONO}, L"PXMImage", PXM_S_OK}, {L"PXMImageCANVAS", {3, 2, 1, 32, FOURCC_RGB}, L"PXMImageDIB", PXM_S_OK},
      // The raster image keeps grey only: what its Create refuses is the result.
      {L"PXMImageCANVAS", {3, 2, 1, 32, FOURCC_RGB}, L"PXMImage", PXM_E_NOTCREATABLE},
      {L"PXMImageDIB", {3, 2, 1, 24, FOURCC_RGB}, L"PXMImage", PXM_E_NOTCREATABLE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::wstring(c.from).size() << " " << c.shape.bits << " bits into " << std::wstring(c.to).size());
    ComPtr<IPXMImage> source = Painted(c.from, c.shape, 40), target = NewImage(c.to);
    ComPtr<CountingFolder> folder = CountingFolder::Make();
    ASSERT_EQ(Save(source.Get(), folder), PXM_S_OK);
    const uint64_t applies = Host().Applies();
    ASSERT_EQ(Load(target.Get(), folder), c.result);
    ExpectReleased(*folder.Get());
    if (PXM_FAILED(c.result)) continue;
    const Shape saved = Describe(source.Get()), loaded = Describe(target.Get());
    EXPECT_EQ(loaded.width * 1000 + loaded.height, saved.width * 1000 + saved.height);
    // Colour rows are stored transformed, and transformed back on loading from 24 bits on.
    EXPECT_EQ(Host().Applies() - applies, saved.fourcc != FOURCC_MONO && saved.bits >= 24 ? 1u : 0u);
    for (uint32_t y = 0; y < saved.height; ++y)
      ASSERT_EQ(0, std::memcmp(Row(target.Get(), 0, y), Row(source.Get(), loaded.planes < saved.planes ? saved.planes - 1 : 0, y),
                               std::min(saved.Packed(), loaded.Packed())))
          << y;
  }
}

TEST_F(DataPersist, DibPalettesSurviveARoundTrip) {
  for (uint32_t bits : {1u, 4u, 8u}) {
    ComPtr<IPXMImage> dib = Painted(L"PXMImageDIB", {6, 2, 1, bits, FOURCC_RGB}, 0), copy = NewImage(L"PXMImageDIB");
    std::vector<uint32_t> colours(1u << bits);
    for (uint32_t i = 0; i < colours.size(); ++i) colours[i] = 0x00010203u * (i + 1) & 0x00FFFFFFu;
    dib.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette)->SetPalette(colours.data(), uint32_t(colours.size()), 0);
    ComPtr<CountingFolder> folder = CountingFolder::Make(), again = CountingFolder::Make();
    ASSERT_EQ(Save(dib.Get(), folder), PXM_S_OK);
    ASSERT_EQ(Load(copy.Get(), folder), PXM_S_OK);
    ASSERT_EQ(Save(copy.Get(), again), PXM_S_OK);
    EXPECT_EQ(folder->Child("Palette")->Value32("Size"), colours.size()) << bits;
    EXPECT_EQ(again->Child("Palette")->Find("Data")->value, folder->Child("Palette")->Find("Data")->value) << bits;
  }
}

ComPtr<IDataStream> NewStream(const std::vector<uint8_t>* bytes = nullptr) {
  ComPtr<IDataStream> stream;
  if (bytes) HOST_API(DuvirovurozAdStreamFromBytes)(bytes->data(), bytes->size(), reinterpret_cast<IDataStream**>(stream.Out()));
  else HOST_API(DuvirovurozAdCreateDataStream)(reinterpret_cast<IDataStream**>(stream.Out()));
  return stream;
}
// Two grey planes for the raster image, 32-bit colour otherwise.
ComPtr<IPXMImage> FileSource(const std::wstring& className) {
  const bool raster = className == L"PXMImage";
  return Painted(className, {6, 4, raster ? 2u : 1u, raster ? 8u : 32u, raster ? FOURCC_MONO : FOURCC_RGB}, 3);
}

// Every byte of a saved stream spoilt in turn: the host refuses the bytes or hands out what it
// read, the load gives a result code, and nothing is left behind.
TEST_F(DataPersist, SpoiltHostStreamBytesLeakNothing) {
  ComPtr<IDataStream> saved = NewStream();
  ASSERT_EQ(Save(FileSource(L"PXMImage").Get(), saved.Get()), PXM_S_OK);
  uint8_t* data = nullptr;
  size_t size = 0;
  ASSERT_EQ(HOST_API(DuvirovurozAdStreamToBytes)(saved.Get(), &data, &size), PXM_S_OK);
  const std::vector<uint8_t> bytes(data, data + size);
  HOST_API(DuvirovurozAdFreeBytes)(data);
  saved.Reset();
  for (size_t at = 0; at < bytes.size(); ++at)
    for (uint8_t spoil : {uint8_t(0xFF), uint8_t(bytes[at] ^ 0x80)}) {
      std::vector<uint8_t> damaged = bytes;
      damaged[at] = spoil;
      ComPtr<IDataStream> parsed = NewStream(&damaged);
      for (const wchar_t* into : kClasses) {
        ComPtr<IPXMImage> target = NewImage(into);
        if (parsed) Load(target.Get(), parsed.Get());
        EXPECT_EQ(RefCount(target.Get()), 1u);
      }
    }
  EXPECT_EQ(Host().HostObjects(), objects);
}

TEST_F(DataPersist, FileStep) {
  const char* step = std::getenv("PXM_PERSIST_STEP");
  if (!step) GTEST_SKIP() << "runs as the write and read steps of the file fixture";
  for (const std::wstring className : kClasses) {
    const std::string path = std::string(std::getenv("PXM_PERSIST_FILE")) + "-" + std::to_string(className.size());
    ComPtr<IDataStream> stream = NewStream();
    ComPtr<IPXMImage> expected = FileSource(className), loaded = NewImage(className);
    if (std::string(step) == "write") {
      ASSERT_EQ(Save(expected.Get(), stream.Get()), PXM_S_OK);
      ASSERT_EQ(HOST_API(DuvirovurozAdWriteStreamFile)(stream.Get(), path.c_str()), PXM_S_OK);
      continue;
    }
    ASSERT_EQ(HOST_API(DuvirovurozAdReadStreamFile)(path.c_str(), reinterpret_cast<IDataStream**>(stream.Out())), PXM_S_OK) << path;
    ASSERT_EQ(Load(loaded.Get(), stream.Get()), PXM_S_OK);
    const Shape s = Describe(expected.Get());
    ASSERT_EQ(Describe(loaded.Get()).planes, s.planes);
    for (uint32_t p = 0; p < s.planes; ++p)
      for (uint32_t y = 0; y < s.height; ++y) EXPECT_EQ(0, std::memcmp(Row(loaded.Get(), p, y), Row(expected.Get(), p, y), s.Packed()));
  }
}

}  // namespace
