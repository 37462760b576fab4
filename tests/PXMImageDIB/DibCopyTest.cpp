// Copy(IPXM*, int) into the DIB and the canvas: every source kind in every row layout against one
// model, palettes, the image itself, sources without area or rows.
#include <tuple>

#include "DibTestSupport.h"

namespace {

using view::Probe;

// A source kind and what each class makes of it: the DIB's depth and code, and for each class which
// source byte each byte of a pixel takes ('+' 255, '-' 0; "": no rule, rows of zeros and the source
// never read; null: not copied into that class). Large: also copied at several MiB, one kind a kernel.
struct Kind { uint32_t bits, fourcc; int alpha; uint32_t dibBits, dibFourcc; const char *dib, *canvas; bool large = false; uint32_t planes = 1; };
const Kind kKinds[] = {
    {8, kMono, 0, 8, kMono, "0", "0000", true},      {8, kRgb, 255, 8, kMono, "0", "0000"},              {8, kArgb, 0, 8, kMono, "0", nullptr},
    {24, kRgb, 0, 24, 0, "012", "012-", true},       {24, kArgb, 255, 24, 0, "012", "012-", true},       {24, kBgr, 0, 24, 0, "210", "210-", true},
    {24, kAbgr, 0, 24, 0, "210", nullptr},           {24, kMono, 255, 24, 0, "210", "210-"},             {32, kMono, 255, 8, kMono, "0", "000-", true},
    {32, kArgb, 0, 32, kArgb, "0123", "0123", true}, {32, kArgb, 255, 32, kArgb, "012+", nullptr, true}, {32, kArgb, 254, 32, kArgb, "0123", nullptr},
    {32, kArgb, -1, 32, kArgb, "0123", nullptr},     {32, kRgb, 0, 32, 0, "0123", "0123"},               {32, kAbgr, 0, 32, 0, "0123", "2103", true},
    {32, kBgr, 255, 32, 0, "012+", "2103"},          {16, kRgb, 0, 24, 0, "", "----"},                   {1, kMono, 0, 24, 0, "", "----"},
    {4, kRgb, 0, 24, 0, "", "----"},                 {8, kMono, 0, 0, 0, nullptr, "----", false, 2},     {8, kMono, 0, 0, 0, nullptr, "----", false, 0},
};

// Both row directions, padded rows, widths around the kernels' vector steps, and copies of several
// MiB, which stream where rows step opposite ways and the cache is less than twice their size.
struct Layout { uint32_t width, height; bool bottomUp; uint32_t padding; };
const Layout kLayouts[] = {{1, 1, false, 0},  {5, 3, false, 3},     {13, 4, true, 0},      {7, 2, true, 5},
                           {33, 3, false, 1}, {7, 3, false, 0},     {7, 3, true, 3},       {1029, 3, false, 3},
                           {1029, 3, true, 0}, {1029, 3, true, 3},  {1601, 1700, false, 3}, {1601, 1700, true, 3}};

// Into a DIB made anew; into a canvas made anew, or into the marked pixels of one of the source's size.
void CopyInto(bool canvas, const Kind& k, const Layout& l, TestImage* source) {
  const char* order = canvas ? k.canvas : k.dib;
  ComPtr<IPXMImage> image = ModuleHost::Get().Create<IPXMImage>(canvas ? L"PXMImageCANVAS" : L"PXMImageDIB", pxm::iid::IPXMImage);
  ASSERT_EQ(canvas ? image->Create(l.padding % 2 ? l.width : 2, l.padding % 2 ? l.height : 2, 1, 32, kRgb) : PXM_S_OK, PXM_S_OK);
  for (uint32_t y = 0; canvas && l.padding % 2 && y < l.height; ++y) std::memset(Probe(image.Get()).Row(y), 0x77, 4 * l.width);
  ASSERT_EQ(image->Copy(source, canvas ? 12345 : k.alpha), PXM_S_OK);  // the canvas takes no alpha option
  const Probe out(image.Get());
  EXPECT_EQ(out.Format(), (canvas ? std::vector{l.width, l.height, 1u, k.bits > 24 ? k.bits : 32u, kRgb} : std::vector{l.width, l.height, 1u, k.dibBits, k.dibFourcc}));
  const size_t n = std::strlen(order);
  if (!n) {
    EXPECT_EQ(source->getImageCalls, 0) << "no rule: the rows are not read";
    for (uint32_t y = 0; y < l.height; ++y)
      ASSERT_EQ(std::vector<uint8_t>(out.Row(y), out.Row(y) + std::abs(out.stride)), std::vector<uint8_t>(std::abs(out.stride))) << "zero, not what the heap held";
    return;
  }
  // A DIB finds 32-bit rows it takes grey from with the stride rounded toward zero to whole pixels.
  const int32_t inStride = !canvas && k.bits == 32 && n == 1 ? source->Stride() / 4 * 4 : source->Stride();
  for (uint32_t y = 0; y < l.height; ++y) {
    std::vector<uint8_t> want(n * l.width);
    for (uint32_t x = 0; x < l.width; ++x)
      for (size_t i = 0; i < n; ++i)
        want[n * x + i] = order[i] == '+' ? 255 : order[i] == '-' ? 0 : source->Row(0, 0)[int64_t{y} * inStride + k.bits / 8 * x + order[i] - '0'];
    ASSERT_EQ(std::vector<uint8_t>(out.Row(y), out.Row(y) + want.size()), want) << "row " << y;
  }
}

TEST(Copy, EverySourceKindIntoEachClassInEveryLayout) {
  for (const Kind& k : kKinds)
    for (const Layout& l : kLayouts) {
      if (l.height > 4 && !k.large) continue;
      SCOPED_TRACE(testing::Message() << k.bits << " bits, code " << std::hex << k.fourcc << std::dec << " alpha " << k.alpha << ", " << k.planes
                                      << " planes " << l.width << " x " << l.height << (l.bottomUp ? " bottom-up" : "") << " padding " << l.padding);
      ComPtr<TestImage> source = TestImage::Make({l.width, l.height, k.bits, k.fourcc, k.planes, l.bottomUp, l.padding});
      source->FillPattern(l.width + k.bits);
      const std::vector<std::vector<uint8_t>> before = source->Planes();
      if (k.dib) CopyInto(false, k, l, source.Get());
      if (k.canvas && (l.height < 5 || !l.bottomUp)) CopyInto(true, k, l, source.Get());  // large: the rows that would stream
      EXPECT_TRUE(source->Planes() == before) << "the source left as it was";
      EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u) << "no reference kept or leaked";
    }
}

// An 8-bit source's palette, at most 256 entries, none that GetPalette fails to give (5) or gives without
// a count (6), becomes the DIB's, grey past it, and the canvas's colours with the value as fourth byte.
// 16: several planes.
TEST(Copy, TakesThePaletteOfEightBitSources) {
  for (const uint32_t entries : {0u, 4u, 16u, 256u, 300u, 5u, 6u}) {
    SCOPED_TRACE(entries);
    ComPtr<TestImage> source = TestImage::Make({7, 2, 8, kRgb, entries == 16 ? 2u : 1u, true, 2});
    source->FillPattern(entries);
    std::memcpy(source->Row(0, 0), "\0\1\2\3", 4);
    for (uint32_t i = 0; i < entries; ++i) source->palette.push_back((i % 2 ? 0xFF000000u : 0) | (0x00FFFFFFu - i * 0x010203u));
    source->paletteResult = entries == 5 ? PXM_E_FAIL : PXM_S_FALSE;
    source->paletteShown = entries == 4 ? 3 : entries == 6 ? 0 : UINT32_MAX;  // entries beyond the count are not the image's
    const uint32_t taken = entries == 5 ? 0 : std::min({entries, 256u, source->paletteShown});
    ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
    ASSERT_EQ(dib->Copy(source.Get(), 0), PXM_S_OK);
    const std::vector<uint32_t> table = PaletteEntries(dib.Get());
    ASSERT_EQ(table.size(), 256u);
    for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(table[i], i < taken ? source->palette[i] & 0x00FFFFFFu : i * 0x010101u) << i;
    ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
    ASSERT_EQ(canvas->Copy(source.Get(), 0), PXM_S_OK);
    for (uint32_t y = 0; y < 2 && entries != 16 && entries != 5; ++y)
      for (uint32_t x = 0; x < 7; ++x) {
        const uint8_t v = source->Row(0, y)[x];
        const uint32_t e = v < taken ? source->palette[v] : v * 0x010101u;
        ASSERT_EQ(LoadPixel(Probe(canvas.Get()).Row(y) + 4 * x), Rgbx(uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e), v)) << x << "," << y;
      }
    EXPECT_TRUE(entries != 16 || source->getImageCalls == 0) << "several planes: no rows read";
    EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u) << "the palette interface was released";
  }
}

// A plane short of height x |stride|, a stride short of a row, no source (bits 0): refused, the image unchanged.
TEST(Copy, RefusesSourcesThatDoNotHoldTheirRowsOrNone) {
  struct Case { bool canvas; uint32_t width, bits, fourcc, shortfall, described; bool bottomUp; };
  for (const Case& c : {Case{false, 5, 24, 0, 1, 0, true}, {false, 5, 32, kMono, 1, 0, true}, {false, 5, 8, kMono, 1, 0, true},
                        {false, 5, 8, kMono, 0, 24, true}, {false, 5, 24, 0, 0, 32, true}, {true, 8, 7, kRgb, 0, 24, true},
                        {true, 4, 32, kRgb, 1, 0, false}, {true, 4, 8, kRgb, 1, 0, true}, {false, 5, 0, 0, 0, 0, true}, {true, 4, 0, 0, 0, 0, true}}) {
    SCOPED_TRACE(testing::Message() << (c.canvas ? "canvas " : "DIB ") << c.bits << " bits, described " << c.described);
    ComPtr<TestImage> source = TestImage::Make({.width = c.width, .height = 3, .bitsPerPixel = c.bits, .fourcc = c.fourcc, .bottomUp = c.bottomUp});
    source->sizeShortfall = c.shortfall;
    source->describedBits = c.described, source->describedFourcc = c.fourcc;
    ComPtr<IPXMImage> image = ModuleHost::Get().Create<IPXMImage>(c.canvas ? L"PXMImageCANVAS" : L"PXMImageDIB", pxm::iid::IPXMImage);
    ASSERT_EQ(c.canvas ? image->Create(c.width, 3, 1, 32, kRgb) : image->Create(2, 2, 1, 8, kMono), PXM_S_OK);
    const Probe before(image.Get());
    for (uint32_t y = 0; y < before.height; ++y) std::memset(before.Row(y), 0x77, std::abs(before.stride));
    EXPECT_EQ(image->Copy(c.bits ? source.Get() : nullptr, c.bits ? 0 : 255), PXM_E_INVALIDARG);
    const Probe after(image.Get());
    EXPECT_EQ(after.data, before.data);
    EXPECT_EQ(after.Format(), before.Format());
    for (uint32_t y = 0; y < after.height; ++y)
      EXPECT_EQ(std::vector<uint8_t>(after.Row(y), after.Row(y) + std::abs(after.stride)), std::vector<uint8_t>(std::abs(after.stride), 0x77));
  }
}

// Onto itself a DIB of a kept format forces alpha in place, a canvas stays; a changed format reads
// nothing past the new rows; a row one byte on from the one it becomes is read whole first.
TEST(Copy, OntoItselfFromNothingAndWithoutArea) {
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  ASSERT_EQ(dib->Create(1500, 2, 1, 32, kArgb), PXM_S_OK);
  const Probe p = Probe(dib.Get());
  for (uint32_t i = 0; i < p.size; ++i) p.Row(1)[i] = static_cast<uint8_t>(i % 251);
  ASSERT_EQ(dib->Copy(dib.Get(), 255), PXM_S_OK);
  EXPECT_EQ(Probe(dib.Get()).data, p.data);
  for (uint32_t i = 0; i < p.size; ++i) ASSERT_EQ(p.Row(1)[i], i % 4 == 3 ? 255 : i % 251) << i;
  for (const auto& [bits, madeBits, madeFourcc] : {std::tuple{32u, 8u, kMono}, {24u, 24u, 0u}}) {
    ASSERT_EQ(dib->Create(33, 3, 1, bits, kMono), PXM_S_OK);
    ASSERT_EQ(dib->Copy(dib.Get(), 0), PXM_S_OK);
    EXPECT_EQ(ViewOf(dib.Get()).Format(), (std::vector{33u, 3u, 1u, madeBits, madeFourcc}));
  }
  ComPtr<IPXMImageDIB> apart = ModuleHost::Get().CreateDIB();
  ASSERT_EQ(dib->Create(21, 1, 1, 24, kRgb), PXM_S_OK);
  const Probe row(dib.Get());
  for (uint32_t x = 0; x < 64; ++x) row.data[x] = uint8_t(x * 37 + 5);
  ComPtr<TestImage> shifted = TestImage::Make({21, 1, 24, kBgr, 1, false, 1});
  shifted->rowsAt = row.data + 1;
  ASSERT_TRUE(apart->Copy(shifted.Get(), 0) == PXM_S_OK && dib->Copy(shifted.Get(), 0) == PXM_S_OK);
  EXPECT_EQ(std::vector<uint8_t>(row.data, row.data + 63), std::vector<uint8_t>(Probe(apart.Get()).data, Probe(apart.Get()).data + 63));
  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  for (const uint32_t bits : {32u, 8u}) {
    ASSERT_EQ(canvas->Create(4, 3, 1, bits, kRgb), PXM_S_OK);
    for (uint32_t y = 0; y < 3; ++y) std::memset(Probe(canvas.Get()).Row(y), y == 2 ? 0x12 : 0x77, 4 * 4);
    ASSERT_EQ(canvas->Copy(canvas.Get(), 0), PXM_S_OK);
    const Probe c(canvas.Get());
    EXPECT_EQ((std::vector{LoadPixel(c.Row(2)), LoadPixel(c.Row(1) + 12)}), (bits == 32 ? std::vector{0x12121212u, 0x77777777u} : std::vector{0u, 0u}));
  }
  for (IPXMImage* image : {static_cast<IPXMImage*>(dib.Get()), static_cast<IPXMImage*>(canvas.Get())})
    for (const auto& [width, height] : {std::pair{0u, 3u}, {4u, 0u}}) {
      ASSERT_EQ(image->Copy(TestImage::Make({width, height, 32, kRgb}).Get(), 0), PXM_S_OK);
      const Probe after(image);
      EXPECT_EQ((std::vector{after.width, after.height, after.size}), (std::vector{width, height, 0u}));
    }
}

}  // namespace
