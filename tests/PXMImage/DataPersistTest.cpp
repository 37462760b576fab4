// IDataPersist of the three classes, as a host meets it: the module loaded by path, streams and
// host strings of the tests' own (the counting folder logs every call), records moved between
// classes, streams written to a file and read back by another process, and damaged streams.
//
// Built twice: with the counting folder, and (PXM_HOST_STREAMS) with the host module's own
// streams, which the module's host strings and transform then come from too. The file steps run
// as separate processes (CTest fixtures): PXM_PERSIST_FILE names the file, PXM_PERSIST_STEP is
// "write" or "read".
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "CountingFolder.h"
#include "ModuleHost.h"
#ifdef PXM_HOST_STREAMS
#include <dlfcn.h>

#include "duvirovurozad/DuvirovurozAd.h"
#endif

namespace {

#ifndef PXM_HOST_STREAMS
TestCollection& Collection() { return InstallTestCollection(ModuleHost::Get().initializeModule); }
#endif

ComPtr<IPXMImage> NewImage(const std::wstring& className) {
#ifndef PXM_HOST_STREAMS
  Collection();
#endif
  return ModuleHost::Get().Create<IPXMImage>(className, pxm::iid::IPXMImage);
}

const char* Needs(const std::wstring& className) {
  return className == L"PXMImage" ? "needs the raster image"
         : className == L"PXMImageDIB" ? "needs the DIB image" : "needs the canvas image";
}

// Whether the class's image operations have landed.
bool Ready(const std::wstring& className) {
  ComPtr<IPXMImage> probe = NewImage(className);
  return probe && probe->Create(1, 1, 1, 8, FOURCC_MONO) != PXM_E_NOTIMPL;
}

#define REQUIRE_CLASSES(...)                                        \
  for (const wchar_t* needed : {__VA_ARGS__})                       \
    if (!Ready(needed)) GTEST_SKIP() << Needs(needed)

ComPtr<IDataPersist> Persist(IPXMImage* image) {
  ComPtr<IDataPersist> persist;
  image->QueryInterface(pxm::iid::IDataPersist, persist.Out());
  return persist;
}

// The integer argument has no effect; loads pass another one than saves.
HRESULT Save(IPXMImage* image, IDataStream* stream) { return Persist(image)->Save(stream, 0); }
HRESULT Load(IPXMImage* image, IDataStream* stream) { return Persist(image)->Load(stream, 1); }

struct Plane {
  uint8_t* data = nullptr;
  int32_t stride = 0;
  uint8_t* Row(uint32_t y) const { return data + int64_t{y} * stride; }
};

Plane GetPlane(IPXMImage* image, uint32_t p) {
  Plane plane;
  uint32_t size = 0;
  image->GetImage(p, &size, &plane.data, &plane.stride);
  return plane;
}

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

// Row y of plane p holds bytes seed + p * 97 + y * 31 + x, in row order.
void Paint(IPXMImage* image, uint8_t seed) {
  const Shape s = Describe(image);
  for (uint32_t p = 0; p < s.planes; ++p) {
    const Plane plane = GetPlane(image, p);
    for (uint32_t y = 0; y < s.height; ++y)
      for (uint32_t x = 0; x < s.Packed(); ++x) plane.Row(y)[x] = uint8_t(seed + p * 97 + y * 31 + x);
  }
}

// Row y of plane p of every plane compared, packed bytes only.
void ExpectSameRows(IPXMImage* loaded, IPXMImage* expected) {
  const Shape s = Describe(expected);
  ASSERT_EQ(Describe(loaded).planes, s.planes);
  for (uint32_t p = 0; p < s.planes; ++p)
    for (uint32_t y = 0; y < s.height; ++y)
      ASSERT_EQ(0, std::memcmp(GetPlane(loaded, p).Row(y), GetPlane(expected, p).Row(y), s.Packed())) << p << " " << y;
}

const wchar_t* const kFileClasses[] = {L"PXMImage", L"PXMImageDIB", L"PXMImageCANVAS"};

// The classes whose operations have landed; the tests over all classes run with those.
std::vector<std::wstring> ReadyClasses() {
  std::vector<std::wstring> ready;
  for (const wchar_t* className : kFileClasses)
    if (Ready(className)) ready.push_back(className);
  return ready;
}

// A small image of each class: two grey planes for the raster image, 32-bit colour otherwise.
ComPtr<IPXMImage> FileSource(const std::wstring& className) {
  ComPtr<IPXMImage> image = NewImage(className);
  const bool raster = className == L"PXMImage";
  image->Create(6, 4, raster ? 2 : 1, raster ? 8 : 32, raster ? FOURCC_MONO : FOURCC_RGB);
  Paint(image.Get(), 3);
  return image;
}

std::string FilePath(const std::wstring& className) {
  const char* base = std::getenv("PXM_PERSIST_FILE");
  return std::string(base ? base : "persist") + "-" + std::string(className.begin(), className.end()) + ".bin";
}

#ifndef PXM_HOST_STREAMS

HRESULT Save(IPXMImage* image, ComPtr<CountingFolder> folder) {
  ComPtr<TestDataStream> stream(new TestDataStream(std::move(folder)));
  const HRESULT hr = Save(image, stream.Get());
  EXPECT_EQ(stream->refCount(), 1u);
  return hr;
}

HRESULT Load(IPXMImage* image, ComPtr<CountingFolder> folder) {
  ComPtr<TestDataStream> stream(new TestDataStream(std::move(folder)));
  const HRESULT hr = Load(image, stream.Get());
  EXPECT_EQ(stream->refCount(), 1u);
  return hr;
}

void ExpectReleased(const CountingFolder& folder) {
  EXPECT_TRUE(folder.ReferencesSettled());
  EXPECT_EQ(TestString::s_Live, 0);
  EXPECT_EQ(Collection().transform->refCount(), 1u);
  EXPECT_EQ(Collection().refCount(), 1u);
}

class DataPersist : public testing::Test {
 protected:
  void SetUp() override {
    Collection().offerTransform = true;
    Collection().transform->applied.clear();
    Collection().transformLookups = 0;
  }
  static int Applies() { return static_cast<int>(Collection().transform->applied.size()); }
};

// ---------------------------------------------------------------------------------------------

TEST_F(DataPersist, NoStreamOrNoFolderViewFailsAndChangesNothing) {
  for (const wchar_t* className : {L"PXMImage", L"PXMImageDIB", L"PXMImageCANVAS"}) {
    ComPtr<IDataPersist> persist = NewImage(className).As<IDataPersist>(pxm::iid::IDataPersist);
    ASSERT_TRUE(persist);
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

TEST_F(DataPersist, CanvasPutsItsTransparentColourFirst) {
  ComPtr<IPXMImage> canvas = NewImage(L"PXMImageCANVAS");
  canvas.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS)->put_TransparentColor(-1);
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  Save(canvas.Get(), folder);
  ASSERT_GE(folder->entries.size(), 2u);
  EXPECT_EQ(folder->entries[0].key, "TranparentColor");
  EXPECT_EQ(folder->entries[0].value, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(folder->entries[1].key, "Width");
  ExpectReleased(*folder.Get());

  // Streams of the other classes hold no colour.
  for (const wchar_t* className : {L"PXMImage", L"PXMImageDIB"}) {
    ComPtr<CountingFolder> other = CountingFolder::Make();
    Save(NewImage(className).Get(), other);
    EXPECT_EQ(other->Find("TranparentColor"), nullptr);
  }
}

TEST_F(DataPersist, CanvasColourIsReadBeforeTheRecordAndSurvivesCreate) {
  REQUIRE_CLASSES(L"PXMImageCANVAS", L"PXMImageDIB");
  ComPtr<IPXMImage> source = NewImage(L"PXMImageCANVAS");
  ASSERT_EQ(source->Create(4, 2, 1, 32, FOURCC_RGB), PXM_S_OK);
  source.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS)->put_TransparentColor(0x00123456);
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  ASSERT_EQ(Save(source.Get(), folder), PXM_S_OK);

  ComPtr<IPXMImage> target = NewImage(L"PXMImageCANVAS");
  ComPtr<IPXMImageCANVAS> targetCanvas = target.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS);
  folder->log->clear();
  ASSERT_EQ(Load(target.Get(), folder), PXM_S_OK);
  EXPECT_EQ(folder->Calls({"ReadValue"}).front().key, "TranparentColor");
  int colour = 0;
  targetCanvas->get_TransparentColor(&colour);
  EXPECT_EQ(colour, 0x00123456);

  // A DIB's stream has no colour: the canvas loads it all the same and keeps its own.
  ComPtr<IPXMImage> dib = NewImage(L"PXMImageDIB");
  ASSERT_EQ(dib->Create(4, 2, 1, 24, FOURCC_RGB), PXM_S_OK);
  ComPtr<CountingFolder> dibFolder = CountingFolder::Make();
  ASSERT_EQ(Save(dib.Get(), dibFolder), PXM_S_OK);
  targetCanvas->put_TransparentColor(77);
  EXPECT_EQ(Load(target.Get(), dibFolder), PXM_S_OK);
  targetCanvas->get_TransparentColor(&colour);
  EXPECT_EQ(colour, 77);
  EXPECT_EQ(Describe(target.Get()).bits, 32u) << "24 bits are kept as 32 by the canvas";
}

// ---------------------------------------------------------------------------------------------
// Exact entries per class.

TEST_F(DataPersist, RasterRecordOfThreePlanes) {
  REQUIRE_CLASSES(L"PXMImage");
  ComPtr<IPXMImage> raster = NewImage(L"PXMImage");
  ASSERT_EQ(raster->Create(5, 2, 3, 8, FOURCC_MONO), PXM_S_OK);
  Paint(raster.Get(), 1);
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  ASSERT_EQ(Save(raster.Get(), folder), PXM_S_OK);
  EXPECT_EQ(folder->Keys(), (std::vector<std::string>{"Width", "Height", "BitsPerPixel", "NumberPlanes", "FOURCC",
                                                      "Direction", "Data"}));
  EXPECT_EQ(folder->Value32("NumberPlanes"), 3u);
  EXPECT_EQ(folder->Value32("FOURCC"), FOURCC_MONO);
  EXPECT_EQ(folder->Value32("Direction"), 8u) << "rows of 5 bytes padded to 8, top row first";
  EXPECT_EQ(folder->Child("Data")->content.size(), 30u);
  EXPECT_EQ(folder->Child("Data")->content[5 * 2 + 5], uint8_t(1 + 97 + 31)) << "plane 1, row 1 follows plane 0";
  EXPECT_EQ(Collection().transformLookups, 3);
  EXPECT_EQ(Applies(), 0);
  EXPECT_EQ(RefCount(raster.Get()), 1u);
  ExpectReleased(*folder.Get());
}

TEST_F(DataPersist, DibRecordWithItsPalette) {
  REQUIRE_CLASSES(L"PXMImageDIB");
  ComPtr<IPXMImage> dib = NewImage(L"PXMImageDIB");
  ASSERT_EQ(dib->Create(10, 3, 1, 8, FOURCC_RGB), PXM_S_OK);
  Paint(dib.Get(), 9);
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  ASSERT_EQ(Save(dib.Get(), folder), PXM_S_OK);
  EXPECT_EQ(folder->Keys(), (std::vector<std::string>{"Width", "Height", "BitsPerPixel", "NumberPlanes", "FOURCC",
                                                      "Direction", "Data", "Palette"}));
  EXPECT_EQ(static_cast<int32_t>(*folder->Value32("Direction")), -12) << "bottom-up rows";
  EXPECT_EQ(folder->Child("Data")->content.size(), 30u);
  EXPECT_EQ(folder->Child("Palette")->Value32("Size"), 256u);
  EXPECT_EQ(folder->Child("Palette")->Find("Data")->value.size(), 1024u);
  EXPECT_EQ(Applies(), 2);
  Collection().transform->applied.clear();
  ComPtr<IPXMImage> target = NewImage(L"PXMImageDIB");
  EXPECT_EQ(Load(target.Get(), folder), PXM_S_OK);
  EXPECT_EQ(Applies(), 0) << "below 24 bits a load applies no transform";
  EXPECT_EQ(RefCount(dib.Get()), 1u);
  ExpectReleased(*folder.Get());
}

TEST_F(DataPersist, PalettesSurviveARoundTrip) {
  REQUIRE_CLASSES(L"PXMImageDIB");
  for (uint32_t bits : {1u, 4u, 8u}) {
    ComPtr<IPXMImage> dib = NewImage(L"PXMImageDIB");
    ASSERT_EQ(dib->Create(6, 2, 1, bits, FOURCC_RGB), PXM_S_OK);
    std::vector<uint32_t> colours(1u << bits);
    for (uint32_t i = 0; i < colours.size(); ++i) colours[i] = 0x00010203u * (i + 1) & 0x00FFFFFFu;
    dib.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette)->SetPalette(colours.data(), uint32_t(colours.size()), 0);
    ComPtr<CountingFolder> first = CountingFolder::Make();
    ASSERT_EQ(Save(dib.Get(), first), PXM_S_OK);
    ComPtr<IPXMImage> copy = NewImage(L"PXMImageDIB");
    ASSERT_EQ(Load(copy.Get(), first), PXM_S_OK);
    ComPtr<CountingFolder> second = CountingFolder::Make();
    ASSERT_EQ(Save(copy.Get(), second), PXM_S_OK);
    ASSERT_TRUE(first->Child("Palette") && second->Child("Palette")) << bits;
    EXPECT_EQ(first->Child("Palette")->Find("Data")->value, second->Child("Palette")->Find("Data")->value) << bits;
  }
}

TEST_F(DataPersist, PaletteOfThreeByteEntriesIsSavedAsFourByteEntries) {
  REQUIRE_CLASSES(L"PXMImageDIB");
  // A core header (12 bytes), 16 palette entries of 3 bytes, one 4-byte row: 64 bytes in all.
  // The record holds the entries as GetPalette hands them out: blue, green, red, 0.
  uint8_t* block = static_cast<uint8_t*>(std::malloc(64));
  const uint8_t header[12] = {12, 0, 0, 0, 1, 0, 1, 0, 1, 0, 4, 0};
  std::memcpy(block, header, 12);
  for (int i = 12; i < 64; ++i) block[i] = uint8_t(i);
  ComPtr<IPXMImageDIB> dib = ComPtr<IPXMImage>(NewImage(L"PXMImageDIB")).As<IPXMImageDIB>(pxm::iid::IPXMImageDIB);
  ASSERT_EQ(dib->CreateOnDIB(block, nullptr, 0), PXM_S_OK);
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  ASSERT_EQ(Save(dib.Get(), folder), PXM_S_OK);
  const std::vector<uint8_t>& stored = folder->Child("Palette")->Find("Data")->value;
  ASSERT_EQ(stored.size(), 64u);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(stored[i], i % 4 == 3 ? 0 : uint8_t(12 + 3 * (i / 4) + i % 4)) << i;
  dib.Reset();
  std::free(block);
}

// ---------------------------------------------------------------------------------------------
// Records moved between classes: rows land by their index, whatever each class's direction.

struct Crossing {
  const wchar_t* from;
  Shape shape;
  const wchar_t* to;
  HRESULT result;
};

void PrintTo(const Crossing& c, std::ostream* os) {
  *os << std::string(c.from, c.from + std::wcslen(c.from)) << " " << c.shape.bits << " bits into "
      << std::string(c.to, c.to + std::wcslen(c.to));
}

class CrossClass : public DataPersist, public testing::WithParamInterface<Crossing> {};

TEST_P(CrossClass, RowsKeepTheirOrder) {
  const Crossing& c = GetParam();
  REQUIRE_CLASSES(c.from, c.to);
  ComPtr<IPXMImage> source = NewImage(c.from);
  ASSERT_EQ(source->Create(c.shape.width, c.shape.height, c.shape.planes, c.shape.bits, c.shape.fourcc), PXM_S_OK);
  Paint(source.Get(), 40);
  const Shape saved = Describe(source.Get());
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  ASSERT_EQ(Save(source.Get(), folder), PXM_S_OK);
  Collection().transform->applied.clear();

  ComPtr<IPXMImage> target = NewImage(c.to);
  ASSERT_EQ(Load(target.Get(), folder), c.result);
  ExpectReleased(*folder.Get());
  if (PXM_FAILED(c.result)) return;
  const Shape loaded = Describe(target.Get());
  EXPECT_EQ(loaded.width, saved.width);
  EXPECT_EQ(loaded.height, saved.height);
  // Colour rows are stored transformed and transformed back on loading from 24 bits on.
  const bool colour = saved.fourcc != FOURCC_MONO;
  EXPECT_EQ(Applies(), colour && saved.bits >= 24 ? 1 : 0);
  const uint8_t flip = colour && saved.bits < 24 ? 0xFF : 0;
  const uint32_t bytes = std::min(saved.Packed(), loaded.Packed());
  const Plane to = GetPlane(target.Get(), 0);
  // A class of one plane answers every plane index with it, so it keeps the last plane's rows.
  const Plane from = GetPlane(source.Get(), loaded.planes < saved.planes ? saved.planes - 1 : 0);
  for (uint32_t y = 0; y < saved.height; ++y)
    for (uint32_t x = 0; x < bytes; ++x) ASSERT_EQ(to.Row(y)[x], from.Row(y)[x] ^ flip) << "row " << y << " byte " << x;
}

INSTANTIATE_TEST_SUITE_P(
    Classes, CrossClass,
    testing::Values(Crossing{L"PXMImage", {5, 3, 1, 8, FOURCC_MONO}, L"PXMImageDIB", PXM_S_OK},
                    Crossing{L"PXMImage", {3, 2, 1, 32, FOURCC_MONO}, L"PXMImageCANVAS", PXM_S_OK},
                    Crossing{L"PXMImage", {4, 2, 3, 8, FOURCC_MONO}, L"PXMImageCANVAS", PXM_S_OK},
                    Crossing{L"PXMImageDIB", {7, 3, 1, 24, FOURCC_RGB}, L"PXMImageCANVAS", PXM_S_OK},
                    Crossing{L"PXMImageDIB", {7, 3, 1, 32, FOURCC_ARGB}, L"PXMImageDIB", PXM_S_OK},
                    Crossing{L"PXMImageDIB", {9, 2, 1, 4, FOURCC_RGB}, L"PXMImageDIB", PXM_S_OK},
                    Crossing{L"PXMImageDIB", {5, 2, 1, 8, FOURCC_MONO}, L"PXMImage", PXM_S_OK},
                    Crossing{L"PXMImageCANVAS", {5, 2, 1, 8, FOURCC_MONO}, L"PXMImage", PXM_S_OK},
                    Crossing{L"PXMImageCANVAS", {3, 2, 1, 32, FOURCC_RGB}, L"PXMImageDIB", PXM_S_OK},
                    // The raster image keeps grey only: its Create refuses, and that is the result.
                    Crossing{L"PXMImageCANVAS", {3, 2, 1, 32, FOURCC_RGB}, L"PXMImage", PXM_E_NOTCREATABLE},
                    Crossing{L"PXMImageDIB", {3, 2, 1, 24, FOURCC_RGB}, L"PXMImage", PXM_E_NOTCREATABLE}));

// ---------------------------------------------------------------------------------------------
// A stream written to a file and read back by another process.

TEST_F(DataPersist, FileStep) {
  const char* step = std::getenv("PXM_PERSIST_STEP");
  if (!step) GTEST_SKIP() << "runs as the write and read steps of the file fixture";
  const std::vector<std::wstring> classes = ReadyClasses();
  if (classes.empty()) GTEST_SKIP() << "needs the image classes";
  for (const std::wstring& className : classes) {
    if (std::string(step) == "write") {
      ComPtr<CountingFolder> folder = CountingFolder::Make();
      ASSERT_EQ(Save(FileSource(className).Get(), folder), PXM_S_OK);
      const std::vector<uint8_t> bytes = folder->Serialise();
      std::ofstream(FilePath(className), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      continue;
    }
    std::ifstream in(FilePath(className), std::ios::binary);
    ASSERT_TRUE(in) << FilePath(className);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ComPtr<IPXMImage> loaded = NewImage(className);
    ASSERT_EQ(Load(loaded.Get(), CountingFolder::Parse(bytes)), PXM_S_OK);
    ExpectSameRows(loaded.Get(), FileSource(className).Get());
  }
}

// ---------------------------------------------------------------------------------------------
// Damaged streams: a result code, nothing written outside the image, nothing leaked.

TEST_F(DataPersist, StreamCutAtEveryOffset) {
  const std::vector<std::wstring> classes = ReadyClasses();
  if (classes.empty()) GTEST_SKIP() << "needs the image classes";
  for (const std::wstring& className : classes) {
    ComPtr<CountingFolder> folder = CountingFolder::Make();
    ASSERT_EQ(Save(FileSource(className).Get(), folder), PXM_S_OK);
    const std::vector<uint8_t> bytes = folder->Serialise();
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
      ComPtr<CountingFolder> parsed = CountingFolder::Parse({bytes.begin(), bytes.begin() + cut});
      for (const std::wstring& into : classes) {
        ComPtr<IPXMImage> target = NewImage(into);
        const HRESULT hr = Load(target.Get(), parsed);
        // Once the header is whole the class decides; before, the failed reads are the result.
        if (!parsed->Find("FOURCC")) {
          EXPECT_EQ(hr, PXM_E_FAIL) << cut;
        }
        EXPECT_EQ(RefCount(target.Get()), 1u);
      }
      ExpectReleased(*parsed.Get());
    }
  }
}

std::vector<uint8_t> U32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

TEST_F(DataPersist, HugeDeclaredLengthsAndDeepNestingGiveAResult) {
  std::vector<std::vector<uint8_t>> streams;
  // An entry count, a key length, a value length and a content length far beyond the bytes.
  streams.push_back(U32(0xFFFFFFFF));
  {
    std::vector<uint8_t> s = U32(1);
    s.push_back(0);
    for (uint8_t b : U32(0xFFFFFFF0)) s.push_back(b);
    streams.push_back(s);
  }
  {
    std::vector<uint8_t> s = U32(1);
    s.push_back(0);
    for (uint8_t b : U32(5)) s.push_back(b);
    for (char c : std::string("Width")) s.push_back(uint8_t(c));
    for (uint8_t b : U32(0x7FFFFFFF)) s.push_back(b);
    streams.push_back(s);
  }
  {
    std::vector<uint8_t> s = U32(0);
    for (uint8_t b : U32(0xFFFFFFFF)) s.push_back(b);
    streams.push_back(s);
  }
  {
    // Folders nested a hundred thousand deep, each the only entry of its parent.
    std::vector<uint8_t> s;
    for (int i = 0; i < 100000; ++i) {
      for (uint8_t b : U32(1)) s.push_back(b);
      s.push_back(1);
      for (uint8_t b : U32(1)) s.push_back(b);
      s.push_back('D');
    }
    streams.push_back(s);
  }
  for (const auto& bytes : streams) {
    ComPtr<CountingFolder> parsed = CountingFolder::Parse(bytes);
    for (const wchar_t* into : kFileClasses) {
      ComPtr<IPXMImage> target = NewImage(into);
      EXPECT_EQ(Load(target.Get(), parsed), PXM_E_FAIL) << "no whole header in any of them";
    }
    ExpectReleased(*parsed.Get());
  }
}

// A header of the tests' choosing, with rows r of bytes (r * 16 + x).
ComPtr<CountingFolder> Record(Shape s, int64_t rowsOfData) {
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  folder->AddValue32("Width", s.width);
  folder->AddValue32("Height", s.height);
  folder->AddValue32("BitsPerPixel", s.bits);
  folder->AddValue32("NumberPlanes", s.planes);
  folder->AddValue32("FOURCC", s.fourcc);
  CountingFolder* data = folder->AddChild("Data");
  for (int64_t r = 0; r < rowsOfData; ++r)
    for (uint32_t x = 0; x < s.Packed(); ++x) data->content.push_back(uint8_t(r * 16 + x));
  return folder;
}

struct Damage {
  const char* name;
  const wchar_t* into;
  Shape record;
  int64_t rowsOfData;
  uint32_t rowsLoaded;
};

void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

class DamagedRecord : public DataPersist, public testing::WithParamInterface<Damage> {};

TEST_P(DamagedRecord, LoadsWhatFitsInsideTheImage) {
  const Damage& d = GetParam();
  REQUIRE_CLASSES(d.into);
  Collection().offerTransform = false;  // the rows stay as stored
  ComPtr<CountingFolder> folder = Record(d.record, d.rowsOfData);
  ComPtr<IPXMImage> target = NewImage(d.into);
  ASSERT_EQ(Load(target.Get(), folder), PXM_S_OK);
  const Shape made = Describe(target.Get());
  const Plane plane = GetPlane(target.Get(), 0);
  const uint32_t rowLength = static_cast<uint32_t>(std::abs(plane.stride));
  const uint32_t bytes = std::min(d.record.Packed(), rowLength);
  for (uint32_t y = 0; y < std::min(d.rowsLoaded, made.height); ++y)
    for (uint32_t x = 0; x < bytes; ++x) ASSERT_EQ(plane.Row(y)[x], uint8_t(y * 16 + x)) << "row " << y << " byte " << x;
  ExpectReleased(*folder.Get());
}

INSTANTIATE_TEST_SUITE_P(
    Records, DamagedRecord,
    testing::Values(
        // The canvas keeps 64 bits as 4 bytes a pixel: each record row's surplus is dropped.
        Damage{"CanvasDepthNormalisedDown", L"PXMImageCANVAS", {3, 4, 1, 64, FOURCC_RGB}, 4, 4},
        Damage{"DibTwelveBitsStoredAsSixteen", L"PXMImageDIB", {5, 3, 1, 12, FOURCC_RGB}, 3, 3},
        Damage{"DibMoreRowsThanDeclared", L"PXMImageDIB", {5, 3, 1, 8, FOURCC_MONO}, 9, 3},
        Damage{"DibFewerRowsThanDeclared", L"PXMImageDIB", {5, 6, 1, 8, FOURCC_MONO}, 2, 2},
        Damage{"RasterSecondPlaneCutShort", L"PXMImage", {5, 6, 2, 8, FOURCC_MONO}, 7, 6},
        Damage{"CanvasManyPlanesEndsWithTheLast", L"PXMImageCANVAS", {4, 2, 500, 8, FOURCC_MONO}, 1, 1}));

#else  // PXM_HOST_STREAMS
// The host module's own API, found by name in the module the image module loads itself.
struct HostApi {
  DuvirovurozAdCreateDataStreamFunction createStream = nullptr;
  DuvirovurozAdStreamToBytesFunction toBytes = nullptr;
  DuvirovurozAdFreeBytesFunction freeBytes = nullptr;
  DuvirovurozAdStreamFromBytesFunction fromBytes = nullptr;
  DuvirovurozAdWriteStreamFileFunction writeFile = nullptr;
  DuvirovurozAdReadStreamFileFunction readFile = nullptr;
  DuvirovurozAdListFolderFunction list = nullptr;
  DuvirovurozAdOpenEntryFunction openEntry = nullptr;
  DuvirovurozAdLiveObjectsFunction live = nullptr;
  DuvirovurozAdTransformApplyCountFunction applies = nullptr;
};

const HostApi& Api() {
  static const HostApi api = [] {
    HostApi a;
    void* h = dlopen(ModulePath("DuvirovurozAd").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) return a;
    a.createStream = reinterpret_cast<DuvirovurozAdCreateDataStreamFunction>(dlsym(h, "DuvirovurozAdCreateDataStream"));
    a.toBytes = reinterpret_cast<DuvirovurozAdStreamToBytesFunction>(dlsym(h, "DuvirovurozAdStreamToBytes"));
    a.freeBytes = reinterpret_cast<DuvirovurozAdFreeBytesFunction>(dlsym(h, "DuvirovurozAdFreeBytes"));
    a.fromBytes = reinterpret_cast<DuvirovurozAdStreamFromBytesFunction>(dlsym(h, "DuvirovurozAdStreamFromBytes"));
    a.writeFile = reinterpret_cast<DuvirovurozAdWriteStreamFileFunction>(dlsym(h, "DuvirovurozAdWriteStreamFile"));
    a.readFile = reinterpret_cast<DuvirovurozAdReadStreamFileFunction>(dlsym(h, "DuvirovurozAdReadStreamFile"));
    a.list = reinterpret_cast<DuvirovurozAdListFolderFunction>(dlsym(h, "DuvirovurozAdListFolder"));
    a.openEntry = reinterpret_cast<DuvirovurozAdOpenEntryFunction>(dlsym(h, "DuvirovurozAdOpenEntry"));
    a.live = reinterpret_cast<DuvirovurozAdLiveObjectsFunction>(dlsym(h, "DuvirovurozAdLiveObjects"));
    a.applies = reinterpret_cast<DuvirovurozAdTransformApplyCountFunction>(dlsym(h, "DuvirovurozAdTransformApplyCount"));
    return a;
  }();
  return api;
}

ComPtr<IDataStream> NewStream() {
  ComPtr<IDataStream> stream;
  Api().createStream(reinterpret_cast<IDataStream**>(stream.Out()));
  return stream;
}

std::vector<uint8_t> ToBytes(IDataStream* stream) {
  uint8_t* bytes = nullptr;
  size_t size = 0;
  EXPECT_EQ(Api().toBytes(stream, &bytes, &size), PXM_S_OK);
  std::vector<uint8_t> out(bytes, bytes + size);
  Api().freeBytes(bytes);
  return out;
}

struct Listed {
  std::string key;
  DuvirovurozAdEntryKind kind;
  uint32_t size;  // a value's bytes, a folder's byte content
  std::vector<uint8_t> value;
  bool operator==(const Listed&) const = default;
};

std::vector<Listed> List(IUnknown* folder) {
  uint32_t count = 0;
  Api().list(folder, nullptr, 0, &count, nullptr);
  std::vector<DuvirovurozAdEntry> entries(count);
  Api().list(folder, entries.data(), count, &count, nullptr);
  std::vector<Listed> out;
  for (const DuvirovurozAdEntry& e : entries)
    out.push_back({std::string(e.key, e.key + e.keyLength), e.kind, e.size,
                   e.value ? std::vector<uint8_t>(e.value, e.value + e.size) : std::vector<uint8_t>{}});
  return out;
}

std::vector<Listed> ListChild(IUnknown* folder, uint32_t index) {
  ComPtr<IFolderStream> child;
  Api().openEntry(folder, index, reinterpret_cast<IFolderStream**>(child.Out()));
  return child ? List(child.Get()) : std::vector<Listed>{};
}

Listed Value(const char* key, uint32_t v) {
  return {key, DuvirovurozAdValue, 4, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}};
}
Listed Folder(const char* key, uint32_t contentSize) { return {key, DuvirovurozAdFolder, contentSize, {}}; }

class HostStreams : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Api().createStream && Api().live) << "needs the host module";
    // The first save makes the module load its host strings and collection, which it keeps.
    static const bool warmed = [] {
      ComPtr<IDataStream> stream = NewStream();
      return PXM_SUCCEEDED(Save(FileSource(L"PXMImage").Get(), stream.Get()));
    }();
    ASSERT_TRUE(warmed);
    m_Live = Api().live();
  }
  // Every host object the module made for an operation is gone once the test's own are.
  void TearDown() override { EXPECT_EQ(Api().live(), m_Live); }

 private:
  int64_t m_Live = 0;
};

TEST_F(HostStreams, ExactEntriesOfEveryClass) {
  {
    ComPtr<IPXMImage> raster = NewImage(L"PXMImage");
    ASSERT_EQ(raster->Create(5, 2, 3, 8, FOURCC_MONO), PXM_S_OK);
    ComPtr<IDataStream> stream = NewStream();
    const uint64_t before = Api().applies();
    ASSERT_EQ(Save(raster.Get(), stream.Get()), PXM_S_OK);
    EXPECT_EQ(Api().applies(), before) << "grey images never pass through the transform";
    EXPECT_EQ(List(stream.Get()), (std::vector<Listed>{Value("Width", 5), Value("Height", 2), Value("BitsPerPixel", 8),
                                                      Value("NumberPlanes", 3), Value("FOURCC", FOURCC_MONO),
                                                      Value("Direction", 8), Folder("Data", 30)}));
  }
  if (Ready(L"PXMImageDIB")) {
    ComPtr<IPXMImage> dib = NewImage(L"PXMImageDIB");
    ASSERT_EQ(dib->Create(10, 3, 1, 8, FOURCC_RGB), PXM_S_OK);
    ComPtr<IDataStream> stream = NewStream();
    ASSERT_EQ(Save(dib.Get(), stream.Get()), PXM_S_OK);
    const std::vector<Listed> entries = List(stream.Get());
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_EQ(entries[5], Value("Direction", static_cast<uint32_t>(-12)));
    EXPECT_EQ(entries[6], Folder("Data", 30));
    EXPECT_EQ(entries[7].key, "Palette");
    const std::vector<Listed> palette = ListChild(stream.Get(), 7);
    ASSERT_EQ(palette.size(), 2u);
    EXPECT_EQ(palette[0], Value("Size", 256));
    EXPECT_EQ(palette[1].key, "Data");
    EXPECT_EQ(palette[1].size, 1024u);
  }
  if (Ready(L"PXMImageCANVAS")) {
    ComPtr<IPXMImage> canvas = NewImage(L"PXMImageCANVAS");
    ASSERT_EQ(canvas->Create(10, 3, 1, 24, FOURCC_RGB), PXM_S_OK);
    canvas.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS)->put_TransparentColor(-1);
    ComPtr<IDataStream> stream = NewStream();
    ASSERT_EQ(Save(canvas.Get(), stream.Get()), PXM_S_OK);
    const std::vector<Listed> entries = List(stream.Get());
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_EQ(entries[0], Value("TranparentColor", 0xFFFFFFFF));
    EXPECT_EQ(entries[1], Value("Width", 10));
    EXPECT_EQ(entries[3], Value("BitsPerPixel", 32)) << "the canvas keeps 24 bits as 32";
    EXPECT_EQ(entries[7], Folder("Data", 120));
  }
}

TEST_F(HostStreams, ColourPassesTheTransformTwiceOnSaveOnceOnLoad) {
  const std::vector<std::wstring> colour = {L"PXMImageDIB", L"PXMImageCANVAS"};
  int tested = 0;
  for (const std::wstring& className : colour) {
    if (!Ready(className)) continue;
    ++tested;
    ComPtr<IPXMImage> image = FileSource(className);
    ComPtr<IDataStream> stream = NewStream();
    uint64_t before = Api().applies();
    ASSERT_EQ(Save(image.Get(), stream.Get()), PXM_S_OK);
    EXPECT_EQ(Api().applies() - before, 2u);
    ComPtr<IPXMImage> loaded = NewImage(className);
    before = Api().applies();
    ASSERT_EQ(Load(loaded.Get(), stream.Get()), PXM_S_OK);
    EXPECT_EQ(Api().applies() - before, 1u);
    ExpectSameRows(loaded.Get(), image.Get());
  }
  if (!tested) GTEST_SKIP() << Needs(L"PXMImageDIB") << ", or the canvas image";
}

TEST_F(HostStreams, BytesRoundTripIntoEveryClass) {
  const std::vector<std::wstring> classes = ReadyClasses();
  for (const std::wstring& from : classes) {
    ComPtr<IPXMImage> source = FileSource(from);
    ComPtr<IDataStream> saved = NewStream();
    ASSERT_EQ(Save(source.Get(), saved.Get()), PXM_S_OK);
    const std::vector<uint8_t> bytes = ToBytes(saved.Get());
    ComPtr<IDataStream> parsed;
    ASSERT_EQ(Api().fromBytes(bytes.data(), bytes.size(), reinterpret_cast<IDataStream**>(parsed.Out())), PXM_S_OK);
    ComPtr<IPXMImage> same = NewImage(from);
    ASSERT_EQ(Load(same.Get(), parsed.Get()), PXM_S_OK);
    ExpectSameRows(same.Get(), source.Get());
  }
}

TEST_F(HostStreams, FileStep) {
  const char* step = std::getenv("PXM_PERSIST_STEP");
  if (!step) GTEST_SKIP() << "runs as the write and read steps of the file fixture";
  for (const std::wstring& className : ReadyClasses()) {
    const std::string path = FilePath(className);
    if (std::string(step) == "write") {
      ComPtr<IDataStream> stream = NewStream();
      ASSERT_EQ(Save(FileSource(className).Get(), stream.Get()), PXM_S_OK);
      ASSERT_EQ(Api().writeFile(stream.Get(), path.c_str()), PXM_S_OK);
      continue;
    }
    ComPtr<IDataStream> stream;
    ASSERT_EQ(Api().readFile(path.c_str(), reinterpret_cast<IDataStream**>(stream.Out())), PXM_S_OK) << path;
    ComPtr<IPXMImage> loaded = NewImage(className);
    ASSERT_EQ(Load(loaded.Get(), stream.Get()), PXM_S_OK);
    ExpectSameRows(loaded.Get(), FileSource(className).Get());
  }
}

// Bytes cut at every offset, and every byte in turn spoilt: the host refuses them or hands out
// what it could read, and the load gives a result code; nothing is left behind.
TEST_F(HostStreams, DamagedBytesGiveAResultAndLeakNothing) {
  ComPtr<IDataStream> saved = NewStream();
  ASSERT_EQ(Save(FileSource(L"PXMImage").Get(), saved.Get()), PXM_S_OK);
  const std::vector<uint8_t> bytes = ToBytes(saved.Get());
  const std::vector<std::wstring> classes = ReadyClasses();
  auto tryLoad = [&](const std::vector<uint8_t>& damaged) {
    ComPtr<IDataStream> parsed;
    if (PXM_FAILED(Api().fromBytes(damaged.data(), damaged.size(), reinterpret_cast<IDataStream**>(parsed.Out()))))
      return;
    for (const std::wstring& into : classes) {
      ComPtr<IPXMImage> target = NewImage(into);
      Load(target.Get(), parsed.Get());
      EXPECT_EQ(RefCount(target.Get()), 1u);
    }
  };
  for (size_t cut = 0; cut < bytes.size(); ++cut) tryLoad({bytes.begin(), bytes.begin() + cut});
  for (size_t at = 0; at < bytes.size(); ++at) {
    for (uint8_t spoil : {uint8_t(0xFF), uint8_t(bytes[at] ^ 0x80)}) {
      std::vector<uint8_t> damaged = bytes;
      damaged[at] = spoil;
      tryLoad(damaged);
    }
  }
}
#endif

}  // namespace
