// Copy(IPXM*, int) into a DIB: every rule of the conversion table from test sources of both row
// directions with padded rows, raster and DIB sources, the image itself, palettes, the alpha
// option and the failures.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "DibTestSupport.h"
#include "TestImage.h"

namespace {

using view::Plane;
Plane PlaneOf(IPXMImage* image) { return Plane(image, 0); }

constexpr uint32_t kMono = FOURCC_MONO, kArgb = FOURCC_ARGB, kBgr = FOURCC_BGR, kAbgr = FOURCC_ABGR;
enum class Rule { Copy, Swap, FirstByte, Opaque, None };

TEST(DibCopy, EveryRuleFromBothRowDirectionsAndPaddedRows) {
  struct Case {
    uint32_t bits, fourcc;
    int alpha;
    uint32_t madeBits, madeFourcc;
    Rule rule;
    bool large = false;  // also copied larger than the cache, where rows stepping opposite ways stream
  };
  const Case cases[] = {
      {8, kMono, 0, 8, kMono, Rule::Copy, true},    {8, 0, 255, 8, kMono, Rule::Copy},
      {8, kArgb, 0, 8, kMono, Rule::Copy},      {24, 0, 0, 24, 0, Rule::Copy, true},
      {24, kArgb, 255, 24, 0, Rule::Copy},      {24, kBgr, 0, 24, 0, Rule::Swap, true},
      {24, kAbgr, 0, 24, 0, Rule::Swap},        {24, kMono, 255, 24, 0, Rule::Swap},
      {32, kMono, 255, 8, kMono, Rule::FirstByte, true}, {32, kArgb, 0, 32, kArgb, Rule::Copy, true},
      {32, kArgb, 255, 32, kArgb, Rule::Opaque, true}, {32, kArgb, 254, 32, kArgb, Rule::Copy},
      {32, kArgb, -1, 32, kArgb, Rule::Copy},   {32, 0, 0, 32, 0, Rule::Copy},
      {32, kAbgr, 0, 32, 0, Rule::Copy},        {32, kBgr, 255, 32, 0, Rule::Opaque},
      {16, 0, 0, 24, 0, Rule::None},            {1, kMono, 0, 24, 0, Rule::None},
      {4, 0, 0, 24, 0, Rule::None},             {12, kArgb, 0, 24, 0, Rule::None},
  };
  for (const Case& c : cases)
    for (const bool bottomUp : {false, true})
      for (const uint32_t padding : {0u, 3u})
        for (const auto& [width, height] : {std::pair{7u, 3u}, {1029u, 3u}, {1601u, 1700u}}) {
          if (height > 3 && (!c.large || !padding)) continue;
          SCOPED_TRACE(testing::Message() << c.bits << " bits, code " << std::hex << c.fourcc << std::dec << " alpha "
                                          << c.alpha << (bottomUp ? " bottom-up" : "") << " padding " << padding
                                          << " width " << width);
          ComPtr<TestImage> source = TestImage::Make(
              {.width = width, .height = height, .bitsPerPixel = c.bits, .fourcc = c.fourcc, .bottomUp = bottomUp, .padding = padding});
          source->FillPattern(width + c.bits);
          ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
          ASSERT_EQ(dib->Copy(source.Get(), c.alpha), PXM_S_OK);
          EXPECT_EQ(ViewOf(dib.Get()).Format(), (std::vector{width, height, 1u, c.madeBits, c.madeFourcc}));
          EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u) << "no reference kept or leaked";
          EXPECT_TRUE(source->PaddingIntact());
          const Plane out = PlaneOf(dib.Get());
          if (c.rule == Rule::None) {
            EXPECT_EQ(source->getImageCalls, 0) << "no rule: the rows are not read";
            for (uint32_t y = 0; y < height; ++y)
              ASSERT_EQ(std::vector<uint8_t>(out.Row(y), out.Row(y) + std::abs(out.stride)), std::vector<uint8_t>(std::abs(out.stride))) << "zero, not what the heap held";
            continue;
          }
          // 32-bit grey rows are found with the stride rounded toward zero to whole pixels.
          const int32_t inStride = c.rule == Rule::FirstByte ? source->Stride() / 4 * 4 : source->Stride();
          for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* in = source->Row(0, 0) + int64_t{y} * inStride;
            std::vector<uint8_t> want(in, in + size_t{width} * c.madeBits / 8);
            for (uint32_t x = 0; x < width; ++x) {
              if (c.rule == Rule::Swap) std::swap(want[3 * x], want[3 * x + 2]);
              if (c.rule == Rule::Opaque) want[4 * x + 3] = 255;
              if (c.rule == Rule::FirstByte) want[x] = in[4 * x];
            }
            ASSERT_EQ(std::vector<uint8_t>(out.Row(y), out.Row(y) + want.size()), want) << "row " << y;
          }
        }
}

TEST(DibCopy, HandsOverThePaletteOfEightBitSources) {
  for (const uint32_t entries : {0u, 16u, 256u, 300u}) {
    SCOPED_TRACE(entries);
    // Several planes: the rows are not written, the palette is still taken.
    ComPtr<TestImage> source = TestImage::Make({.width = 3, .height = 1, .bitsPerPixel = 8, .planes = entries == 16 ? 2u : 1u});
    for (uint32_t i = 0; i < entries; ++i) source->palette.push_back(0xFF000000u | (0x00FFFFFFu - i * 0x010203u));
    ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
    ASSERT_EQ(dib->Copy(source.Get(), 0), PXM_S_OK);
    const std::vector<uint32_t> table = PaletteEntries(dib.Get());
    ASSERT_EQ(table.size(), 256u);
    for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(table[i], i < entries ? source->palette[i] & 0x00FFFFFFu : i * 0x010101u) << i;
    EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u) << "the palette interface was released";
    if (entries == 16) {
      EXPECT_EQ(source->getImageCalls, 0);
    }
  }
}

TEST(DibCopy, FromDibAndRasterSourcesKeepsThePictureUpright) {
  // An 8-bit DIB with a palette: same memory order, padding not copied, palette handed over.
  ComPtr<IPXMImageDIB> grey = ModuleHost::Get().CreateDIB();
  ASSERT_EQ(grey->Create(9, 4, 1, 8, kMono), PXM_S_OK);
  std::vector<uint32_t> colours(256);
  for (uint32_t i = 0; i < 256; ++i) colours[i] = i * 0x00010307u & 0x00FFFFFFu;
  PaletteOf(grey.Get())->SetPalette(colours.data(), 256, 0);
  const Plane in = PlaneOf(grey.Get());
  for (uint32_t i = 0; i < in.size; ++i) in.Row(3)[i] = static_cast<uint8_t>(i * 13);
  ComPtr<IPXMImageDIB> copy = ModuleHost::Get().CreateDIB();
  ASSERT_EQ(copy->Copy(grey.Get(), 0), PXM_S_OK);
  const Plane out = PlaneOf(copy.Get());
  for (uint32_t y = 0; y < 4; ++y) EXPECT_EQ(0, std::memcmp(out.Row(y), in.Row(y), 9)) << y;
  EXPECT_EQ(out.Row(2)[0], 12 * 13) << "the bottom row first in memory";
  EXPECT_EQ(PaletteEntries(copy.Get()), colours);

  // Raster rows run top row first: the DIB holds them the other way round in memory.
  for (const uint32_t bits : {8u, 32u}) {
    ComPtr<IPXMImage> raster = ModuleHost::Get().CreateRaster();
    ASSERT_EQ(raster->Create(6, 3, 1, bits, kMono), PXM_S_OK);
    const Plane r = PlaneOf(raster.Get());
    for (uint32_t i = 0; i < r.size; ++i) r.data[i] = static_cast<uint8_t>(i * 5 + 1);
    ASSERT_EQ(copy->Copy(raster.Get(), 255), PXM_S_OK);
    EXPECT_EQ(ViewOf(copy.Get()).Format(), (std::vector{6u, 3u, 1u, 8u, kMono}));
    const Plane d = PlaneOf(copy.Get());
    EXPECT_EQ(d.Row(0), d.Row(2) + 2 * 8) << "the top row is last in memory";
    for (uint32_t y = 0; y < 3; ++y)
      for (uint32_t x = 0; x < 6; ++x) ASSERT_EQ(d.Row(y)[x], r.Row(y)[x * bits / 8]) << bits << ": " << x << "," << y;
  }
  ASSERT_EQ(copy->Copy(ModuleHost::Get().CreateRaster().Get(), 0), PXM_S_OK);
  EXPECT_EQ(ViewOf(copy.Get()).Format()[0], 0u);
}

// A source whose plane does not hold the rows it claims (a size short of height x |stride|, or a
// stride shorter than a row's pixels) is refused before the image changes.
TEST(DibCopy, RefusesSourcesThatDoNotHoldTheirRows) {
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  ASSERT_EQ(dib->Create(2, 2, 1, 8, kMono), PXM_S_OK);
  const uint8_t* before = PlaneOf(dib.Get()).data;
  for (const auto& [bits, fourcc, shortfall, described] :
       {std::tuple{24u, 0u, 1u, 0u}, {32u, kMono, 1u, 0u}, {8u, kMono, 1u, 0u}, {8u, kMono, 0u, 24u}, {24u, 0u, 0u, 32u}}) {
    ComPtr<TestImage> source = TestImage::Make({.width = 5, .height = 3, .bitsPerPixel = bits, .fourcc = fourcc, .bottomUp = true});
    source->sizeShortfall = shortfall;
    source->describedBits = described, source->describedFourcc = fourcc;
    EXPECT_EQ(dib->Copy(source.Get(), 0), PXM_E_INVALIDARG) << bits << " " << described;
    EXPECT_EQ(PlaneOf(dib.Get()).data, before);
    EXPECT_EQ(ViewOf(dib.Get()).Format(), (std::vector{2u, 2u, 1u, 8u, kMono}));
  }
}

// Onto itself in a kept format, alpha is forced in place; in a format that changes on the way
// nothing is read past the new rows (the sanitizers watch). A null source changes nothing.
TEST(DibCopy, OntoItselfAndFromNothing) {
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  ASSERT_EQ(dib->Create(1500, 2, 1, 32, kArgb), PXM_S_OK);
  const Plane p = PlaneOf(dib.Get());
  for (uint32_t i = 0; i < p.size; ++i) p.Row(1)[i] = static_cast<uint8_t>(i % 251);
  ASSERT_EQ(dib->Copy(dib.Get(), 255), PXM_S_OK);
  EXPECT_EQ(PlaneOf(dib.Get()).data, p.data);
  for (uint32_t i = 0; i < p.size; ++i) ASSERT_EQ(p.Row(1)[i], i % 4 == 3 ? 255 : i % 251) << i;
  for (const auto& [bits, madeBits, madeFourcc] : {std::tuple{32u, 8u, kMono}, {24u, 24u, 0u}}) {
    ASSERT_EQ(dib->Create(33, 3, 1, bits, kMono), PXM_S_OK);
    ASSERT_EQ(dib->Copy(dib.Get(), 0), PXM_S_OK);
    EXPECT_EQ(ViewOf(dib.Get()).Format(), (std::vector{33u, 3u, 1u, madeBits, madeFourcc}));
  }
  const uint8_t* before = PlaneOf(dib.Get()).data;
  EXPECT_EQ(dib->Copy(nullptr, 255), PXM_E_INVALIDARG);
  EXPECT_EQ(PlaneOf(dib.Get()).data, before);
  EXPECT_EQ(ViewOf(dib.Get()).Format(), (std::vector{33u, 3u, 1u, 24u, 0u}));
}

}  // namespace
