// IDataPersist of the three classes as a host meets it: records in the host module's stream, exact,
// failing, damaged and moved between classes.
#include <gtest/gtest.h>

#include "HostStream.h"
#include "PathString.h"
#include "TestImage.h"

namespace {

ComPtr<IPXMImage> NewImage(const std::wstring& className) { return ModuleHost::Get().Create<IPXMImage>(className, pxm::iid::IPXMImage); }
HRESULT Save(const ComPtr<IPXMImage>& image, IDataStream* stream) { return image.As<IDataPersist>(pxm::iid::IDataPersist)->Save(stream, 0); }
HRESULT Load(const ComPtr<IPXMImage>& image, IDataStream* stream) { return image.As<IDataPersist>(pxm::iid::IDataPersist)->Load(stream, 1); }  // the option has no effect
uint32_t Le32(const std::vector<uint8_t>& v) { return v.size() == 4 ? v[0] | v[1] << 8 | v[2] << 16 | uint32_t(v[3]) << 24 : ~0u; }

using Shape = view::Described;
uint8_t* Row(IPXMImage* image, uint32_t plane, uint32_t y) { return view::Probe(image, plane).Row(y); }
std::vector<uint8_t> Rows(IPXMImage* image, uint32_t bytes) {
  const Shape s = view::Probe(image);
  std::vector<uint8_t> out;
  for (uint32_t p = 0; p < s.planes; ++p)
    for (uint32_t y = 0; y < s.height; ++y) out.insert(out.end(), Row(image, p, y), Row(image, p, y) + bytes);
  return out;
}
ComPtr<IPXMImage> Painted(const std::wstring& className, Shape s, uint8_t seed) {  // row y of plane p: seed + p * 97 + y * 31 + x, padding too
  ComPtr<IPXMImage> image = NewImage(className);
  EXPECT_EQ(image->Create(s.width, s.height, s.planes, s.bits, s.fourcc), PXM_S_OK);
  s = view::Probe(image.Get());
  for (uint32_t p = 0; p < s.planes; ++p)
    for (uint32_t y = 0; y < s.height; ++y)
      for (int32_t x = 0; x < std::abs(view::Probe(image.Get(), p).stride); ++x) Row(image.Get(), p, y)[x] = uint8_t(seed + p * 97 + y * 31 + x);
  return image;
}

struct Record { uint32_t width = 4, height = 3, bits = 8, planes = 1, fourcc = FOURCC_MONO; int64_t rows = -1; };  // rows in each plane: -1 as declared, 0 no "Data"
ComPtr<IDataStream> MakeRecord(const Record& r) {  // in a host stream; row r of plane p holds bytes p * 64 + r * 16 + x
  ComPtr<IDataStream> stream = NewStream();
  ComPtr<IFolderStream> folder = stream.As<IFolderStream>(pxm::iid::IFolderStream), data;
  for (const auto& [key, v] : {std::pair{L"Width", r.width}, {L"Height", r.height}, {L"BitsPerPixel", r.bits}, {L"NumberPlanes", r.planes}, {L"FOURCC", r.fourcc}}) {
    PathString name{std::wstring(key)};
    folder->WriteValue(&name, &v, 4, 0);  // little-endian, as the record's values are
  }
  std::vector<uint8_t> rows;
  for (uint32_t p = 0; r.rows && p < r.planes; ++p)
    for (int64_t y = 0; y < (r.rows < 0 ? r.height : r.rows); ++y)
      for (uint32_t x = 0; x < r.bits * r.width / 8; ++x) rows.push_back(uint8_t(p * 64 + y * 16 + x));
  PathString name{std::wstring(L"Data")};
  if (r.rows && PXM_SUCCEEDED(folder->CreateFolder(&name, 0, reinterpret_cast<IFolderStream**>(data.Out())))) data->Write(rows.data(), uint32_t(rows.size()), nullptr);
  return stream;
}

// What the module keeps for good (the host's collection, its string component) made first, so that
// each folder's Held() shows every reference the module took given back.
struct DataPersist : testing::Test {
  static void SetUpTestSuite() { Save(Painted(L"PXMImage", {1, 1, 1, 8, FOURCC_MONO}, 0), NewStream().Get()); }
};

// Each class's record: its keys in order (a canvas's colour first), its rows unpadded as the transform
// leaves them (colour bytes 0 and 2 swapped); loaded into any class, rows land by index whatever the row
// direction. A failing stream call ends Save with its result; rows that run short leave the image as it was.
TEST_F(DataPersist, RecordsKeepTheirKeysMoveBetweenClassesAndStopAtAFailingStream) {
  constexpr HRESULT kFull = HRESULT(0x80030070u);
  const wchar_t *R = L"PXMImage", *D = L"PXMImageDIB", *C = L"PXMImageCANVAS";
  const struct { const wchar_t* from; Shape shape; int32_t direction; const wchar_t* to; HRESULT result = PXM_S_OK; } cases[] = {  // direction: the stride
      {R, {5, 2, 3, 8, FOURCC_MONO}, 8, R}, {D, {10, 3, 1, 8, FOURCC_RGB}, -12, D}, {D, {10, 2, 1, 1, FOURCC_RGB}, -4, D}, {D, {10, 3, 1, 24, FOURCC_RGB}, -32, D},
      {D, {3, 2, 1, 16, FOURCC_RGB}, -8, D}, {C, {3, 2, 1, 24, FOURCC_RGB}, -12, C}, {R, {5, 3, 1, 8, FOURCC_MONO}, 8, D}, {R, {3, 2, 1, 32, FOURCC_MONO}, 12, C},
      {R, {4, 2, 3, 8, FOURCC_MONO}, 4, C},  // one plane answering every index: the last plane's rows
      {D, {7, 3, 1, 32, FOURCC_ARGB}, -28, C}, {D, {7, 3, 1, 24, FOURCC_RGB}, -24, D}, {D, {9, 2, 1, 4, FOURCC_RGB}, -8, D}, {D, {5, 2, 1, 8, FOURCC_MONO}, -8, R},
      {C, {5, 2, 1, 8, FOURCC_MONO}, -5, R}, {C, {3, 2, 1, 32, FOURCC_RGB}, -12, D},
      // The raster image keeps grey only: what its Create refuses is the result.
      {C, {3, 2, 1, 32, FOURCC_RGB}, -12, R, PXM_E_NOTCREATABLE}, {D, {3, 2, 1, 24, FOURCC_RGB}, -12, R, PXM_E_NOTCREATABLE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::wstring(c.from).size() << " " << c.shape.bits << " bits into " << std::wstring(c.to).size());
    ComPtr<IPXMImage> image = Painted(c.from, c.shape, 1), target = NewImage(c.to);
    ComPtr<IPXMImageCANVAS> canvas = image.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS);
    if (canvas) canvas->put_TransparentColor(0x00123456);
    ComPtr<IPXMImagePalette> palette = image.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette);
    uint32_t *entries = nullptr, count = 0, colours[256];
    for (uint32_t i = 0; palette && i < 256; ++i) colours[i] = i * 0x010203u & 0xFFFFFF;
    if (palette) { palette->GetPalette(&entries, &count); palette->SetPalette(colours, count, 0); palette->GetPalette(&entries, &count); }
    const Shape stored = view::Probe(image.Get());
    const std::vector<uint8_t> before = Rows(image.Get(), std::abs(c.direction));
    ComPtr<IDataStream> record = NewStream();
    ComPtr<FailingFolder> folder = FailingFolder::Over(record);
    ASSERT_EQ(Save(image, folder->Stream()), PXM_S_OK);
    const Listing saved = folder->Entries();
    std::vector<std::string> keys, expected = {"Width", "Height", "BitsPerPixel", "NumberPlanes", "FOURCC", "Direction", "Data"};
    if (canvas) expected.insert(expected.begin(), "TranparentColor");
    if (count) expected.insert(expected.end(), {"Palette", "Palette/Size", "Palette/Data"});
    for (const auto& entry : saved) keys.push_back(entry.first);
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(Le32(Find(saved, "Palette/Size")), count ? count : ~0u);
    const uint32_t header[] = {0x00123456, c.shape.width, c.shape.height, stored.bits, c.shape.planes, c.shape.fourcc, uint32_t(c.direction)};
    for (size_t i = canvas ? 0 : 1; i < 7; ++i) EXPECT_EQ(Le32(Find(saved, expected[i - !canvas])), header[i]) << expected[i - !canvas];
    EXPECT_EQ(folder->plan->reserved, std::vector<uint32_t>{std::abs(c.direction) * c.shape.height + 8}) << "advice: the rows' bytes and a little";
    std::vector<uint8_t> rows;  // a row's bytes in the record: 10 pixels of 24 bits take 30, of 1 bit 1
    for (size_t i = 0; i < before.size(); ++i)
      if (i % std::abs(c.direction) < stored.Packed()) rows.push_back(before[i]);
    const uint32_t swapped = c.shape.fourcc != FOURCC_MONO && stored.bits >= 24 ? stored.bits / 8 : 0;
    for (size_t i = 0; swapped && i < rows.size(); i += swapped) std::swap(rows[i], rows[i + 2]);
    EXPECT_EQ(Find(saved, "Data"), rows);
    EXPECT_EQ(Find(saved, "Palette/Data"), std::vector<uint8_t>(reinterpret_cast<uint8_t*>(entries), reinterpret_cast<uint8_t*>(entries + count)));
    EXPECT_EQ(Rows(image.Get(), std::abs(c.direction)), before);
    EXPECT_EQ(RefCount(image.Get()), canvas || palette ? 2u : 1u);
    ASSERT_EQ(Load(target, folder->Stream()), c.result);
    EXPECT_EQ(folder->Held(), FailingFolder::kReleased);
    // Each call failing in turn (the last run fails none), the first run's Writes short.
    int n = 0;
    for (bool failed = true; failed; ++n) {
      ComPtr<FailingFolder> failing = FailingFolder::Over(NewStream(), {.fail = {{n, kFull}}, .shortWrites = n == 0});
      const HRESULT hr = Save(image, failing->Stream());
      EXPECT_EQ(hr, !(failed = failing->plan->failed) ? PXM_S_OK : n == 0 ? PXM_E_FAIL : kFull) << "failing call " << n;
      EXPECT_EQ((std::pair{failing->plan->callsAfter, failing->Held()}), (std::pair{0, FailingFolder::kReleased})) << "no call after failing call " << n;
    }
    EXPECT_GE(n, int(expected.size()) + 2) << "every entry and the rows' Write";
    ComPtr<FailingFolder> refusing = FailingFolder::Over(NewStream(), {.refuseView = true});  // no stream, or no folder view
    EXPECT_EQ(Save(image, nullptr) & Load(target, nullptr) & Save(image, refusing->Stream()) & Load(target, refusing->Stream()), PXM_E_FAIL);
    EXPECT_EQ((std::pair{refusing->Entries().size(), refusing->Held()}), (std::pair{size_t{0}, FailingFolder::kReleased}));
    if (PXM_FAILED(c.result)) continue;
    // Rows that end a byte early: the image as it was.
    ComPtr<FailingFolder> cut = FailingFolder::Over(record, {.readLimit = Find(saved, "Data").size() - 1});
    ComPtr<IPXMImage> kept = Painted(c.to, {3, 1, 1, 8, FOURCC_MONO}, 5);
    EXPECT_EQ(Load(kept, cut->Stream()), PXM_E_INVALIDARG);
    EXPECT_EQ((std::pair{view::Probe(kept.Get()).width, uint32_t(Row(kept.Get(), 0, 0)[2])}), (std::pair{3u, 7u}));
    EXPECT_EQ((std::pair{cut->plan->callsAfter, cut->Held()}), (std::pair{0, FailingFolder::kReleased})) << "no reading on after the content ended";
    const Shape loaded = view::Probe(target.Get());
    EXPECT_EQ((std::pair{loaded.width, loaded.height}), (std::pair{stored.width, stored.height}));
    for (uint32_t y = 0; y < stored.height; ++y)
      ASSERT_EQ(0, std::memcmp(Row(target.Get(), 0, y), Row(image.Get(), loaded.planes < stored.planes ? stored.planes - 1 : 0, y), std::min(stored.Packed(), loaded.Packed()))) << y;
    if (c.to == D && palette) { EXPECT_EQ(PaletteEntries(target.Get()), std::vector(colours, colours + count)) << "the record's palette, not Create's"; }
    if (!canvas || c.to != C) continue;
    ASSERT_EQ(Load(target, MakeRecord({}).Get()), PXM_S_OK);
    int colour = 0;
    target.As<IPXMImageCANVAS>(pxm::iid::IPXMImageCANVAS)->get_TransparentColor(&colour);
    EXPECT_EQ(colour, 0x00123456);
  }
  // A canvas whose buffer could not be had saves its header and no rows, and fails.
  ComPtr<IPXMImage> canvas = NewImage(L"PXMImageCANVAS");
  ASSERT_NE(canvas->Create(40000, 40000, 1, 32, FOURCC_RGB), PXM_S_OK);
  ComPtr<IDataStream> stream = NewStream();
  EXPECT_EQ(Save(canvas, stream.Get()), PXM_E_FAIL);
  const Listing saved = List(stream.Get());
  EXPECT_EQ(Le32(Find(saved, "Width")), 40000u);
  for (const auto& entry : saved) EXPECT_NE(entry.first, "Data");
}

// A record is untrusted: header reads or-ed, nothing made from a failed header, rows read only
// into the image's rows.
TEST_F(DataPersist, DamagedRecordsLoadWhatFitsInsideTheImage) {
  ComPtr<IPXMImage> dib = Painted(L"PXMImageDIB", {2, 2, 1, 8, FOURCC_MONO}, 9);
  ComPtr<FailingFolder> folder = FailingFolder::Over(MakeRecord({}), {.fail = {{1, HRESULT(0x80000001u)}, {5, HRESULT(0x80000010u)}}});
  EXPECT_EQ((std::pair{Load(dib, folder->Stream()), folder->plan->callsAfter}), (std::pair{HRESULT(0x80000011u), 4})) << "the width and the code failing; the whole header read, nothing more";
  folder = FailingFolder::Over(MakeRecord({}), {.fail = {{2, PXM_E_FAIL}}});  // the height, as a missing key
  EXPECT_EQ(Load(dib, folder->Stream()), PXM_E_FAIL);
  EXPECT_EQ((std::pair{view::Probe(dib.Get()).width, uint32_t(Row(dib.Get(), 0, 1)[1])}), (std::pair{2u, 9u + 31 + 1})) << "the previous image";
  // A row's surplus dropped so the next stays in step, a short row's rest zero; rows the "Data" child
  // lacks refused at the cost of its few bytes. More damaged records are the stream fuzzer's seeds.
  // fourcc: the code the image says it holds, when not the record's.
  const struct { const wchar_t* into; Record record; uint32_t rowsLoaded; HRESULT result = PXM_S_OK; uint32_t fourcc = UINT32_MAX; } cases[] = {
      {L"PXMImageCANVAS", {3, 4, 64, 1, FOURCC_RGB}, 4}, {L"PXMImageDIB", {10, 2, 1, 1, FOURCC_RGB}, 2},
      {L"PXMImageDIB", {4, 2, 16, 1, FOURCC_ABGR}, 2, PXM_S_OK, FOURCC_RGB},  // blue-first is taken as it is below 24 bits
      {L"PXMImage", {4, 3, 24, 1, FOURCC_MONO}, 0, PXM_E_NOTCREATABLE},  // what Create refuses, before any row
      {L"PXMImage", {4, 0, 8, 1, FOURCC_MONO, 0}, 0},  // no rows need no "Data"
      {L"PXMImage", {4, 3, 8, 1, FOURCC_MONO, 0}, 0, PXM_E_INVALIDARG}, {L"PXMImageDIB", {5, 6, 8, 1, FOURCC_MONO, 2}, 0, PXM_E_INVALIDARG},
      {L"PXMImageCANVAS", {30000, 30000, 32, 1, FOURCC_RGB, 1}, 0, PXM_E_INVALIDARG}, {L"PXMImageDIB", {100, 700, 24, 1, FOURCC_RGB, 699}, 0, PXM_E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.record.width << "x" << c.record.height << " " << c.record.bits << " bits " << c.record.planes);
    ComPtr<FailingFolder> record = FailingFolder::Over(MakeRecord(c.record));
    ComPtr<IPXMImage> target = NewImage(c.into);
    ASSERT_EQ(Load(target, record->Stream()), c.result);
    const view::Described d = view::Probe(target.Get());
    EXPECT_EQ((std::pair{d.width, d.fourcc}), (PXM_FAILED(c.result) ? std::pair{0u, d.fourcc} : std::pair{c.record.width, c.fourcc != UINT32_MAX ? c.fourcc : c.record.fourcc}));
    const uint32_t rowLength = std::abs(view::Probe(target.Get(), 0).stride);
    for (uint32_t y = 0; y < c.rowsLoaded; ++y)
      for (uint32_t x = 0; x < rowLength; ++x) ASSERT_EQ(Row(target.Get(), 0, y)[x], x < c.record.bits * c.record.width / 8 ? uint8_t(y * 16 + x) : 0) << y << " " << x;
    EXPECT_EQ(record->Held(), FailingFolder::kReleased);
  }
}

}  // namespace
