// Copy(IPXM*, int): every rule of the conversion table from test sources of both row directions
// with padded rows, from raster and DIB sources and from the image itself; the palette
// hand-over; the alpha option; and the failures.
#include <gtest/gtest.h>

#include <cstring>

#include "DibTestSupport.h"
#include "TestImage.h"

namespace {

ComPtr<IPXMImageDIB> NewDib() { return ModuleHost::Get().CreateDIB(); }

struct Plane {
  uint32_t size = 0;
  uint8_t* data = nullptr;
  int32_t stride = 0;
  uint8_t* Row(uint32_t y) const { return data + int64_t{y} * stride; }
};
Plane PlaneOf(IPXM* image) {
  Plane p;
  image->GetImage(0, &p.size, &p.data, &p.stride);
  return p;
}

struct Format {
  uint32_t width = 0, height = 0, planes = 0, bits = 0, fourcc = 0;
  bool operator==(const Format&) const = default;
};
Format FormatOf(IPXM* image) {
  Format f;
  image->GetSize(&f.width, &f.height, &f.planes);
  image->GetPixelDescriptor(&f.bits, &f.fourcc, nullptr);
  return f;
}

enum class Rule { Copy, Swap, FirstByte, Opaque, None };

// What one destination row must hold, from the source row, by the plain reading of the rule.
std::vector<uint8_t> Expected(Rule rule, const uint8_t* source, uint32_t width) {
  std::vector<uint8_t> row;
  for (uint32_t x = 0; x < width; ++x) {
    switch (rule) {
      case Rule::Swap:
        row.insert(row.end(), {source[3 * x + 2], source[3 * x + 1], source[3 * x]});
        break;
      case Rule::FirstByte:
        row.push_back(source[4 * x]);
        break;
      case Rule::Opaque:
        row.insert(row.end(), {source[4 * x], source[4 * x + 1], source[4 * x + 2], 255});
        break;
      default:
        break;
    }
  }
  return row;
}

struct CopyCase {
  uint32_t bits, fourcc;
  int alpha;
  Format made;  // width and height filled in by the test
  Rule rule;
};

void PrintTo(const CopyCase& c, std::ostream* os) {
  *os << c.bits << " bits, code " << std::hex << c.fourcc << std::dec << ", alpha " << c.alpha;
}

class CopyRule : public testing::TestWithParam<CopyCase> {};

TEST_P(CopyRule, FromTestSourcesOfBothDirectionsAndPaddedRows) {
  const CopyCase& c = GetParam();
  for (const bool bottomUp : {false, true}) {
    for (const uint32_t padding : {0u, 3u}) {
      for (const uint32_t width : {7u, 1029u}) {
        SCOPED_TRACE(testing::Message() << "bottomUp " << bottomUp << " padding " << padding << " width " << width);
        ComPtr<TestImage> source = TestImage::Make(
            {.width = width, .height = 3, .bitsPerPixel = c.bits, .fourcc = c.fourcc, .bottomUp = bottomUp,
             .padding = padding});
        source->FillPattern(width + c.bits);
        ComPtr<IPXMImageDIB> dib = NewDib();
        ASSERT_EQ(dib->Copy(source.Get(), c.alpha), PXM_S_OK);
        Format want = c.made;
        want.width = width;
        want.height = 3;
        EXPECT_EQ(FormatOf(dib.Get()), want);
        EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u) << "no reference kept or leaked";
        EXPECT_TRUE(source->PaddingIntact());
        if (c.rule == Rule::None) {
          EXPECT_EQ(source->getImageCalls, 0) << "no rule: the rows are not read";
          continue;
        }
        const Plane out = PlaneOf(dib.Get());
        const size_t outBytes = size_t{width} * want.bits / 8;
        // 32-bit grey rows are found with the stride rounded toward zero to whole pixels.
        const int32_t inStride = c.rule == Rule::FirstByte ? source->Stride() / 4 * 4 : source->Stride();
        for (uint32_t y = 0; y < 3; ++y) {
          const uint8_t* in = source->Row(0, 0) + int64_t{y} * inStride;
          const std::vector<uint8_t> got(out.Row(y), out.Row(y) + outBytes);
          if (c.rule == Rule::Copy)
            ASSERT_EQ(got, std::vector<uint8_t>(in, in + outBytes)) << "row " << y;
          else
            ASSERT_EQ(got, Expected(c.rule, in, width)) << "row " << y;
        }
      }
    }
  }
}

constexpr uint32_t kMono = FOURCC_MONO, kArgb = FOURCC_ARGB, kBgr = FOURCC_BGR, kAbgr = FOURCC_ABGR;

INSTANTIATE_TEST_SUITE_P(
    Table, CopyRule,
    testing::Values(
        // 8 bits, any code: grey, bytes unchanged.
        CopyCase{8, kMono, 0, {0, 0, 1, 8, kMono}, Rule::Copy}, CopyCase{8, 0, 255, {0, 0, 1, 8, kMono}, Rule::Copy},
        CopyCase{8, kArgb, 0, {0, 0, 1, 8, kMono}, Rule::Copy},
        // 24 bits: red-first codes copied, every other code swapped.
        CopyCase{24, 0, 0, {0, 0, 1, 24, 0}, Rule::Copy}, CopyCase{24, kArgb, 255, {0, 0, 1, 24, 0}, Rule::Copy},
        CopyCase{24, kBgr, 0, {0, 0, 1, 24, 0}, Rule::Swap}, CopyCase{24, kAbgr, 0, {0, 0, 1, 24, 0}, Rule::Swap},
        CopyCase{24, kMono, 255, {0, 0, 1, 24, 0}, Rule::Swap},
        // 32 bits: grey keeps each pixel's first byte; colour keeps its bytes, alpha forced by 255 only.
        CopyCase{32, kMono, 255, {0, 0, 1, 8, kMono}, Rule::FirstByte},
        CopyCase{32, kArgb, 0, {0, 0, 1, 32, kArgb}, Rule::Copy},
        CopyCase{32, kArgb, 255, {0, 0, 1, 32, kArgb}, Rule::Opaque},
        CopyCase{32, kArgb, 254, {0, 0, 1, 32, kArgb}, Rule::Copy},
        CopyCase{32, kArgb, -1, {0, 0, 1, 32, kArgb}, Rule::Copy}, CopyCase{32, 0, 0, {0, 0, 1, 32, 0}, Rule::Copy},
        CopyCase{32, kAbgr, 0, {0, 0, 1, 32, 0}, Rule::Copy}, CopyCase{32, kBgr, 255, {0, 0, 1, 32, 0}, Rule::Opaque},
        // Any other depth: a 24-bit image of the size whose rows are not written.
        CopyCase{16, 0, 0, {0, 0, 1, 24, 0}, Rule::None}, CopyCase{1, kMono, 0, {0, 0, 1, 24, 0}, Rule::None},
        CopyCase{4, 0, 0, {0, 0, 1, 24, 0}, Rule::None}, CopyCase{12, kArgb, 0, {0, 0, 1, 24, 0}, Rule::None}));

TEST(Copy, SeveralPlanesLeaveTheRowsUnwrittenButTakeThePalette) {
  ComPtr<TestImage> source = TestImage::Make({.width = 5, .height = 2, .bitsPerPixel = 8, .planes = 2});
  source->palette = {0x00112233, 0x00445566};
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Copy(source.Get(), 0), PXM_S_OK);
  EXPECT_EQ(FormatOf(dib.Get()), (Format{5, 2, 1, 8, kMono}));
  EXPECT_EQ(source->getImageCalls, 0);
  uint32_t* table = nullptr;
  dib.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette)->GetPalette(&table, nullptr);
  EXPECT_EQ(table[1], 0x00445566u);
  EXPECT_EQ(table[2], 0x00020202u);
}

TEST(Copy, PaletteOfAnEightBitSourceIsHandedOverUpToItsLength) {
  for (const uint32_t entries : {0u, 16u, 256u, 300u}) {
    SCOPED_TRACE(entries);
    ComPtr<TestImage> source = TestImage::Make({.width = 3, .height = 1, .bitsPerPixel = 8});
    for (uint32_t i = 0; i < entries; ++i) source->palette.push_back(0xFF000000u | (0x00FFFFFFu - i * 0x010203u));
    ComPtr<IPXMImageDIB> dib = NewDib();
    ASSERT_EQ(dib->Copy(source.Get(), 0), PXM_S_OK);
    uint32_t* table = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(dib.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette)->GetPalette(&table, &count), PXM_S_FALSE);
    ASSERT_EQ(count, 256u);
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t want = i < entries ? source->palette[i] & 0x00FFFFFFu : i * 0x010101u;  // else the ramp
      ASSERT_EQ(table[i], want) << i;
    }
    EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u) << "the palette interface was released";
  }
}

TEST(Copy, FromDibSourcesKeepsRowOrderAndHandsOverThePalette) {
  // An 8-bit DIB with a palette of its own.
  ComPtr<IPXMImageDIB> grey = NewDib();
  ASSERT_EQ(grey->Create(9, 4, 1, 8, kMono), PXM_S_OK);
  std::vector<uint32_t> colours(256);
  for (uint32_t i = 0; i < 256; ++i) colours[i] = i * 0x00010307u & 0x00FFFFFFu;
  grey.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette)->SetPalette(colours.data(), 256, 0);
  Plane in = PlaneOf(grey.Get());
  for (uint32_t i = 0; i < in.size; ++i) in.Row(3)[i] = static_cast<uint8_t>(i * 13);  // all rows, from the bottom

  ComPtr<IPXMImageDIB> copy = NewDib();
  ASSERT_EQ(copy->Copy(grey.Get(), 0), PXM_S_OK);
  const Plane out = PlaneOf(copy.Get());
  EXPECT_EQ(out.size, in.size);
  // Two bottom-up images: the same memory order; the padding after 9 bytes is not copied.
  for (uint32_t y = 0; y < 4; ++y) EXPECT_EQ(0, std::memcmp(out.Row(y), in.Row(y), 9)) << y;
  EXPECT_EQ(out.Row(3)[0], 0);
  EXPECT_EQ(out.Row(2)[0], 12 * 13);
  uint32_t* table = nullptr;
  copy.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette)->GetPalette(&table, nullptr);
  EXPECT_EQ(std::vector<uint32_t>(table, table + 256), colours);

  // A 32-bit DIB with alpha, made opaque.
  ComPtr<IPXMImageDIB> argb = NewDib();
  ASSERT_EQ(argb->Create(5, 2, 1, 32, kArgb), PXM_S_OK);
  in = PlaneOf(argb.Get());
  std::memset(in.Row(1), 0x40, in.size);
  ASSERT_EQ(copy->Copy(argb.Get(), 255), PXM_S_OK);
  EXPECT_EQ(FormatOf(copy.Get()), (Format{5, 2, 1, 32, kArgb}));
  const Plane opaque = PlaneOf(copy.Get());
  for (uint32_t i = 0; i < opaque.size; ++i) ASSERT_EQ(opaque.Row(1)[i], i % 4 == 3 ? 255 : 0x40) << i;
}

TEST(Copy, FromTopDownGreyReversesTheRowsInMemory) {
  // A raster-like source: rows top row first, positive stride.
  ComPtr<TestImage> source = TestImage::Make({.width = 4, .height = 3, .bitsPerPixel = 8});
  for (uint32_t y = 0; y < 3; ++y) std::memset(source->Row(0, y), int(10 + y), 4);
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Copy(source.Get(), 0), PXM_S_OK);
  uint8_t* block = nullptr;
  dib->GetDIB(&block, nullptr);
  const uint8_t* bits = block + 40 + 1024;
  EXPECT_EQ(bits[0], 12) << "the bottom row comes first in a DIB";
  EXPECT_EQ(bits[2 * 4], 10);
}

TEST(Copy, FromRasterImages) {
  // Raster rows run top row first: the DIB holds them the other way round in memory.
  for (const uint32_t bits : {8u, 32u}) {
    SCOPED_TRACE(bits);
    ComPtr<IPXMImage> raster = ModuleHost::Get().CreateRaster();
    ASSERT_EQ(raster->Create(6, 3, 1, bits, kMono), PXM_S_OK);
    const Plane in = PlaneOf(raster.Get());
    ASSERT_GT(in.stride, 0);
    for (uint32_t i = 0; i < in.size; ++i) in.data[i] = static_cast<uint8_t>(i * 5 + 1);
    ComPtr<IPXMImageDIB> dib = NewDib();
    ASSERT_EQ(dib->Copy(raster.Get(), 255), PXM_S_OK);
    EXPECT_EQ(FormatOf(dib.Get()), (Format{6, 3, 1, 8, kMono}));
    const Plane out = PlaneOf(dib.Get());
    for (uint32_t y = 0; y < 3; ++y)
      for (uint32_t x = 0; x < 6; ++x) ASSERT_EQ(out.Row(y)[x], in.Row(y)[x * bits / 8]) << x << "," << y;
    EXPECT_EQ(out.Row(0), out.Row(2) + 2 * 8) << "the top row is last in memory";
  }
  // Several planes: an image of the size whose rows are not written.
  ComPtr<IPXMImage> planes = ModuleHost::Get().CreateRaster();
  ASSERT_EQ(planes->Create(4, 2, 3, 8, kMono), PXM_S_OK);
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Copy(planes.Get(), 0), PXM_S_OK);
  EXPECT_EQ(FormatOf(dib.Get()), (Format{4, 2, 1, 8, kMono}));
}

TEST(Copy, OntoItself) {
  // Kept format: the rows go through a bounce buffer; alpha is forced in place.
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Create(1500, 2, 1, 32, kArgb), PXM_S_OK);
  Plane p = PlaneOf(dib.Get());
  for (uint32_t i = 0; i < p.size; ++i) p.Row(1)[i] = static_cast<uint8_t>(i % 251);
  ASSERT_EQ(dib->Copy(dib.Get(), 255), PXM_S_OK);
  EXPECT_EQ(PlaneOf(dib.Get()).data, p.data);
  for (uint32_t i = 0; i < p.size; ++i) ASSERT_EQ(p.Row(1)[i], i % 4 == 3 ? 255 : i % 251) << i;

  // A format that changes on the way (32-bit grey becomes 8-bit): the old rows are gone, and
  // nothing is read past the new ones.
  ASSERT_EQ(dib->Create(33, 3, 1, 32, kMono), PXM_S_OK);
  ASSERT_EQ(dib->Copy(dib.Get(), 0), PXM_S_OK);
  EXPECT_EQ(FormatOf(dib.Get()), (Format{33, 3, 1, 8, kMono}));

  ASSERT_EQ(dib->Create(33, 3, 1, 24, kMono), PXM_S_OK);
  ASSERT_EQ(dib->Copy(dib.Get(), 0), PXM_S_OK);
  EXPECT_EQ(FormatOf(dib.Get()), (Format{33, 3, 1, 24, 0}));
}

// A source that only describes itself, at a size no block can hold.
class HugeSource final : public IPXMImage {
 public:
  int reads = 0;

  HRESULT QueryInterface(const IID&, void** out) override {
    *out = nullptr;
    return PXM_E_NOINTERFACE;
  }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  HRESULT GetSize(uint32_t* width, uint32_t* height, uint32_t* planes) override {
    *width = *height = 0x40000000;
    *planes = 1;
    return PXM_S_OK;
  }
  HRESULT GetPixelDescriptor(uint32_t* bits, uint32_t* fourcc, uint32_t* bytesPerPixel) override {
    *bits = 32;
    *fourcc = kArgb;
    *bytesPerPixel = 4;
    return PXM_S_OK;
  }
  HRESULT GetImage(uint32_t, uint32_t*, uint8_t**, int32_t*) override {
    ++reads;
    return PXM_E_FAIL;
  }
  HRESULT Create(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT IsCreatable(uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT Copy(IPXM*, int) override { return PXM_E_NOTIMPL; }
  HRESULT Equal(int) override { return PXM_E_NOTIMPL; }
};

TEST(Copy, FailuresLeaveWhatCreateLeaves) {
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Create(2, 2, 1, 8, kMono), PXM_S_OK);
  uint8_t* before = nullptr;
  dib->GetDIB(&before, nullptr);
  EXPECT_EQ(dib->Copy(nullptr, 255), PXM_E_INVALIDARG);
  uint8_t* after = nullptr;
  dib->GetDIB(&after, nullptr);
  EXPECT_EQ(after, before);
  EXPECT_EQ(FormatOf(dib.Get()), (Format{2, 2, 1, 8, kMono}));

  // Create cannot make the block: its result comes back, and the image is left without one.
  HugeSource huge;
  EXPECT_EQ(dib->Copy(&huge, 255), PXM_E_FAIL);
  EXPECT_EQ(FormatOf(dib.Get()), (Format{0, 0, 1, 32, kArgb}));
  EXPECT_EQ(PlaneOf(dib.Get()).data, nullptr);
  EXPECT_EQ(huge.reads, 0);
}

}  // namespace
