// IDataPersist of the three classes as a host meets it: the module loaded by path, a host of the
// tests' own (strings, counting transform, a folder that logs every call), records moved between
// classes, and the host module's real streams: as bytes, spoilt at every offset, and written to a
// file that another process reads (CTest runs the two steps, PXM_PERSIST_STEP "write" and "read").
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "CountingFolder.h"
#include "ModuleHost.h"
#include "duvirovurozad/DuvirovurozAd.h"

namespace {

CountingHost& Host() { return CountingHost::Install(ModuleHost::Get().initializeModule); }

ComPtr<IPXMImage> NewImage(const std::wstring& className) {
  Host();
  return ModuleHost::Get().Create<IPXMImage>(className, pxm::iid::IPXMImage);
}

// The host module's C API, found by name as a host finds it.
template <class F>
F HostApi(const char* name) {
  static void* library = dlopen(ModulePath("DuvirovurozAd").c_str(), RTLD_NOW | RTLD_LOCAL);
  return reinterpret_cast<F>(dlsym(library, name));
}
#define HOST_API(name) HostApi<decltype(&name)>(#name)

ComPtr<IDataPersist> Persist(IPXMImage* image) {
  ComPtr<IDataPersist> persist;
  image->QueryInterface(pxm::iid::IDataPersist, persist.Out());
  return persist;
}
// The integer argument has no effect; loads pass another one than saves.
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

struct Shape {
  uint32_t width = 0, height = 0, planes = 0, bits = 0, fourcc = 0;
  uint32_t Packed() const { return bits * width / 8; }
};
Shape Describe(IPXMImage* image) {
  Shape s;
  image->GetSize(&s.width, &s.height, &s.planes);
  image->GetPixelDescriptor(&s.bits, &s.fourcc, nullptr);
  return s;
}
uint8_t* Row(IPXMImage* image, uint32_t plane, uint32_t y) {
  uint32_t size = 0;
  uint8_t* data = nullptr;
  int32_t stride = 0;
  image->GetImage(plane, &size, &data, &stride);
  return data + int64_t{y} * stride;
}

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

void ExpectSameRows(IPXMImage* loaded, IPXMImage* expected) {
  const Shape s = Describe(expected);
  ASSERT_EQ(Describe(loaded).planes, s.planes);
  for (uint32_t p = 0; p < s.planes; ++p)
    for (uint32_t y = 0; y < s.height; ++y)
      ASSERT_EQ(0, std::memcmp(Row(loaded, p, y), Row(expected, p, y), s.Packed())) << p << " " << y;
}

const wchar_t* const kClasses[] = {L"PXMImage", L"PXMImageDIB", L"PXMImageCANVAS"};

class DataPersist : public testing::Test {
 protected:
  void SetUp() override {
    Host().Reset();
    objects = Host().HostObjects();
  }
  // Every reference the module took is given back: no host string or stream is left alive.
  void ExpectReleased(const CountingFolder& folder) {
    EXPECT_TRUE(folder.ReferencesSettled());
    EXPECT_EQ(Host().HostObjects(), objects);
    EXPECT_EQ(Host().collection.addRefs - Host().collection.releases, 1);
  }
  int64_t objects = 0;
};

TEST_F(DataPersist, NoStreamOrNoFolderViewFailsAndTouchesNothing) {
  for (const wchar_t* className : kClasses) {
    ComPtr<IDataPersist> persist = NewImage(className).As<IDataPersist>(pxm::iid::IDataPersist);
    EXPECT_EQ(persist->Save(nullptr, 0), PXM_E_FAIL);
    EXPECT_EQ(persist->Load(nullptr, 0), PXM_E_FAIL);
    ComPtr<TestDataStream> stream(new TestDataStream(CountingFolder::Make()));
    stream->refuseFolderView = true;
    EXPECT_EQ(persist->Save(stream.Get(), 0), PXM_E_FAIL);
    EXPECT_EQ(persist->Load(stream.Get(), 0), PXM_E_FAIL);
    EXPECT_TRUE(stream->folder->Calls().empty());
    EXPECT_EQ(stream->refCount(), 1u);
    EXPECT_EQ(stream->folder->refCount(), 1u);
  }
}

// What each class puts in its record; the canvas's colour goes first and is read first.
TEST_F(DataPersist, EachClassWritesItsRecord) {
  const struct {
    const wchar_t* className;
    Shape shape;
    std::vector<std::string> keys;
    int32_t direction;
    uint32_t storedBits, dataBytes;
  } cases[] = {
      {L"PXMImage", {5, 2, 3, 8, FOURCC_MONO}, {}, 8, 8, 30},  // rows of 5 bytes padded to 8
      {L"PXMImageDIB", {10, 3, 1, 8, FOURCC_RGB}, {"Palette"}, -12, 8, 30},  // bottom-up rows
      {L"PXMImageCANVAS", {10, 3, 1, 24, FOURCC_RGB}, {}, -40, 32, 120},  // 24 bits kept as 32, bottom-up
  };
  for (const auto& c : cases) {
    Host().Reset();
    ComPtr<IPXMImage> image = Painted(c.className, c.shape, 1);
    ComPtr<IPXMImageCANVAS> canvas = image.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS);
    if (canvas) canvas->put_TransparentColor(0x00123456);
    ComPtr<CountingFolder> folder = CountingFolder::Make();
    ASSERT_EQ(Save(image.Get(), folder), PXM_S_OK);
    std::vector<std::string> keys = {"Width", "Height", "BitsPerPixel", "NumberPlanes", "FOURCC", "Direction", "Data"};
    keys.insert(keys.end(), c.keys.begin(), c.keys.end());
    if (canvas) keys.insert(keys.begin(), "TranparentColor");
    EXPECT_EQ(folder->Keys(), keys);
    EXPECT_EQ(folder->Value32("Direction"), uint32_t(c.direction));
    EXPECT_EQ(folder->Value32("BitsPerPixel"), c.storedBits);
    EXPECT_EQ(folder->Child("Data")->content.size(), c.dataBytes);
    if (folder->Child("Palette")) {
      EXPECT_EQ(folder->Child("Palette")->Find("Data")->value.size(), 1024u);
    }
    EXPECT_EQ(Host().TransformLookups(), static_cast<int>(c.shape.planes));
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
  }
  // A record without a colour loads into a canvas, which keeps its own.
  ComPtr<IPXMImage> canvas = NewImage(L"PXMImageCANVAS");
  canvas.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS)->put_TransparentColor(77);
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  ASSERT_EQ(Save(Painted(L"PXMImageDIB", {4, 2, 1, 24, FOURCC_RGB}, 2).Get(), folder), PXM_S_OK);
  EXPECT_EQ(Load(canvas.Get(), folder), PXM_S_OK);
  int colour = 0;
  canvas.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS)->get_TransparentColor(&colour);
  EXPECT_EQ(colour, 77);
}

struct Crossing {
  const wchar_t* from;
  Shape shape;
  const wchar_t* to;
  HRESULT result;
};

// Rows land by their index whatever each class's row direction.
TEST_F(DataPersist, RecordsMoveBetweenClassesRowsInOrder) {
  const Crossing cases[] = {
      {L"PXMImage", {5, 3, 1, 8, FOURCC_MONO}, L"PXMImageDIB", PXM_S_OK},
      {L"PXMImage", {3, 2, 1, 32, FOURCC_MONO}, L"PXMImageCANVAS", PXM_S_OK},
      // A class of one plane answers every plane index with it, so it keeps the last plane's rows.
      {L"PXMImage", {4, 2, 3, 8, FOURCC_MONO}, L"PXMImageCANVAS", PXM_S_OK},
      {L"PXMImageDIB", {7, 3, 1, 32, FOURCC_ARGB}, L"PXMImageCANVAS", PXM_S_OK},
      {L"PXMImageDIB", {7, 3, 1, 24, FOURCC_RGB}, L"PXMImageDIB", PXM_S_OK},
      {L"PXMImageDIB", {9, 2, 1, 4, FOURCC_RGB}, L"PXMImageDIB", PXM_S_OK},
      {L"PXMImageDIB", {5, 2, 1, 8, FOURCC_MONO}, L"PXMImage", PXM_S_OK},
      {L"PXMImageCANVAS", {5, 2, 1, 8, FOURCC_MONO}, L"PXMImage", PXM_S_OK},
      {L"PXMImageCANVAS", {3, 2, 1, 32, FOURCC_RGB}, L"PXMImageDIB", PXM_S_OK},
      // The raster image keeps grey only: what its Create refuses is the result.
      {L"PXMImageCANVAS", {3, 2, 1, 32, FOURCC_RGB}, L"PXMImage", PXM_E_NOTCREATABLE},
      {L"PXMImageDIB", {3, 2, 1, 24, FOURCC_RGB}, L"PXMImage", PXM_E_NOTCREATABLE},
  };
  for (const Crossing& c : cases) {
    SCOPED_TRACE(testing::Message() << std::wstring(c.from).size() << " " << c.shape.bits << " bits into "
                                    << std::wstring(c.to).size());
    ComPtr<IPXMImage> source = Painted(c.from, c.shape, 40);
    const Shape saved = Describe(source.Get());
    ComPtr<CountingFolder> folder = CountingFolder::Make();
    ASSERT_EQ(Save(source.Get(), folder), PXM_S_OK);
    const uint64_t applies = Host().Applies();
    ComPtr<IPXMImage> target = NewImage(c.to);
    ASSERT_EQ(Load(target.Get(), folder), c.result);
    ExpectReleased(*folder.Get());
    if (PXM_FAILED(c.result)) continue;
    const Shape loaded = Describe(target.Get());
    EXPECT_EQ(loaded.width * 1000 + loaded.height, saved.width * 1000 + saved.height);
    // Colour rows are stored transformed and transformed back on loading from 24 bits on.
    EXPECT_EQ(Host().Applies() - applies, saved.fourcc != FOURCC_MONO && saved.bits >= 24 ? 1u : 0u);
    const uint32_t plane = loaded.planes < saved.planes ? saved.planes - 1 : 0;
    for (uint32_t y = 0; y < saved.height; ++y)
      ASSERT_EQ(0, std::memcmp(Row(target.Get(), 0, y), Row(source.Get(), plane, y), std::min(saved.Packed(), loaded.Packed()))) << y;
  }
}

TEST_F(DataPersist, DibPalettesSurviveARoundTrip) {
  for (uint32_t bits : {1u, 4u, 8u}) {
    ComPtr<IPXMImage> dib = Painted(L"PXMImageDIB", {6, 2, 1, bits, FOURCC_RGB}, 0);
    std::vector<uint32_t> colours(1u << bits);
    for (uint32_t i = 0; i < colours.size(); ++i) colours[i] = 0x00010203u * (i + 1) & 0x00FFFFFFu;
    dib.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette)->SetPalette(colours.data(), uint32_t(colours.size()), 0);
    ComPtr<CountingFolder> folder = CountingFolder::Make();
    ASSERT_EQ(Save(dib.Get(), folder), PXM_S_OK);
    ComPtr<IPXMImage> copy = NewImage(L"PXMImageDIB");
    ASSERT_EQ(Load(copy.Get(), folder), PXM_S_OK);
    ComPtr<CountingFolder> again = CountingFolder::Make();
    ASSERT_EQ(Save(copy.Get(), again), PXM_S_OK);
    EXPECT_EQ(again->Child("Palette")->Find("Data")->value, folder->Child("Palette")->Find("Data")->value) << bits;
    EXPECT_EQ(folder->Child("Palette")->Value32("Size"), colours.size()) << bits;
  }
}

// --- the host module's streams ---------------------------------------------------------------

ComPtr<IDataStream> NewStream() {
  ComPtr<IDataStream> stream;
  HOST_API(DuvirovurozAdCreateDataStream)(reinterpret_cast<IDataStream**>(stream.Out()));
  return stream;
}
std::vector<uint8_t> ToBytes(IDataStream* stream) {
  uint8_t* bytes = nullptr;
  size_t size = 0;
  EXPECT_EQ(HOST_API(DuvirovurozAdStreamToBytes)(stream, &bytes, &size), PXM_S_OK);
  std::vector<uint8_t> out(bytes, bytes + size);
  HOST_API(DuvirovurozAdFreeBytes)(bytes);
  return out;
}
ComPtr<IDataStream> FromBytes(const std::vector<uint8_t>& bytes) {
  ComPtr<IDataStream> stream;
  HOST_API(DuvirovurozAdStreamFromBytes)(bytes.data(), bytes.size(), reinterpret_cast<IDataStream**>(stream.Out()));
  return stream;
}

// Two grey planes for the raster image, 32-bit colour otherwise.
ComPtr<IPXMImage> FileSource(const std::wstring& className) {
  const bool raster = className == L"PXMImage";
  return Painted(className, {6, 4, raster ? 2u : 1u, raster ? 8u : 32u, raster ? FOURCC_MONO : FOURCC_RGB}, 3);
}

TEST_F(DataPersist, HostStreamBytesLoadIntoEveryClassAndDamageLeaksNothing) {
  for (const wchar_t* className : kClasses) {
    ComPtr<IPXMImage> source = FileSource(className);
    ComPtr<IDataStream> saved = NewStream();
    ASSERT_EQ(Save(source.Get(), saved.Get()), PXM_S_OK);
    const std::vector<uint8_t> bytes = ToBytes(saved.Get());
    ComPtr<IPXMImage> same = NewImage(className);
    ASSERT_EQ(Load(same.Get(), FromBytes(bytes).Get()), PXM_S_OK);
    ExpectSameRows(same.Get(), source.Get());
  }
  ComPtr<IDataStream> saved = NewStream();
  ASSERT_EQ(Save(FileSource(L"PXMImage").Get(), saved.Get()), PXM_S_OK);
  const std::vector<uint8_t> bytes = ToBytes(saved.Get());
  saved.Reset();
  auto tryLoad = [&](const std::vector<uint8_t>& damaged) {
    ComPtr<IDataStream> parsed = FromBytes(damaged);
    for (const wchar_t* into : kClasses) {
      ComPtr<IPXMImage> target = NewImage(into);
      if (parsed) Load(target.Get(), parsed.Get());
      EXPECT_EQ(RefCount(target.Get()), 1u);
    }
  };
  for (size_t at = 0; at < bytes.size(); ++at)
    for (uint8_t spoil : {uint8_t(0xFF), uint8_t(bytes[at] ^ 0x80)}) {
      std::vector<uint8_t> damaged = bytes;
      damaged[at] = spoil;
      tryLoad(damaged);
    }
  EXPECT_EQ(Host().HostObjects(), objects);
}

TEST_F(DataPersist, FileStep) {
  const char* step = std::getenv("PXM_PERSIST_STEP");
  if (!step) GTEST_SKIP() << "runs as the write and read steps of the file fixture";
  for (const std::wstring className : kClasses) {
    const std::string path = std::string(std::getenv("PXM_PERSIST_FILE")) + "-" + std::to_string(className.size());
    if (std::string(step) == "write") {
      ComPtr<IDataStream> stream = NewStream();
      ASSERT_EQ(Save(FileSource(className).Get(), stream.Get()), PXM_S_OK);
      ASSERT_EQ(HOST_API(DuvirovurozAdWriteStreamFile)(stream.Get(), path.c_str()), PXM_S_OK);
      continue;
    }
    ComPtr<IDataStream> stream;
    ASSERT_EQ(HOST_API(DuvirovurozAdReadStreamFile)(path.c_str(), reinterpret_cast<IDataStream**>(stream.Out())), PXM_S_OK);
    ComPtr<IPXMImage> loaded = NewImage(className);
    ASSERT_EQ(Load(loaded.Get(), stream.Get()), PXM_S_OK);
    ExpectSameRows(loaded.Get(), FileSource(className).Get());
  }
}

}  // namespace
