// The image record through a folder that logs every call: exact entries, sizes and order, the
// transform's calls, every reference released, and damaged records that must not write outside
// the image's rows. Linked with the module's internals; images are the tests' own.
#include <gtest/gtest.h>

#include <functional>

#include "CountingFolder.h"
#include "PXMImage/ImageRecord.h"
#include "TestImage.h"

namespace {

CountingHost& Host() { return CountingHost::Install(&InitializeModule); }

// Every plane's rows without padding, first row first.
std::vector<uint8_t> Rows(TestImage& image) {
  std::vector<uint8_t> out;
  for (uint32_t p = 0; p < image.GetShape().planes; ++p)
    for (uint32_t y = 0; y < image.GetShape().height; ++y) out.insert(out.end(), image.Row(p, y), image.Row(p, y) + image.RowBytes());
  return out;
}

// How a target of Load makes its image from the record's header and hands out its planes.
struct Rules {
  bool bottomUp = false;
  uint32_t padding = 0;
  std::function<uint32_t(uint32_t)> depth = [](uint32_t bits) { return bits; };
  uint32_t maxHeight = UINT32_MAX, planeLimit = UINT32_MAX;  // GetImage refuses planes from planeLimit on
  bool palette = false;                                       // answers IPXMImagePalette
};

// A target for Load that lives on the test's stack and keeps what it is given.
struct Target final : IPXMImage, IPXMImagePalette {
  explicit Target(Rules r = {}) : rules(std::move(r)) {}
  Rules rules;
  ComPtr<TestImage> image;
  int creates = 0;
  uint32_t createdFourcc = 0, refs = 1;
  std::vector<std::vector<uint32_t>> palettes;  // what SetPalette was given

  HRESULT QueryInterface(const IID& iid, void** out) override {
    *out = iid == pxm::iid::IPXMImagePalette && rules.palette ? static_cast<IPXMImagePalette*>(this) : nullptr;
    if (iid == pxm::iid::IUnknown || iid == pxm::iid::IPXM || iid == pxm::iid::IPXMImage) *out = static_cast<IPXMImage*>(this);
    return *out ? (++refs, PXM_S_OK) : PXM_E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++refs; }
  uint32_t Release() override { return --refs; }
  HRESULT GetSize(uint32_t* w, uint32_t* h, uint32_t* p) override { return image ? image->GetSize(w, h, p) : PXM_E_FAIL; }
  HRESULT GetPixelDescriptor(uint32_t* b, uint32_t* f, uint32_t* n) override { return image ? image->GetPixelDescriptor(b, f, n) : PXM_E_FAIL; }
  HRESULT GetImage(uint32_t p, uint32_t* size, uint8_t** data, int32_t* stride) override {
    return p >= rules.planeLimit ? PXM_E_INVALIDARG : image->GetImage(p, size, data, stride);
  }
  HRESULT Create(uint32_t width, uint32_t height, uint32_t planes, uint32_t bits, uint32_t fourcc) override {
    ++creates;
    createdFourcc = fourcc;
    if (bits == 0) return PXM_E_NOTCREATABLE;
    image = TestImage::Make({width, std::min(height, rules.maxHeight), rules.depth(bits), fourcc, planes, rules.bottomUp, rules.padding});
    return PXM_S_OK;
  }
  HRESULT IsCreatable(uint32_t, uint32_t) override { return PXM_S_OK; }
  HRESULT Copy(IPXM*, int) override { return PXM_E_NOTIMPL; }
  HRESULT Equal(int) override { return PXM_E_NOTIMPL; }
  HRESULT SetPalette(uint32_t* entries, uint32_t count, uint32_t) override { return palettes.emplace_back(entries, entries + count), PXM_S_OK; }
  HRESULT GetPalette(uint32_t**, uint32_t*) override { return PXM_E_FAIL; }
};

class ImageRecord : public testing::Test {
 protected:
  void SetUp() override {
    Host().Reset();
    objects = Host().HostObjects();
    applies = Host().Applies();
  }
  // Every reference the module took is given back, and no host string is left alive.
  void ExpectReleased(const CountingFolder& folder) {
    EXPECT_TRUE(folder.ReferencesSettled());
    EXPECT_EQ(Host().HostObjects(), objects);
    EXPECT_EQ(RefCount(Host().transform.Get()), Host().offering ? 2u : 1u);
    EXPECT_EQ(Host().collection.addRefs - Host().collection.releases, 1);
  }
  uint64_t Applies() const { return Host().Applies() - applies; }
  int64_t objects = 0;
  uint64_t applies = 0;
};

TEST_F(ImageRecord, SaveWritesTheHeaderRowsAndPaletteInOrder) {
  const struct {
    TestImage::Shape shape;
    std::vector<uint32_t> palette;
    uint32_t storedFourcc, packedRow;  // a row's bytes in the record: 10 pixels of 1 bit take 1 byte
  } cases[] = {
      {{5, 2, 8, FOURCC_MONO, 3, false, 3}, {}, FOURCC_MONO, 5},  {{10, 3, 24, FOURCC_BGR, 1, true, 2}, {}, FOURCC_RGB, 30},
      {{10, 2, 1, FOURCC_RGB, 1, true, 2}, {0, 0xFFFFFF}, FOURCC_RGB, 1}, {{3, 2, 32, FOURCC_ABGR, 1, false, 0}, {}, FOURCC_ARGB, 12},
      {{3, 2, 16, FOURCC_BGR, 1, false, 2}, {}, FOURCC_BGR, 6},   {{4, 2, 32, FOURCC_MONO, 2, false, 0}, {}, FOURCC_MONO, 16},
      {{0, 0, 8, FOURCC_MONO, 0, false, 0}, {}, FOURCC_MONO, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.shape.width << " wide " << c.shape.bitsPerPixel << " bits " << c.shape.planes << " planes");
    SetUp();
    ComPtr<TestImage> image = TestImage::Make(c.shape);
    image->palette = c.palette;
    image->FillPattern(7);
    const std::vector<uint8_t> before = Rows(*image.Get());
    ComPtr<CountingFolder> folder = CountingFolder::Make();
    ASSERT_EQ(SaveImageRecord(image.Get(), folder.Get()), PXM_S_OK);

    std::vector<FolderCall> expected;
    for (const char* key : {"Width", "Height", "BitsPerPixel", "NumberPlanes", "FOURCC"}) expected.push_back({"WriteValue", "", key, 4});
    if (c.shape.planes)
      expected.insert(expected.end(), {{"WriteValue", "", "Direction", 4}, {"CreateFolder", "", "Data", 0},
                                       {"Reserve", "Data", "", (image->RowBytes() + c.shape.padding) * c.shape.height + 8}});
    if (!c.palette.empty())
      expected.insert(expected.end(), {{"CreateFolder", "", "Palette", 0}, {"WriteValue", "Palette", "Size", 4},
                                       {"WriteValue", "Palette", "Data", 4 * c.palette.size()}});
    EXPECT_EQ(folder->Calls({"WriteValue", "CreateFolder", "Reserve", "Read", "ReadValue", "OpenFolder"}), expected);
    const uint32_t header[] = {c.shape.width, c.shape.height, c.shape.bitsPerPixel, c.shape.planes, c.storedFourcc};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(folder->Value32(expected[i].key), header[i]) << expected[i].key;
    // Plane after plane, first row first, without padding, as the transform left them: colour
    // pixels of 24 and 32 bits have their first and third bytes swapped.
    const bool colour = c.shape.fourcc != FOURCC_MONO;
    const uint32_t swapped = colour && c.shape.bitsPerPixel >= 24 ? c.shape.bitsPerPixel / 8 : 0;
    if (c.shape.planes) {
      EXPECT_EQ(folder->Value32("Direction"), static_cast<uint32_t>(image->Stride()));
      std::vector<uint8_t> rows;
      for (size_t i = 0; i < before.size(); ++i)
        if (i % image->RowBytes() < c.packedRow) rows.push_back(before[i]);
      for (size_t i = 0; swapped && i < rows.size(); i += swapped) std::swap(rows[i], rows[i + 2]);
      EXPECT_EQ(folder->Child("Data")->content, rows);
    }
    if (!c.palette.empty()) {
      EXPECT_EQ(folder->Child("Palette")->Value32("Size"), c.palette.size());
      EXPECT_EQ(0, std::memcmp(folder->Child("Palette")->Find("Data")->value.data(), c.palette.data(), 4 * c.palette.size()));
    }
    // Looked up for every plane, applied twice around each colour plane: the image is as it was.
    EXPECT_EQ(Host().TransformLookups(), int(c.shape.planes));
    EXPECT_EQ(Applies(), colour ? 2u : 0u);
    EXPECT_EQ(Rows(*image.Get()), before);
    EXPECT_TRUE(image->PaddingIntact());
    EXPECT_EQ(RefCount(static_cast<IPXMImage*>(image.Get())), 1u);
    ExpectReleased(*folder.Get());
  }
}

TEST_F(ImageRecord, SaveFailuresWriteNothingMoreAndReleaseAll) {
  ComPtr<TestImage> image = TestImage::Make({4, 2, 8, FOURCC_RGB, 1, true, 0});
  image->palette = {1, 2};
  ComPtr<CountingFolder> noData = CountingFolder::Make(), noPalette = CountingFolder::Make();
  noData->failCreateFolder = {"Data"};
  EXPECT_EQ(SaveImageRecord(image.Get(), noData.Get()), PXM_E_FAIL);
  EXPECT_TRUE(noData->Calls({"Write", "Reserve"}).empty());
  EXPECT_EQ(noData->Find("Palette"), nullptr);
  ExpectReleased(*noData.Get());
  noPalette->failCreateFolder = {"Palette"};
  EXPECT_EQ(SaveImageRecord(image.Get(), noPalette.Get()), PXM_E_FAIL);
  EXPECT_EQ(noPalette->Child("Data")->content.size(), 8u);
  ExpectReleased(*noPalette.Get());
  EXPECT_EQ(SaveImageRecord(image.Get(), nullptr) & LoadImageRecord(image.Get(), nullptr) & SaveImageRecord(nullptr, noData.Get()), PXM_E_POINTER);
}

struct Record {
  uint32_t width = 4, height = 3, bits = 8, planes = 1, fourcc = FOURCC_MONO;
  const char* omit = "";
  bool data = true;
  int64_t extraRows = 0;  // rows of data beyond (or, negative, short of) what the header declares
};

// A record whose row r of plane p holds bytes (p * 64 + r * 16 + x).
ComPtr<CountingFolder> MakeRecord(const Record& r) {
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  const std::pair<const char*, uint32_t> values[] = {
      {"Width", r.width}, {"Height", r.height}, {"BitsPerPixel", r.bits}, {"NumberPlanes", r.planes}, {"FOURCC", r.fourcc}};
  for (const auto& [key, value] : values)
    if (std::string(key) != r.omit) folder->AddValue32(key, value);
  CountingFolder* data = r.data ? folder->AddChild("Data") : nullptr;
  for (uint32_t p = 0; data && p < r.planes; ++p)
    for (int64_t y = 0; y < int64_t{r.height} + r.extraRows; ++y)
      for (uint32_t x = 0; x < r.bits * r.width / 8; ++x) data->content.push_back(uint8_t(p * 64 + y * 16 + x));
  return folder;
}

TEST_F(ImageRecord, LoadReadsTheHeaderFirstAndCreatesNothingFromAFailedOne) {
  ComPtr<CountingFolder> folder = MakeRecord({});
  folder->failReadValue = {{"Width", HRESULT(0x80000001u)}, {"FOURCC", HRESULT(0x80000010u)}};
  Target target;
  EXPECT_EQ(LoadImageRecord(&target, folder.Get()), HRESULT(0x80000011u)) << "the failed reads' codes, or-ed";
  std::vector<FolderCall> header;
  for (const char* key : {"Width", "Height", "BitsPerPixel", "NumberPlanes", "FOURCC"}) header.push_back({"ReadValue", "", key, 4});
  EXPECT_EQ(folder->Calls(), header);
  for (const char* missing : {"Width", "Height", "BitsPerPixel", "NumberPlanes", "FOURCC"}) {
    ComPtr<CountingFolder> partial = MakeRecord({.omit = missing});
    EXPECT_EQ(LoadImageRecord(&target, partial.Get()), PXM_E_FAIL) << missing;
    ExpectReleased(*partial.Get());
  }
  EXPECT_EQ(target.creates, 0);
  ComPtr<CountingFolder> zeroBits = MakeRecord({.bits = 0});  // what Create refuses is the result, before any row
  EXPECT_EQ(LoadImageRecord(&target, zeroBits.Get()), PXM_E_NOTCREATABLE);
  EXPECT_TRUE(zeroBits->Calls({"OpenFolder", "Read"}).empty());
  // The stored code as Create gets it.
  const uint32_t formats[][3] = {{32, FOURCC_ABGR, FOURCC_ARGB}, {24, FOURCC_BGR, FOURCC_RGB}, {16, FOURCC_BGR, FOURCC_BGR},
                                 {16, FOURCC_ABGR, FOURCC_ABGR}, {32, FOURCC_MONO, FOURCC_MONO}, {24, FOURCC_ARGB, FOURCC_ARGB}};
  for (const auto& [bits, stored, created] : formats) {
    Target mapped;
    EXPECT_EQ(LoadImageRecord(&mapped, MakeRecord({.width = 2, .height = 1, .bits = bits, .fourcc = stored}).Get()), PXM_S_OK);
    EXPECT_EQ(mapped.createdFourcc, created) << bits;
  }
  // No "Data" child while the record declares rows: a failure, the image keeping its new shape.
  for (bool refused : {false, true}) {
    ComPtr<CountingFolder> noData = MakeRecord({.data = refused});
    if (refused) noData->failOpenFolder = {"Data"};
    Target shaped;
    EXPECT_EQ(LoadImageRecord(&shaped, noData.Get()), PXM_E_FAIL);
    EXPECT_EQ(shaped.image->GetShape().width, 4u);
    ExpectReleased(*noData.Get());
  }
  EXPECT_EQ(LoadImageRecord(&target, MakeRecord({.height = 0, .data = false}).Get()), PXM_S_OK) << "no rows, no child needed";
}

uint32_t ToEight(uint32_t bits) { return bits > 8 ? 8 : bits; }

// Loaded bytes where they belong, the guard byte everywhere else (padding included).
TEST_F(ImageRecord, LoadOfDamagedRowsReadsWhatFitsAndStaysInStep) {
  const struct {
    const char* name;
    Record record;
    Rules rules;
    uint32_t rowsLoaded, bytesLoaded, planesLoaded;  // bytes: of each row, up to its length with padding
  } cases[] = {
      // 16-byte rows into a class that keeps 8 bits: a row's length with its padding lands.
      {"DepthNormalisedDown", {.width = 4, .height = 3, .bits = 32}, {.padding = 2, .depth = ToEight}, 3, 6, 1},
      {"DepthNormalisedBottomUp", {.width = 3, .height = 2, .bits = 24, .planes = 2}, {.bottomUp = true, .padding = 1, .depth = ToEight}, 2, 4, 2},
      {"RowsInBothDirections", {.width = 5, .height = 4, .planes = 2}, {.bottomUp = true, .padding = 3}, 4, 5, 2},
      {"MoreRowsThanDeclared", {.extraRows = 5}, {}, 3, 4, 1},
      {"FewerRowsThanDeclared", {.height = 4, .extraRows = -2}, {.padding = 1}, 2, 4, 1},
      {"NoRowsAtAll", {.height = 3, .extraRows = -3}, {}, 0, 0, 1},
      // Fewer rows kept than recorded: plane 0's surplus is skipped, so plane 1 starts at its row 0.
      {"ImageShorterThanRecord", {.height = 4, .planes = 2}, {.maxHeight = 2}, 2, 4, 2},
      {"PlaneRefused", {.planes = 3}, {.planeLimit = 1}, 3, 4, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComPtr<CountingFolder> folder = MakeRecord(c.record);
    Target target(c.rules);
    EXPECT_EQ(LoadImageRecord(&target, folder.Get()), PXM_S_OK);
    TestImage& image = *target.image.Get();
    for (uint32_t p = 0; p < image.GetShape().planes; ++p)
      for (uint32_t y = 0; y < image.GetShape().height; ++y)
        for (uint32_t x = 0; x < image.RowBytes() + image.GetShape().padding; ++x) {
          const bool loaded = p < c.planesLoaded && y < c.rowsLoaded && x < c.bytesLoaded;
          ASSERT_EQ(image.Row(p, y)[x], loaded ? uint8_t(p * 64 + y * 16 + x) : 0xA5) << "plane " << p << " row " << y << " byte " << x;
        }
    EXPECT_EQ(target.refs, 1u);
    ExpectReleased(*folder.Get());
  }
  ComPtr<CountingFolder> folder = MakeRecord({.width = 8, .height = 100, .planes = 1000});
  folder->Child("Data")->readLimit = 8 * 3 + 5;
  Target target({.planeLimit = 1000});
  EXPECT_EQ(LoadImageRecord(&target, folder.Get()), PXM_S_OK);
  EXPECT_LE(folder->Calls({"Read"}).size(), 5u) << "no reading on after the content ended mid-row";
  EXPECT_TRUE(target.image->PaddingIntact());
}

TEST_F(ImageRecord, PalettesLoadOnlyWhenWhole) {
  ComPtr<TestImage> source = TestImage::Make({8, 2, 8, FOURCC_RGB, 1, true, 0});
  for (uint32_t i = 0; i < 256; ++i) source->palette.push_back(i * 0x010203u ^ 0xA0000000u);
  ComPtr<CountingFolder> saved = CountingFolder::Make();
  ASSERT_EQ(SaveImageRecord(source.Get(), saved.Get()), PXM_S_OK);
  Target target({.palette = true}), plain;
  ASSERT_EQ(LoadImageRecord(&target, saved.Get()), PXM_S_OK);
  EXPECT_EQ(target.palettes, std::vector<std::vector<uint32_t>>{source->palette});
  saved->log->clear();
  ASSERT_EQ(LoadImageRecord(&plain, saved.Get()), PXM_S_OK);
  for (const FolderCall& call : saved->Calls({"OpenFolder"})) EXPECT_NE(call.key, "Palette") << "no palette interface";
  ExpectReleased(*saved.Get());
  const std::pair<uint32_t, size_t> damaged[] = {{16, 8}, {2, 64}, {0x40000000u, 1024}, {257, 257 * 4}, {0, 0}, {256, 1024}};
  for (const auto& [size, dataBytes] : damaged) {
    ComPtr<CountingFolder> folder = MakeRecord({});
    CountingFolder* palette = folder->AddChild("Palette");
    palette->AddValue32("Size", size);
    palette->AddValue("Data", std::vector<uint8_t>(dataBytes, 0x5A));
    Target checked({.palette = true});
    EXPECT_EQ(LoadImageRecord(&checked, folder.Get()), PXM_S_OK) << size;
    EXPECT_EQ(checked.palettes.size(), size == 256 ? 1u : 0u) << size << " entries in " << dataBytes << " bytes";
    ExpectReleased(*folder.Get());
  }
}

TEST_F(ImageRecord, WithoutTransformPixelsStayAsStored) {
  Host().OfferTransform(false);
  ComPtr<TestImage> image = TestImage::Make({4, 2, 24, FOURCC_RGB, 1, true, 0});
  image->FillPattern(3);
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  ASSERT_EQ(SaveImageRecord(image.Get(), folder.Get()), PXM_S_OK);
  EXPECT_EQ(folder->Child("Data")->content, Rows(*image.Get()));
  Target target;
  ASSERT_EQ(LoadImageRecord(&target, folder.Get()), PXM_S_OK);
  EXPECT_EQ(Rows(*target.image.Get()), Rows(*image.Get()));
  EXPECT_EQ(Host().TransformLookups(), 2);
  ExpectReleased(*folder.Get());
}

}  // namespace
