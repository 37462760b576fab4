// The image record through a folder that logs every call: exact entries, sizes and order, the
// transform's calls, every reference released, and damaged records that must not write outside
// the image. Linked with the module's internals; images are the tests' own.
#include <gtest/gtest.h>

#include <functional>

#include "CountingFolder.h"
#include "PXMImage/ImageRecord.h"
#include "TestImage.h"

namespace {

TestCollection& Host() { return InstallTestCollection(&InitializeModule); }

// The rows of a plane's pixel bytes, first row first.
std::vector<uint8_t> PlaneRows(TestImage& image, uint32_t plane, uint32_t rowBytes) {
  std::vector<uint8_t> out;
  for (uint32_t y = 0; y < image.GetShape().height; ++y)
    out.insert(out.end(), image.Row(plane, y), image.Row(plane, y) + rowBytes);
  return out;
}

// A target for Load: Create makes a TestImage of the shape asked for, normalised by the rules.
class CreatableImage final : public IPXMImage, public IPXMImagePalette {
 public:
  struct Rules {
    bool bottomUp = false;
    uint32_t padding = 0;
    std::function<uint32_t(uint32_t)> depth = [](uint32_t bits) { return bits; };
    uint32_t maxHeight = UINT32_MAX;
    uint32_t planeLimit = UINT32_MAX;  // GetImage refuses planes from here on
    bool palette = false;              // answers IPXMImagePalette
  };
  static ComPtr<CreatableImage> Make(Rules rules) { return ComPtr<CreatableImage>(new CreatableImage(std::move(rules))); }

  Rules rules;
  ComPtr<TestImage> image;
  int creates = 0;
  uint32_t createdFourcc = 0xFFFFFFFF;
  std::vector<std::vector<uint32_t>> palettes;  // what SetPalette was given

  HRESULT QueryInterface(const IID& iid, void** out) override {
    *out = nullptr;
    if (iid == pxm::iid::IUnknown || iid == pxm::iid::IPXM || iid == pxm::iid::IPXMImage)
      *out = static_cast<IPXMImage*>(this);
    else if (iid == pxm::iid::IPXMImagePalette && rules.palette)
      *out = static_cast<IPXMImagePalette*>(this);
    else
      return PXM_E_NOINTERFACE;
    AddRef();
    return PXM_S_OK;
  }
  uint32_t AddRef() override { return ++m_Refs; }
  uint32_t Release() override {
    const uint32_t count = --m_Refs;
    if (count == 0) delete this;
    return count;
  }
  uint32_t Refs() const { return m_Refs; }

  HRESULT GetSize(uint32_t* w, uint32_t* h, uint32_t* p) override {
    if (image) return image->GetSize(w, h, p);
    *w = *h = *p = 0;
    return PXM_S_OK;
  }
  HRESULT GetPixelDescriptor(uint32_t* bits, uint32_t* fourcc, uint32_t* bytes) override {
    return image ? image->GetPixelDescriptor(bits, fourcc, bytes) : PXM_E_FAIL;
  }
  HRESULT GetImage(uint32_t plane, uint32_t* size, uint8_t** data, int32_t* stride) override {
    if (!image || plane >= rules.planeLimit) return PXM_E_INVALIDARG;
    return image->GetImage(plane, size, data, stride);
  }
  HRESULT Create(uint32_t width, uint32_t height, uint32_t planes, uint32_t bits, uint32_t fourcc) override {
    ++creates;
    createdFourcc = fourcc;
    if (bits == 0) return PXM_E_NOTCREATABLE;
    image = TestImage::Make({width, std::min(height, rules.maxHeight), rules.depth(bits), fourcc, planes,
                             rules.bottomUp, rules.padding});
    return PXM_S_OK;
  }
  HRESULT IsCreatable(uint32_t, uint32_t) override { return PXM_S_OK; }
  HRESULT Copy(IPXM*, int) override { return PXM_E_NOTIMPL; }
  HRESULT Equal(int) override { return PXM_E_NOTIMPL; }
  HRESULT SetPalette(uint32_t* entries, uint32_t count, uint32_t) override {
    palettes.emplace_back(entries, entries + count);
    return PXM_S_OK;
  }
  HRESULT GetPalette(uint32_t**, uint32_t*) override { return PXM_E_FAIL; }

 private:
  explicit CreatableImage(Rules r) : rules(std::move(r)) {}
  uint32_t m_Refs = 1;
};

class ImageRecord : public testing::Test {
 protected:
  void SetUp() override {
    Host().offerTransform = true;
    Host().strings->refuse = false;
    Host().transform->applied.clear();
    Host().transformLookups = 0;
  }
  // Every reference the module took is given back, and no host string is left alive.
  void ExpectReleased(const CountingFolder& folder) {
    EXPECT_TRUE(folder.ReferencesSettled());
    EXPECT_EQ(TestString::s_Live, 0);
    EXPECT_EQ(Host().transform->refCount(), 1u);
    EXPECT_EQ(Host().refCount(), 1u);
  }
  int Applies() const { return static_cast<int>(Host().transform->applied.size()); }
};

// ---------------------------------------------------------------------------------------------
// Save: what goes into the folder, and in which order.

struct SaveCase {
  const char* name;
  TestImage::Shape shape;
  std::vector<uint32_t> palette;
  uint32_t storedFourcc;
  uint32_t packedRow;
  int lookups;
  int applies;
};

void PrintTo(const SaveCase& c, std::ostream* os) { *os << c.name; }

class SaveEntries : public ImageRecord, public testing::WithParamInterface<SaveCase> {};

TEST_P(SaveEntries, WritesTheHeaderRowsAndPaletteInOrder) {
  const SaveCase& c = GetParam();
  ComPtr<TestImage> image = TestImage::Make(c.shape);
  image->palette = c.palette;
  image->FillPattern(7);
  std::vector<std::vector<uint8_t>> before;
  for (uint32_t p = 0; p < c.shape.planes; ++p) before.push_back(PlaneRows(*image.Get(), p, image->RowBytes()));
  ComPtr<CountingFolder> folder = CountingFolder::Make();

  ASSERT_EQ(SaveImageRecord(image.Get(), folder.Get()), PXM_S_OK);

  const uint32_t planeSize = (image->RowBytes() + c.shape.padding) * c.shape.height;
  const uint64_t dataSize = uint64_t{c.packedRow} * c.shape.height * c.shape.planes;
  std::vector<FolderCall> expected = {
      {"WriteValue", "", "Width", 4},        {"WriteValue", "", "Height", 4}, {"WriteValue", "", "BitsPerPixel", 4},
      {"WriteValue", "", "NumberPlanes", 4}, {"WriteValue", "", "FOURCC", 4},
  };
  if (c.shape.planes) {
    expected.push_back({"WriteValue", "", "Direction", 4});
    expected.push_back({"CreateFolder", "", "Data", 0});
    expected.push_back({"Reserve", "Data", "", planeSize + 8});
  }
  if (!c.palette.empty()) {
    expected.push_back({"CreateFolder", "", "Palette", 0});
    expected.push_back({"WriteValue", "Palette", "Size", 4});
    expected.push_back({"WriteValue", "Palette", "Data", 4 * c.palette.size()});
  }
  EXPECT_EQ(folder->Calls({"WriteValue", "CreateFolder", "Reserve", "Read", "ReadValue", "OpenFolder"}), expected);

  EXPECT_EQ(folder->Value32("Width"), c.shape.width);
  EXPECT_EQ(folder->Value32("Height"), c.shape.height);
  EXPECT_EQ(folder->Value32("BitsPerPixel"), c.shape.bitsPerPixel);
  EXPECT_EQ(folder->Value32("NumberPlanes"), c.shape.planes);
  EXPECT_EQ(folder->Value32("FOURCC"), c.storedFourcc);
  if (c.shape.planes) {
    EXPECT_EQ(folder->Value32("Direction"), static_cast<uint32_t>(image->Stride()));
    CountingFolder* data = folder->Child("Data");
    ASSERT_NE(data, nullptr);
    // The rows, plane after plane, first row first, without padding, as the transform left them.
    std::vector<uint8_t> rows;
    for (uint32_t p = 0; p < c.shape.planes; ++p)
      for (uint32_t y = 0; y < c.shape.height; ++y)
        for (uint32_t x = 0; x < c.packedRow; ++x)
          rows.push_back(before[p][size_t(y) * image->RowBytes() + x] ^ (c.applies ? 0xFF : 0));
    EXPECT_EQ(data->content.size(), dataSize);
    EXPECT_EQ(data->content, rows);
  } else {
    EXPECT_EQ(folder->Find("Direction"), nullptr);
    EXPECT_EQ(folder->Find("Data"), nullptr);
  }
  if (c.palette.empty()) {
    EXPECT_EQ(folder->Find("Palette"), nullptr);
  } else {
    CountingFolder* palette = folder->Child("Palette");
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(palette->Keys(), (std::vector<std::string>{"Size", "Data"}));
    EXPECT_EQ(palette->Value32("Size"), c.palette.size());
    std::vector<uint8_t> bytes(4 * c.palette.size());
    std::memcpy(bytes.data(), c.palette.data(), bytes.size());
    EXPECT_EQ(palette->Find("Data")->value, bytes);
  }
  // The transform is looked up for every plane and applied twice around each colour plane,
  // so the image is as it was.
  EXPECT_EQ(Host().transformLookups, c.lookups);
  EXPECT_EQ(Applies(), c.applies);
  for (IPXMImage* applied : Host().transform->applied) EXPECT_EQ(applied, static_cast<IPXMImage*>(image.Get()));
  for (uint32_t p = 0; p < c.shape.planes; ++p) EXPECT_EQ(PlaneRows(*image.Get(), p, image->RowBytes()), before[p]);
  EXPECT_TRUE(image->PaddingIntact());
  EXPECT_EQ(RefCount(static_cast<IPXMImage*>(image.Get())), 1u);
  ExpectReleased(*folder.Get());
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SaveEntries,
    testing::Values(
        SaveCase{"ThreeMonoPlanes", {5, 2, 8, FOURCC_MONO, 3, false, 3}, {}, FOURCC_MONO, 5, 3, 0},
        SaveCase{"BottomUpBGR24", {10, 3, 24, FOURCC_BGR, 1, true, 2}, {}, FOURCC_RGB, 30, 1, 2},
        SaveCase{"OneBitTenWide", {10, 2, 1, FOURCC_RGB, 1, true, 2}, {0x000000, 0xFFFFFF}, FOURCC_RGB, 1, 1, 2},
        SaveCase{"FourBitPalette", {7, 3, 4, FOURCC_RGB, 1, true, 0}, std::vector<uint32_t>(16, 0x00123456u),
                 FOURCC_RGB, 3, 1, 2},
        SaveCase{"ABGR32", {3, 2, 32, FOURCC_ABGR, 1, false, 0}, {}, FOURCC_ARGB, 12, 1, 2},
        SaveCase{"BGR16KeepsItsCode", {3, 2, 16, FOURCC_BGR, 1, false, 2}, {}, FOURCC_BGR, 6, 1, 2},
        SaveCase{"Mono32", {4, 2, 32, FOURCC_MONO, 2, false, 0}, {}, FOURCC_MONO, 16, 2, 0},
        SaveCase{"NoPlanes", {0, 0, 0, FOURCC_MONO, 0, false, 0}, {}, FOURCC_MONO, 0, 0, 0}),
    [](const testing::TestParamInfo<SaveCase>& info) { return info.param.name; });

TEST_F(ImageRecord, SaveWithoutTransformStoresThePixelsAsTheyAre) {
  Host().offerTransform = false;
  ComPtr<TestImage> image = TestImage::Make({4, 2, 24, FOURCC_RGB, 1, true, 0});
  image->FillPattern(3);
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  ASSERT_EQ(SaveImageRecord(image.Get(), folder.Get()), PXM_S_OK);
  EXPECT_EQ(folder->Child("Data")->content, PlaneRows(*image.Get(), 0, 12));
  EXPECT_EQ(Host().transformLookups, 1);
  ExpectReleased(*folder.Get());
}

TEST_F(ImageRecord, SaveWithoutHostStringsFailsAndWritesNothing) {
  Host().strings->refuse = true;
  ComPtr<TestImage> image = TestImage::Make({4, 2, 8, FOURCC_MONO, 1, false, 0});
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  EXPECT_EQ(SaveImageRecord(image.Get(), folder.Get()), PXM_E_FAIL);
  EXPECT_TRUE(folder->Calls().empty());
  ComPtr<CreatableImage> target = CreatableImage::Make({});
  EXPECT_EQ(LoadImageRecord(target.Get(), folder.Get()), PXM_E_FAIL);
  EXPECT_TRUE(folder->Calls().empty());
  EXPECT_EQ(target->creates, 0);
  ExpectReleased(*folder.Get());
}

TEST_F(ImageRecord, NoDataChildMeansNoRowsAndFailure) {
  ComPtr<TestImage> image = TestImage::Make({4, 2, 8, FOURCC_MONO, 2, false, 0});
  image->palette = {1, 2};
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  folder->failCreateFolder = {"Data"};
  EXPECT_EQ(SaveImageRecord(image.Get(), folder.Get()), PXM_E_FAIL);
  EXPECT_TRUE(folder->Calls({"Write", "Reserve"}).empty());
  EXPECT_EQ(folder->Find("Palette"), nullptr);
  ExpectReleased(*folder.Get());
}

TEST_F(ImageRecord, NoPaletteChildIsAFailure) {
  ComPtr<TestImage> image = TestImage::Make({4, 2, 8, FOURCC_RGB, 1, true, 0});
  image->palette = std::vector<uint32_t>(256, 7);
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  folder->failCreateFolder = {"Palette"};
  EXPECT_EQ(SaveImageRecord(image.Get(), folder.Get()), PXM_E_FAIL);
  EXPECT_EQ(folder->Child("Data")->content.size(), 8u);
  ExpectReleased(*folder.Get());
}

TEST_F(ImageRecord, NullArgumentsAreRefused) {
  ComPtr<TestImage> image = TestImage::Make({1, 1, 8, FOURCC_MONO, 1, false, 0});
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  EXPECT_EQ(SaveImageRecord(image.Get(), nullptr), PXM_E_POINTER);
  EXPECT_EQ(LoadImageRecord(image.Get(), nullptr), PXM_E_POINTER);
  EXPECT_EQ(SaveImageRecord(nullptr, folder.Get()), PXM_E_POINTER);
}

// ---------------------------------------------------------------------------------------------
// Load: round trips across row directions and paddings.

struct RoundTrip {
  const char* name;
  TestImage::Shape source;
  bool targetBottomUp;
  uint32_t targetPadding;
};

void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.name; }

class LoadRoundTrip : public ImageRecord, public testing::WithParamInterface<RoundTrip> {};

TEST_P(LoadRoundTrip, RowsLandInTheirOrderWhateverTheDirection) {
  const RoundTrip& c = GetParam();
  ComPtr<TestImage> source = TestImage::Make(c.source);
  source->FillPattern(11);
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  ASSERT_EQ(SaveImageRecord(source.Get(), folder.Get()), PXM_S_OK);
  folder->log->clear();
  Host().transform->applied.clear();

  ComPtr<CreatableImage> target = CreatableImage::Make({c.targetBottomUp, c.targetPadding});
  ASSERT_EQ(LoadImageRecord(target.Get(), folder.Get()), PXM_S_OK);
  ASSERT_TRUE(target->image);
  const uint32_t packed = c.source.bitsPerPixel * c.source.width / 8;
  // Colour rows are stored as the transform makes them and transformed back on loading only
  // from 24 bits on; below that they come back as stored.
  const bool colour = c.source.fourcc != FOURCC_MONO;
  const uint8_t flip = colour && c.source.bitsPerPixel < 24 ? 0xFF : 0;
  for (uint32_t p = 0; p < c.source.planes; ++p)
    for (uint32_t y = 0; y < c.source.height; ++y)
      for (uint32_t x = 0; x < packed; ++x)
        ASSERT_EQ(target->image->Row(p, y)[x], source->Row(p, y)[x] ^ flip) << "plane " << p << " row " << y;
  EXPECT_TRUE(target->image->PaddingIntact());

  // Header reads in order, then the rows; the transform once for colour at 24 bits and more.
  const std::vector<FolderCall> header = {{"ReadValue", "", "Width", 4},        {"ReadValue", "", "Height", 4},
                                          {"ReadValue", "", "BitsPerPixel", 4}, {"ReadValue", "", "NumberPlanes", 4},
                                          {"ReadValue", "", "FOURCC", 4},       {"OpenFolder", "", "Data", 0}};
  const std::vector<FolderCall> calls = folder->Calls({"ReadValue", "OpenFolder"});
  ASSERT_GE(calls.size(), header.size());
  EXPECT_EQ(std::vector<FolderCall>(calls.begin(), calls.begin() + 6), header);
  EXPECT_EQ(Applies(), colour && c.source.bitsPerPixel >= 24 ? 1 : 0);
  EXPECT_EQ(RefCount(static_cast<IPXMImage*>(target.Get())), 1u);
  ExpectReleased(*folder.Get());
}

INSTANTIATE_TEST_SUITE_P(
    Directions, LoadRoundTrip,
    testing::Values(RoundTrip{"TopDownIntoBottomUp", {5, 4, 8, FOURCC_MONO, 2, false, 3}, true, 1},
                    RoundTrip{"BottomUpIntoTopDown", {6, 3, 24, FOURCC_RGB, 1, true, 2}, false, 0},
                    RoundTrip{"PackedPlanesMoveWhole", {4, 5, 32, FOURCC_ARGB, 3, false, 0}, false, 0},
                    RoundTrip{"SameDirectionPadded", {9, 3, 16, FOURCC_RGB, 1, true, 2}, true, 3}),
    [](const testing::TestParamInfo<RoundTrip>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// Load: records made by hand.

struct Record {
  uint32_t width = 4, height = 3, bits = 8, planes = 1, fourcc = FOURCC_MONO;
  std::vector<std::string> omit = {};
  bool data = true;
  int64_t extraRows = 0;  // rows of data beyond (or, negative, short of) what the header declares
};

// A record whose row r of plane p holds bytes (p * 64 + r * 16 + x).
ComPtr<CountingFolder> MakeRecord(const Record& r) {
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  const std::pair<const char*, uint32_t> values[] = {
      {"Width", r.width}, {"Height", r.height}, {"BitsPerPixel", r.bits}, {"NumberPlanes", r.planes}, {"FOURCC", r.fourcc}};
  for (const auto& [key, value] : values)
    if (std::find(r.omit.begin(), r.omit.end(), key) == r.omit.end()) folder->AddValue32(key, value);
  folder->AddValue32("Direction", 0);
  if (r.data) {
    CountingFolder* data = folder->AddChild("Data");
    const uint32_t packed = r.bits * r.width / 8;
    const int64_t rows = int64_t{r.height} + r.extraRows;
    for (uint32_t p = 0; p < r.planes; ++p)
      for (int64_t y = 0; y < rows; ++y)
        for (uint32_t x = 0; x < packed; ++x) data->content.push_back(uint8_t(p * 64 + y * 16 + x));
  }
  return folder;
}

TEST_F(ImageRecord, HeaderReadFailuresAreOrTogetherAndNothingIsCreated) {
  ComPtr<CountingFolder> folder = MakeRecord({});
  folder->failReadValue = {{"Width", static_cast<HRESULT>(0x80000001u)},
                           {"FOURCC", static_cast<HRESULT>(0x80000010u)}};
  ComPtr<CreatableImage> target = CreatableImage::Make({});
  EXPECT_EQ(LoadImageRecord(target.Get(), folder.Get()), static_cast<HRESULT>(0x80000011u));
  EXPECT_EQ(folder->Calls({"ReadValue"}).size(), 5u);
  EXPECT_TRUE(folder->Calls({"OpenFolder", "Read"}).empty());
  EXPECT_EQ(target->creates, 0);

  for (const char* missing : {"Width", "Height", "BitsPerPixel", "NumberPlanes", "FOURCC"}) {
    ComPtr<CountingFolder> partial = MakeRecord({.omit = {missing}});
    EXPECT_EQ(LoadImageRecord(target.Get(), partial.Get()), PXM_E_FAIL) << missing;
    EXPECT_EQ(target->creates, 0) << missing;
    ExpectReleased(*partial.Get());
  }
}

TEST_F(ImageRecord, FormatMappingReachesCreate) {
  const struct {
    uint32_t bits, stored, created;
  } cases[] = {{32, FOURCC_ABGR, FOURCC_ARGB}, {24, FOURCC_BGR, FOURCC_RGB}, {16, FOURCC_BGR, FOURCC_BGR},
               {16, FOURCC_ABGR, FOURCC_ABGR}, {32, FOURCC_MONO, FOURCC_MONO}, {24, FOURCC_ARGB, FOURCC_ARGB}};
  for (const auto& c : cases) {
    ComPtr<CountingFolder> folder = MakeRecord({.width = 2, .height = 1, .bits = c.bits, .fourcc = c.stored});
    ComPtr<CreatableImage> target = CreatableImage::Make({});
    EXPECT_EQ(LoadImageRecord(target.Get(), folder.Get()), PXM_S_OK);
    EXPECT_EQ(target->createdFourcc, c.created) << c.bits;
  }
}

TEST_F(ImageRecord, CreateRefusalIsReturnedBeforeAnyRow) {
  ComPtr<CountingFolder> folder = MakeRecord({.bits = 0});
  ComPtr<CreatableImage> target = CreatableImage::Make({});
  EXPECT_EQ(LoadImageRecord(target.Get(), folder.Get()), PXM_E_NOTCREATABLE);
  EXPECT_TRUE(folder->Calls({"OpenFolder", "Read"}).empty());
  ExpectReleased(*folder.Get());
}

TEST_F(ImageRecord, MissingDataChildFailsButKeepsTheNewShape) {
  for (bool refused : {false, true}) {
    ComPtr<CountingFolder> folder = MakeRecord({.data = refused});
    if (refused) folder->failOpenFolder = {"Data"};
    ComPtr<CreatableImage> target = CreatableImage::Make({});
    EXPECT_EQ(LoadImageRecord(target.Get(), folder.Get()), PXM_E_FAIL);
    ASSERT_TRUE(target->image);
    EXPECT_EQ(target->image->GetShape().width, 4u);
    ExpectReleased(*folder.Get());
  }
  // Without rows to read, no child is needed.
  ComPtr<CountingFolder> empty = MakeRecord({.height = 0, .data = false});
  ComPtr<CreatableImage> target = CreatableImage::Make({});
  EXPECT_EQ(LoadImageRecord(target.Get(), empty.Get()), PXM_S_OK);
}

struct DamagedRows {
  const char* name;
  Record record;
  CreatableImage::Rules rules;
  uint32_t rowsLoaded;    // rows of plane 0 that get record bytes
  uint32_t bytesLoaded;   // bytes of each such row, up to the row's length with its padding
  uint32_t planesLoaded;
};

void PrintTo(const DamagedRows& c, std::ostream* os) { *os << c.name; }

class LoadDamaged : public ImageRecord, public testing::WithParamInterface<DamagedRows> {};

TEST_P(LoadDamaged, ReadsWhatFitsAndStaysInStep) {
  const DamagedRows& c = GetParam();
  ComPtr<CountingFolder> folder = MakeRecord(c.record);
  ComPtr<CreatableImage> target = CreatableImage::Make(c.rules);
  EXPECT_EQ(LoadImageRecord(target.Get(), folder.Get()), PXM_S_OK);
  ASSERT_TRUE(target->image);
  TestImage& image = *target->image.Get();
  for (uint32_t p = 0; p < image.GetShape().planes; ++p) {
    for (uint32_t y = 0; y < image.GetShape().height; ++y) {
      const uint8_t* row = image.Row(p, y);
      const bool loaded = p < c.planesLoaded && y < c.rowsLoaded;
      for (uint32_t x = 0; x < image.RowBytes() + image.GetShape().padding; ++x) {
        const uint8_t want = loaded && x < c.bytesLoaded ? uint8_t(p * 64 + y * 16 + x) : 0xA5;
        ASSERT_EQ(row[x], want) << "plane " << p << " row " << y << " byte " << x;
      }
    }
  }
  ExpectReleased(*folder.Get());
}

uint32_t ToEight(uint32_t bits) { return bits > 8 ? 8 : bits; }

INSTANTIATE_TEST_SUITE_P(
    Records, LoadDamaged,
    testing::Values(
        // 32-bit rows into a class that keeps 8 bits: a row's length (padding included) of each
        // 16 bytes lands, the rest is dropped.
        DamagedRows{"DepthNormalisedDown", {.width = 4, .height = 3, .bits = 32}, {.padding = 2, .depth = ToEight}, 3, 6, 1},
        DamagedRows{"DepthNormalisedBottomUp", {.width = 3, .height = 2, .bits = 24, .planes = 2},
                    {.bottomUp = true, .padding = 1, .depth = ToEight}, 2, 4, 2},
        DamagedRows{"MoreRowsThanDeclared", {.extraRows = 5}, {}, 3, 4, 1},
        DamagedRows{"FewerRowsThanDeclared", {.height = 4, .extraRows = -2}, {.padding = 1}, 2, 4, 1},
        DamagedRows{"NoRowsAtAll", {.height = 3, .extraRows = -3}, {}, 0, 0, 1},
        // The image keeps fewer rows than the record has: the surplus of plane 0 is skipped, so
        // plane 1 still starts at its own first row.
        DamagedRows{"ImageShorterThanRecord", {.height = 4, .planes = 2}, {.maxHeight = 2}, 2, 4, 2},
        DamagedRows{"PlaneRefused", {.planes = 3}, {.planeLimit = 1}, 3, 4, 1}),
    [](const testing::TestParamInfo<DamagedRows>& info) { return info.param.name; });

TEST_F(ImageRecord, ContentEndingMidRowStopsReading) {
  ComPtr<CountingFolder> folder = MakeRecord({.width = 8, .height = 100, .planes = 1000});
  folder->Child("Data")->readLimit = 8 * 3 + 5;
  ComPtr<CreatableImage> target = CreatableImage::Make({.planeLimit = 1000});
  EXPECT_EQ(LoadImageRecord(target.Get(), folder.Get()), PXM_S_OK);
  EXPECT_LE(folder->Calls({"Read"}).size(), 5u) << "no reading on after the content ended";
  EXPECT_TRUE(target->image->PaddingIntact());
}

// ---------------------------------------------------------------------------------------------
// Palettes.

TEST_F(ImageRecord, PaletteRoundTripsExactly) {
  ComPtr<TestImage> source = TestImage::Make({8, 2, 8, FOURCC_RGB, 1, true, 0});
  for (uint32_t i = 0; i < 256; ++i) source->palette.push_back(i * 0x010203u ^ 0xA0000000u);
  ComPtr<CountingFolder> folder = CountingFolder::Make();
  ASSERT_EQ(SaveImageRecord(source.Get(), folder.Get()), PXM_S_OK);
  Host().transform->applied.clear();

  ComPtr<CreatableImage> target = CreatableImage::Make({.palette = true});
  ASSERT_EQ(LoadImageRecord(target.Get(), folder.Get()), PXM_S_OK);
  ASSERT_EQ(target->palettes.size(), 1u);
  EXPECT_EQ(target->palettes[0], source->palette);
  EXPECT_EQ(Applies(), 0) << "8 bits per pixel: no transform on load";
  ExpectReleased(*folder.Get());

  // A target without a palette interface never opens the child.
  folder->log->clear();
  ComPtr<CreatableImage> plain = CreatableImage::Make({});
  ASSERT_EQ(LoadImageRecord(plain.Get(), folder.Get()), PXM_S_OK);
  for (const FolderCall& call : folder->Calls({"OpenFolder"})) EXPECT_NE(call.key, "Palette");
}

TEST_F(ImageRecord, DamagedPalettesNeverReachSetPalette) {
  const struct {
    const char* name;
    uint32_t size;
    size_t dataBytes;
  } cases[] = {{"SizeBeyondData", 16, 8}, {"DataBeyondSize", 2, 64}, {"Absurd", 0x40000000u, 1024},
               {"OneTooMany", 257, 257 * 4}, {"Zero", 0, 0}};
  for (const auto& c : cases) {
    ComPtr<CountingFolder> folder = MakeRecord({});
    CountingFolder* palette = folder->AddChild("Palette");
    palette->AddValue32("Size", c.size);
    palette->AddValue("Data", std::vector<uint8_t>(c.dataBytes, 0x5A));
    ComPtr<CreatableImage> target = CreatableImage::Make({.palette = true});
    EXPECT_EQ(LoadImageRecord(target.Get(), folder.Get()), PXM_S_OK) << c.name;
    EXPECT_TRUE(target->palettes.empty()) << c.name;
    ExpectReleased(*folder.Get());
  }
  // The largest palette a picture has still loads.
  ComPtr<CountingFolder> folder = MakeRecord({});
  CountingFolder* palette = folder->AddChild("Palette");
  palette->AddValue32("Size", 256);
  palette->AddValue("Data", std::vector<uint8_t>(1024, 0x5A));
  ComPtr<CreatableImage> target = CreatableImage::Make({.palette = true});
  EXPECT_EQ(LoadImageRecord(target.Get(), folder.Get()), PXM_S_OK);
  ASSERT_EQ(target->palettes.size(), 1u);
  EXPECT_EQ(target->palettes[0], std::vector<uint32_t>(256, 0x5A5A5A5Au));
}

TEST_F(ImageRecord, LoadWithoutTransformLeavesTheStoredPixels) {
  Host().offerTransform = false;
  ComPtr<CountingFolder> folder = MakeRecord({.width = 2, .height = 2, .bits = 24, .fourcc = FOURCC_RGB});
  ComPtr<CreatableImage> target = CreatableImage::Make({});
  EXPECT_EQ(LoadImageRecord(target.Get(), folder.Get()), PXM_S_OK);
  EXPECT_EQ(target->image->Row(0, 1)[5], 16 + 5);
  EXPECT_EQ(Host().transformLookups, 1);
  ExpectReleased(*folder.Get());
}

}  // namespace
