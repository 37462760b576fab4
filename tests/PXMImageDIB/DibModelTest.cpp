// Create in both classes, and the DIB's block as a host meets it: CreateOnDIB over every header
// form, ownership, the palette in both entry forms, and where GetImage and GetDIB point.
#include <sys/resource.h>

#include "DibTestSupport.h"

namespace {

// Create in either class, 10 x 3 with 7 planes asked: one plane, GetImage's row 0 last in memory. The
// DIB's block: info header, grey ramp, rows; the canvas's rows: its context's zeroed buffer.
TEST(Create, NormalisesTheRequestIntoOneBottomUpPlane) {
  struct Case { bool canvas; uint32_t bits, fourcc, storedBits, storedFourcc, entries; } const cases[] = {
      {false, 1, kRgb, 1, kRgb, 2},      {false, 0, kRgb, 4, kRgb, 16},     {false, 2, kRgb, 4, kRgb, 16},      {false, 3, kMono, 4, kMono, 16},
      {false, 4, kArgb, 4, kArgb, 16},   {false, 5, kRgb, 8, kRgb, 256},    {false, 8, kMono, 8, kMono, 256},   {false, 8, 0x12345678, 8, kRgb, 256},
      {false, 9, kRgb, 16, kRgb, 0},     {false, 16, kMono, 16, kMono, 0},  {false, 17, kBgr, 24, kRgb, 0},     {false, 24, kBgr, 24, kRgb, 0},
      {false, 24, kArgb, 24, kArgb, 0},  {false, 25, kRgb, 32, kRgb, 0},    {false, 32, kBgr, 32, kArgb, 0},    {false, 32, kAbgr, 32, kArgb, 0},
      {false, 33, kAbgr, 32, kRgb, 0},   {false, 64, kMono, 32, kMono, 0},  {true, 24, kRgb, 32, kRgb, 0},      {true, 32, kArgb, 32, kRgb, 0},
      {true, 24, kBgr, 32, kRgb, 0},     {true, 16, kRgb, 16, kRgb, 0},     {true, 1, kMono, 1, kRgb, 0},       {true, 8, kMono, 8, kMono, 0},
      {true, 32, kRgb, 32, kRgb, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.canvas ? "canvas " : "DIB ") << c.bits << " bits, code " << std::hex << c.fourcc);
    ComPtr<IPXMImage> image = ModuleHost::Get().Create<IPXMImage>(c.canvas ? L"PXMImageCANVAS" : L"PXMImageDIB", pxm::iid::IPXMImage);
    EXPECT_EQ(image->IsCreatable(c.bits, c.fourcc), c.fourcc == kMono && c.bits > 8 ? PXM_E_NOTCREATABLE : PXM_S_OK) << "Create does not ask";
    EXPECT_EQ(image->IsCreatable(c.bits + 8, c.fourcc), c.fourcc == kMono ? PXM_E_NOTCREATABLE : PXM_S_OK);
    ASSERT_EQ(image->Create(10, 3, 7, c.bits, c.fourcc), PXM_S_OK);
    const view::Probe v(image.Get(), c.canvas ? 5 : 0, 9);  // a canvas hands out its one plane for any number
    EXPECT_EQ(v.described | v.result, PXM_S_OK);
    EXPECT_EQ((std::vector{v.width, v.height, v.planes, v.bits, v.fourcc, v.bytes}), (std::vector{10u, 3u, 1u, c.storedBits, c.storedFourcc, c.storedBits / 8}));
    const uint32_t row = c.canvas ? (c.storedFourcc == kMono ? 10 : 40) : PaddedRow(c.storedBits, 10);
    EXPECT_EQ(std::pair(v.size, v.stride), std::pair(3 * row, -int32_t(row)));
    uint8_t* first = v.data - 2 * row;  // the first row in memory
    if (!c.canvas) {
      ASSERT_EQ(std::pair(v.blockSize, first), std::pair(40 + 4 * c.entries + 3 * row, v.block + 40 + 4 * c.entries));
      const std::vector<uint8_t> b = v.Block();  // size, width, height, planes and depth, compression, image size, colours used
      EXPECT_EQ((std::vector{Get32(b, 0), Get32(b, 4), Get32(b, 8), Get32(b, 12), Get32(b, 16), Get32(b, 20), Get32(b, 32)}),
                (std::vector{40u, 10u, 3u, 1 | c.storedBits << 16, 0u, 3 * row, c.storedFourcc == kMono ? 0 : c.entries}));
      for (uint32_t i = 0; i < c.entries; ++i) ASSERT_EQ(Get32(b, 40 + 4 * i), i * 0x010101u) << i;
      uint32_t *table = nullptr, count = 99;
      EXPECT_EQ(PaletteOf(image.Get())->GetPalette(&table, &count), c.entries ? PXM_S_FALSE : PXM_E_FAIL) << "none without entries";
      EXPECT_EQ(count, c.entries);
      EXPECT_EQ(PaletteOf(image.Get())->SetPalette(table, 1, 0), PXM_S_OK);
      EXPECT_EQ(view::Probe(image.Get()).blockSize, v.blockSize);
      for (uint32_t y = 0; y < 3; ++y) std::memset(v.Row(y), int(y + 1), row);  // rows the caller writes whole
      for (uint32_t m = 0; m < 3; ++m) EXPECT_EQ(first[m * row + row - 1], 3 - m);
      continue;
    }
    EXPECT_EQ(std::vector<uint8_t>(first, first + 3 * row), std::vector<uint8_t>(3 * row, 0));
    CGContextRef context = nullptr;
    ASSERT_EQ(Query<IPXMImageCANVAS>(image.Get(), pxm::iid::IPXMImageCANVAS)->get_CANVAS(&context), PXM_S_OK);
    ASSERT_NE(context, nullptr);
    EXPECT_TRUE(CGBitmapContextGetData(context) == first && CGBitmapContextGetBytesPerRow(context) == row &&
                CGBitmapContextGetBitmapInfo(context) == (row == 10 ? kCGImageAlphaNone : kCGImageAlphaNoneSkipLast));
    CGContextSetRGBFillColor(context, 1, 1, 1, 1);
    CGContextFillRect(context, CGRectMake(0, 0, 1, 1));
    EXPECT_EQ((std::vector{v.data[0], v.data[row / 10], first[0]}), (std::vector<uint8_t>{255, 0, 0})) << "the device's bottom row is GetImage row 0";
    ASSERT_EQ(image->Create(10, 3, 1, c.bits, c.fourcc), PXM_S_OK);
    EXPECT_EQ(view::Probe(image.Get()).data[0] == 255, c.bits == c.storedBits && c.fourcc == c.storedFourcc) << "kept for the stored request";
    ASSERT_EQ(image->Create(11, 3, 1, c.storedBits, c.storedFourcc), PXM_S_OK);
    EXPECT_EQ(view::Probe(image.Get()).data[0], 0);
  }
  // The longest row a signed stride can step is a canvas's to have (its pages are mapped, not touched).
  ComPtr<IPXMImageCANVAS> widest = ModuleHost::Get().CreateCanvas();
  ASSERT_EQ(widest->Create(0x7FFFFFFF, 1, 1, 8, kMono), PXM_S_OK);
  EXPECT_EQ(view::Probe(widest.Get()).stride, -INT32_MAX);
}

// A refused Create leaves no pixels or context: a DIB no size but the request's normalised depth and code, a
// canvas the size asked (asked again, a zero area is done, an oversized one tried anew; PXM_S_FALSE: not pinned).
TEST(Create, RefusedRequestsLeaveNoPixels) {
  struct Case { bool canvas; uint32_t width, height, bits, fourcc; HRESULT again; } const cases[] = {  // no bits: a new image
      {false, 0, 0, 0, 0, PXM_S_FALSE},          {false, 0x40000000u, 0x40000000u, 32, kBgr, PXM_S_FALSE}, {false, 0x20000000u, 1, 32, kBgr, PXM_S_FALSE},
      {true, 0, 0, 0, kRgb, PXM_S_OK},           {true, 0, 5, 32, kRgb, PXM_S_OK},           {true, 7, 0, 8, kMono, PXM_S_FALSE},
      {true, 65536, 16384, 32, kRgb, PXM_E_FAIL}, {true, 65536, 65536, 8, kMono, PXM_E_FAIL}, {true, 0x20000001u, 1, 32, kRgb, PXM_E_FAIL},
      {false, 0x08000000u, 9, 32, kBgr, PXM_S_FALSE}};  // rows of a signed stride, a block past 32 bits
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  uint32_t *table = reinterpret_cast<uint32_t*>(8), count = 77;
  EXPECT_EQ(PaletteOf(dib.Get())->GetPalette(&table, &count), PXM_E_FAIL);
  EXPECT_EQ(count, 77u);
  EXPECT_EQ(PaletteOf(dib.Get())->SetPalette(nullptr, 4, 0), PXM_E_FAIL);
  uint8_t* none = nullptr;
  int32_t stride = 0;
  EXPECT_EQ(dib->GetSize(nullptr, nullptr, nullptr) | dib->GetPixelDescriptor(nullptr, nullptr, nullptr) | dib->GetDIB(&none, &count) |
                dib->GetImage(0, &count, &none, &stride), PXM_S_OK) << "an empty image is no error";
  int colour = 0;
  EXPECT_EQ(canvas->get_TransparentColor(&colour), PXM_S_OK);
  EXPECT_EQ(colour, -1) << "none at first";
  EXPECT_EQ(canvas->put_TransparentColor(0x0000FF), PXM_S_OK);
  EXPECT_EQ(canvas->CreateOnCANVAS(reinterpret_cast<CGContextRef>(0x10), 5, 5), PXM_S_OK) << "does nothing";
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.canvas ? "canvas " : "DIB ") << c.width << " x " << c.height);
    ComPtr<IPXMImage> image = c.canvas ? canvas.As<IPXMImage>(pxm::iid::IPXMImage) : dib.As<IPXMImage>(pxm::iid::IPXMImage);
    if (c.bits) {
      ASSERT_EQ(image->Create(3, 3, 1, 32, kRgb), PXM_S_OK);
      EXPECT_EQ(image->Create(c.width, c.height, 1, c.bits, c.fourcc), PXM_E_FAIL);
      EXPECT_EQ(c.again == PXM_S_FALSE ? c.again : image->Create(c.width, c.height, 1, c.bits, c.fourcc), c.again);
    }
    const view::Probe v(image.Get(), 0, 9);
    CGContextRef context = nullptr;
    EXPECT_EQ(v.described | v.result | (c.canvas ? canvas->get_CANVAS(&context) : PXM_S_OK), PXM_S_OK);
    EXPECT_EQ((std::vector{v.width, v.height, v.bits, v.fourcc, v.size, uint32_t(v.stride)}),
              (c.canvas ? std::vector{c.width, c.height, c.bits, kRgb, 0u, 0u} : std::vector{0u, 0u, c.bits, c.bits ? kArgb : 0u, 0u, 0u}));
    EXPECT_TRUE(!v.data && !context && !v.block && (c.canvas || !v.blockSize));
  }
  EXPECT_EQ(canvas->get_TransparentColor(&colour), PXM_S_OK);
  EXPECT_EQ(colour, 255) << "the transparent colour survives every state";
}

#ifndef PXM_SANITIZED
// In a child whose address space is capped, a buffer of 1 GiB cannot be had: out of memory, no pixels or context.
TEST(CanvasCreateDeathTest, AllocationFailureIsOutOfMemory) {
  ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(2, 2);
  const auto create = [&] {
    const rlimit cap{512u << 20, 512u << 20};
    setrlimit(RLIMIT_AS, &cap);
    const HRESULT hr = canvas->Create(16384, 16384, 1, 32, FOURCC_RGB);
    const view::Probe s(canvas.Get(), 0, 9);
    CGContextRef context = nullptr;
    canvas->get_CANVAS(&context);
    std::_Exit(hr == PXM_E_OUTOFMEMORY && s.width == 16384 && !s.data && !s.size && !context ? 0 : 1);
  };
  EXPECT_EXIT(create(), testing::ExitedWithCode(0), "");
}
#endif


// Headers are read in place; sizes no header has and depths without rows are refused, the image kept.
TEST(DibCreateOnDIB, ReadsEveryHeaderFormAndRefusesTheRest) {
  struct Case { const char* name; Bytes header; uint32_t entries = 0, width = 0, height = 0, bits = 0, fourcc = 0; };  // no width: refused
  const auto info = [](InfoHeader h) { return InfoHeaderBytes(h); };
  const auto sized = [](uint32_t size, uint32_t bits) { return Bytes().U32(size).U32(3).U32(2).U16(1).U16(bits).Fill(24, 0); };  // 3 x 2
  const Case cases[] = {
      {"info24", info({.width = 5, .height = 3}), 0, 5, 3, 24, 0}, {"info24TopDown", info({.width = 5, .height = -5}), 0, 5, 5, 24, 0},
      {"info8", info({.width = 7, .height = 2, .bitsPerPixel = 8}), 256, 7, 2, 8, kMono}, {"info64", info({.size = 64, .width = 3, .height = 2}), 0, 3, 2, 24, 0},
      {"info8ColoursUsed", info({.width = 7, .height = 2, .bitsPerPixel = 8, .coloursUsed = 16}), 16, 7, 2, 8, kMono},
      {"info8ColoursUsedCapped", info({.width = 7, .height = 2, .bitsPerPixel = 8, .coloursUsed = ~0u}), 256, 7, 2, 8, kMono},
      {"info4ColoursUsedIgnored", info({.width = 9, .height = 2, .bitsPerPixel = 4, .coloursUsed = 3}), 16, 9, 2, 4, 0},
      {"v2Info52", info({.size = 52, .width = 3, .height = 3, .bitsPerPixel = 16}), 0, 3, 3, 16, 0},
      {"v3Info56", info({.size = 56, .width = 3, .height = 3, .bitsPerPixel = 32}), 0, 3, 3, 32, 0},
      {"v4Info108", info({.size = 108, .width = 11, .height = 2, .bitsPerPixel = 4}), 16, 11, 2, 4, 0},
      {"v5Info124", info({.size = 124, .width = 13, .height = -2, .bitsPerPixel = 1}), 2, 13, 2, 1, 0},
      {"core8", CoreHeaderBytes(6, 2, 8), 256, 6, 2, 8, 0}, {"core4", CoreHeaderBytes(6, 2, 4), 16, 6, 2, 4, 0}, {"core24", CoreHeaderBytes(6, 2, 24), 0, 6, 2, 24, 0},
      {"size0", sized(0, 24)}, {"size1", sized(1, 24)}, {"size13", sized(13, 24)}, {"size41", sized(41, 24)}, {"size100", sized(100, 24)},
      {"size125", sized(125, 24)}, {"sizeAllOnes", sized(~0u, 24)}, {"bits0", sized(40, 0)}, {"bits33", sized(40, 33)},
  };


  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t row = PaddedRow(c.width ? c.bits : 24, c.width ? c.width : 3);
    const uint32_t entrySize = c.header.data[0] == 12 ? 3 : 4;  // a core header's entries are 3 bytes
    Bytes block = MakeBlock(c.header, c.entries, entrySize, row, c.width ? c.height : 2);
    const Bytes original = block;
    ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
    ASSERT_EQ(dib->Create(3, 2, 1, 8, kMono), PXM_S_OK);
    const uint8_t* before = ViewOf(dib.Get()).block;
    ASSERT_EQ(dib->CreateOnDIB(block.data.data(), nullptr, 0), c.width ? PXM_S_OK : PXM_E_INVALIDARG);
    const view::Probe v = ViewOf(dib.Get());
    if (!c.width) {
      EXPECT_TRUE(v.block == before && v.Format() == (std::vector{3u, 2u, 1u, 8u, kMono}));
      continue;
    }
    EXPECT_EQ(v.Format(), (std::vector{c.width, c.height, 1u, c.bits, c.fourcc}));
    const uint32_t paletteStart = static_cast<uint32_t>(c.header.size()), paletteBytes = c.entries * entrySize;
    EXPECT_EQ(v.block, block.data.data());
    EXPECT_EQ(v.data, v.block + paletteStart + paletteBytes + (c.height - 1) * row) << "the top row is last in memory";
    EXPECT_EQ(std::pair(v.blockSize, v.stride), std::pair(paletteStart + paletteBytes + row * c.height, -int32_t(row)));
    uint32_t *table = nullptr, count = 0;
    EXPECT_EQ(PaletteOf(dib.Get())->GetPalette(&table, &count), c.entries ? PXM_S_FALSE : PXM_E_FAIL);
    EXPECT_EQ(count, c.entries);
    // 8-bit rows are grey: the palette area becomes the ramp in the block's entry form; all else stays.
    for (size_t i = 0; i < block.size(); ++i) {
      const size_t k = (i - paletteStart) % entrySize, entry = (i - paletteStart) / entrySize;
      const bool ramp = c.bits == 8 && i >= paletteStart && i < paletteStart + paletteBytes;
      ASSERT_EQ(block.data[i], ramp ? (k == 3 ? 0 : entry) : original.data[i]) << "byte " << i;
    }
    for (uint32_t i = 0; i < c.entries; ++i)
      ASSERT_EQ(table[i], c.bits == 8 ? i * 0x010101u : (4 * i + 1) | (4 * i + 2) << 8 | (4 * i + 3) << 16) << i;
  }
  EXPECT_EQ(ModuleHost::Get().CreateDIB()->CreateOnDIB(nullptr, nullptr, 1), PXM_E_POINTER);
}

// Rows elsewhere: the palette stays, neither memory is freed by the image. The same Create request
// keeps a lent block (which tells a kept block from a new one whatever malloc hands out) and its palette.
TEST(DibCreateOnDIB, SeparatePixelsOwnershipAndTheSameRequest) {
  Bytes block = MakeBlock(InfoHeaderBytes({.width = 4, .height = 3, .bitsPerPixel = 8, .coloursUsed = 4}), 4, 4, 0, 0);
  const Bytes original = block;
  std::vector<uint8_t> pixels(4 * 3, 9);
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  ASSERT_EQ(dib->CreateOnDIB(block.data.data(), pixels.data(), 1 << 16), PXM_S_OK);
  EXPECT_EQ(ViewOf(dib.Get()).data, pixels.data() + 2 * 4);
  EXPECT_EQ(block.data, original.data);

  // Ownership 0 and 0x10000 (low 16 bits 0) lend the block: replacing it frees nothing. Ownership 1
  // hands it over: freed once when replaced, kept when attached again (the sanitizers watch).
  for (const int ownership : {0, 0x10000}) {
    ASSERT_EQ(dib->CreateOnDIB(block.data.data(), nullptr, ownership), PXM_S_OK);
    ASSERT_EQ(dib->Create(5, 2, 1, 24, kMono), PXM_S_OK);
  }
  block.data[40] = 1;
  const Bytes bytes = MakeBlock(InfoHeaderBytes({.width = 3, .height = 3, .bitsPerPixel = 32}), 0, 4, 12, 3);
  for (int round = 0; round < 2; ++round) {
    uint8_t* owned = bytes.HeapCopy();
    ASSERT_EQ(dib->CreateOnDIB(owned, nullptr, 1), PXM_S_OK);
    ASSERT_EQ(dib->CreateOnDIB(owned, nullptr, 1), PXM_S_OK);
    EXPECT_EQ(ViewOf(dib.Get()).data[0], bytes.data[40 + 24]);
  }
  Bytes grey = MakeBlock(InfoHeaderBytes({.width = 4, .height = 2, .bitsPerPixel = 8}), 256, 4, 4, 2);
  ASSERT_EQ(dib->CreateOnDIB(grey.data.data(), nullptr, 0), PXM_S_OK);
  uint32_t red = 0x00FF0000;
  ASSERT_EQ(PaletteOf(dib.Get())->SetPalette(&red, 1, 0), PXM_S_OK);
  EXPECT_EQ(dib->Create(4, 2, 9, 8, kMono), PXM_S_OK);
  EXPECT_EQ(ViewOf(dib.Get()).block, grey.data.data());
  EXPECT_EQ(grey.data[40 + 2], 0xFF) << "the palette is not reset";
  EXPECT_EQ(dib->Create(4, 2, 1, 8, kRgb), PXM_S_OK);
  EXPECT_NE(ViewOf(dib.Get()).block, grey.data.data());
  Bytes colour = MakeBlock(InfoHeaderBytes({.width = 4, .height = 2}), 0, 4, 12, 2);
  ASSERT_EQ(dib->CreateOnDIB(colour.data.data(), nullptr, 0), PXM_S_OK);
  EXPECT_EQ(dib->Create(4, 2, 1, 24, kBgr), PXM_S_OK);
  EXPECT_NE(ViewOf(dib.Get()).block, colour.data.data()) << "\"BGR \" is stored as 0: not the same request";
}

// Entries are kept in the block's own form, 4 bytes or 3 (after a core header), blue first, and handed
// out as 4-byte entries that follow the block; more than the depth has are not written.
TEST(DibPalette, EntriesRoundTripInTheBlocksOwnForm) {
  for (const uint32_t bits : {8u, 1u, 4u, 9u}) {  // 9: 8 bits after a core header
    SCOPED_TRACE(bits);
    const uint32_t depth = bits % 9 ? bits : 8, entries = 1u << depth, size = bits == 8 ? 4 : 3, at = bits == 8 ? 40 : 12;
    Bytes block = bits == 8 ? Bytes() : MakeBlock(CoreHeaderBytes(3, 2, uint16_t(depth)), entries, 3, 4, 2);
    ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
    ASSERT_EQ(bits == 8 ? dib->Create(4, 2, 1, 8, kRgb) : dib->CreateOnDIB(block.data.data(), nullptr, 0), PXM_S_OK);
    uint8_t* b = ViewOf(dib.Get()).block;
    std::memset(b + at + size * entries, 0xEE, 4);  // the first row in memory, right after the palette
    std::vector<uint32_t> table(300);
    for (uint32_t i = 0; i < 300; ++i) table[i] = 0xAB000000u | (i * 0x00030507u & 0x00FFFFFFu);  // high byte dropped
    ComPtr<IPXMImagePalette> palette = PaletteOf(dib.Get());
    ASSERT_EQ(palette->SetPalette(table.data(), 300, 0), PXM_S_OK);
    for (uint32_t i = 0; i < size * entries; ++i) ASSERT_EQ(b[at + i], i % size == 3 ? 0 : (table[i / size] >> 8 * (i % size)) & 0xFF) << i;
    EXPECT_EQ(b[at + size * entries], 0xEE) << "nothing written past the entries";
    uint32_t *out = nullptr, count = 0;
    ASSERT_EQ(palette->GetPalette(&out, &count), PXM_S_FALSE);
    ASSERT_EQ(count, entries);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(out) == b + at, size == 4) << "4-byte entries: the area itself";
    for (uint32_t i = 0; i < entries; ++i) ASSERT_EQ(out[i], table[i] & 0x00FFFFFFu) << i;
    EXPECT_EQ(palette->SetPalette(out, count, 0), PXM_S_OK);
    EXPECT_EQ(palette->SetPalette(nullptr, 2, 0), PXM_S_OK);
    b[at + size + 2] = 0x77;  // written directly
    ASSERT_EQ(palette->GetPalette(&out, nullptr), PXM_S_FALSE);
    EXPECT_EQ((std::vector{out[1], out[entries - 1]}), (std::vector{0x770101u, entries > 2 ? table[entries - 1] & 0x00FFFFFFu : 0x770101u}));
  }
}

}  // namespace
