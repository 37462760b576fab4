// The DIB image's block as a host meets it: Create and its normalisation, CreateOnDIB over
// blocks of every header form, ownership, the palette in both entry forms, and the addresses,
// strides and sizes that GetImage and GetDIB hand out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "DibTestSupport.h"

namespace {

ComPtr<IPXMImageDIB> NewDib() { return ModuleHost::Get().CreateDIB(); }

uint32_t U32At(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
uint32_t U16At(const uint8_t* p) { return p[0] | p[1] << 8; }

struct Plane {
  uint32_t size = 0xDEAD;
  uint8_t* data = reinterpret_cast<uint8_t*>(1);
  int32_t stride = 0xDEAD;
};
Plane PlaneOf(IPXMImage* image) {
  Plane p;
  EXPECT_EQ(image->GetImage(0, &p.size, &p.data, &p.stride), PXM_S_OK);
  return p;
}

struct Dib {
  uint8_t* block = reinterpret_cast<uint8_t*>(1);
  uint32_t size = 0xDEAD;
};
Dib DibOf(IPXMImageDIB* image) {
  Dib d;
  EXPECT_EQ(image->GetDIB(&d.block, &d.size), PXM_S_OK);
  return d;
}

struct Format {
  uint32_t width = 0, height = 0, planes = 0, bits = 0, fourcc = 0, bytesPerPixel = 0;
  bool operator==(const Format&) const = default;
};
Format FormatOf(IPXMImage* image) {
  Format f;
  EXPECT_EQ(image->GetSize(&f.width, &f.height, &f.planes), PXM_S_OK);
  EXPECT_EQ(image->GetPixelDescriptor(&f.bits, &f.fourcc, &f.bytesPerPixel), PXM_S_OK);
  return f;
}

ComPtr<IPXMImagePalette> PaletteOf(const ComPtr<IPXMImageDIB>& dib) {
  return dib.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette);
}

// ---------------------------------------------------------------------------------------------
// Create

struct CreateCase {
  uint32_t bits, fourcc;                  // requested
  uint32_t storedBits, storedFourcc, entries;
};

void PrintTo(const CreateCase& c, std::ostream* os) { *os << c.bits << " bits, code " << std::hex << c.fourcc; }

class CreateNormalises : public testing::TestWithParam<CreateCase> {};

TEST_P(CreateNormalises, DepthCodePaletteAndHeader) {
  const CreateCase& c = GetParam();
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Create(5, 3, 7, c.bits, c.fourcc), PXM_S_OK);
  EXPECT_EQ(FormatOf(dib.Get()), (Format{5, 3, 1, c.storedBits, c.storedFourcc, c.storedBits / 8}));

  const uint32_t row = PaddedRow(c.storedBits, 5);
  const Dib d = DibOf(dib.Get());
  ASSERT_NE(d.block, nullptr);
  EXPECT_EQ(d.size, 40 + 4 * c.entries + 3 * row);
  EXPECT_EQ(U32At(d.block + 0), 40u);      // header size
  EXPECT_EQ(U32At(d.block + 4), 5u);       // width
  EXPECT_EQ(U32At(d.block + 8), 3u);       // height: positive, bottom-up
  EXPECT_EQ(U16At(d.block + 12), 1u);      // planes
  EXPECT_EQ(U16At(d.block + 14), c.storedBits);
  EXPECT_EQ(U32At(d.block + 16), 0u);      // compression
  EXPECT_EQ(U32At(d.block + 20), 3 * row);  // image size
  EXPECT_EQ(U32At(d.block + 32), c.storedFourcc == FOURCC_MONO ? 0 : c.entries);  // colours used
  EXPECT_EQ(U32At(d.block + 36), 0u);

  // A new image's palette is the grey ramp, in 4-byte entries.
  for (uint32_t i = 0; i < c.entries; ++i) ASSERT_EQ(U32At(d.block + 40 + 4 * i), i * 0x010101u) << i;

  const Plane p = PlaneOf(dib.Get());
  EXPECT_EQ(p.stride, -static_cast<int32_t>(row));
  EXPECT_EQ(p.size, 3 * row);
  uint8_t* bits = d.block + 40 + 4 * c.entries;
  EXPECT_EQ(p.data, bits + 2 * row);
  // Row y through the stride is memory row 2 - y, and every byte of each row is ours to write.
  for (uint32_t y = 0; y < 3; ++y) std::memset(p.data + int64_t{y} * p.stride, int(y + 1), row);
  for (uint32_t m = 0; m < 3; ++m) EXPECT_EQ(bits[m * row + row - 1], 3 - m);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CreateNormalises,
    testing::Values(CreateCase{1, FOURCC_RGB, 1, FOURCC_RGB, 2}, CreateCase{0, FOURCC_RGB, 4, FOURCC_RGB, 16},
                    CreateCase{2, FOURCC_RGB, 4, FOURCC_RGB, 16}, CreateCase{3, FOURCC_MONO, 4, FOURCC_MONO, 16},
                    CreateCase{4, FOURCC_ARGB, 4, FOURCC_ARGB, 16}, CreateCase{5, FOURCC_RGB, 8, FOURCC_RGB, 256},
                    CreateCase{8, FOURCC_MONO, 8, FOURCC_MONO, 256}, CreateCase{8, 0x12345678, 8, FOURCC_RGB, 256},
                    CreateCase{9, FOURCC_RGB, 16, FOURCC_RGB, 0}, CreateCase{16, FOURCC_MONO, 16, FOURCC_MONO, 0},
                    CreateCase{17, FOURCC_BGR, 24, FOURCC_RGB, 0}, CreateCase{24, FOURCC_BGR, 24, FOURCC_RGB, 0},
                    CreateCase{24, FOURCC_ARGB, 24, FOURCC_ARGB, 0}, CreateCase{25, FOURCC_RGB, 32, FOURCC_RGB, 0},
                    CreateCase{32, FOURCC_BGR, 32, FOURCC_ARGB, 0}, CreateCase{32, FOURCC_ABGR, 32, FOURCC_ARGB, 0},
                    CreateCase{33, FOURCC_ABGR, 32, FOURCC_RGB, 0}, CreateCase{64, FOURCC_MONO, 32, FOURCC_MONO, 0}));

TEST(Create, SameRequestKeepsBlockPixelsAndPalette) {
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Create(6, 4, 1, 8, FOURCC_MONO), PXM_S_OK);
  const Dib before = DibOf(dib.Get());
  const Plane p = PlaneOf(dib.Get());
  std::memset(p.data, 0x5A, 6);
  uint32_t red = 0x00FF0000;
  PaletteOf(dib)->SetPalette(&red, 1, 0);

  EXPECT_EQ(dib->Create(6, 4, 9, 8, FOURCC_MONO), PXM_S_OK);
  EXPECT_EQ(DibOf(dib.Get()).block, before.block);
  EXPECT_EQ(PlaneOf(dib.Get()).data[5], 0x5A);
  uint32_t* table = nullptr;
  PaletteOf(dib)->GetPalette(&table, nullptr);
  EXPECT_EQ(table[0], 0x00FF0000u);
}

TEST(Create, RequestThatNormalisesElsewhereMakesANewBlock) {
  // A borrowed block tells a new block from a kept one whatever malloc hands out.
  Bytes block = MakeBlock(InfoHeaderBytes({.width = 4, .height = 2, .bitsPerPixel = 24}), 0, 4, 12, 2);
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->CreateOnDIB(block.data.data(), nullptr, 0), PXM_S_OK);
  EXPECT_EQ(dib->Create(4, 2, 1, 24, FOURCC_RGB), PXM_S_OK);
  EXPECT_EQ(DibOf(dib.Get()).block, block.data.data()) << "same width, height, depth and code: kept";
  EXPECT_EQ(dib->Create(4, 2, 1, 24, FOURCC_BGR), PXM_S_OK);
  EXPECT_NE(DibOf(dib.Get()).block, block.data.data()) << "\"BGR \" is stored as 0, so it is not the same request";
  EXPECT_EQ(FormatOf(dib.Get()).fourcc, FOURCC_RGB);
}

TEST(Create, BlockBeyondThirtyTwoBitsIsRefusedLikeNoMemory) {
  const uint32_t sizes[][2] = {{0x40000000, 0x40000000}, {0xFFFFFFFF, 2}, {0x20000000, 1}};
  for (const auto& [width, height] : sizes) {
    ComPtr<IPXMImageDIB> dib = NewDib();
    ASSERT_EQ(dib->Create(4, 4, 1, 8, FOURCC_MONO), PXM_S_OK);
    EXPECT_EQ(dib->Create(width, height, 1, 32, FOURCC_BGR), PXM_E_FAIL) << width;
    // No block; width and height 0; the request's normalised depth and code are kept.
    EXPECT_EQ(FormatOf(dib.Get()), (Format{0, 0, 1, 32, FOURCC_ARGB, 4}));
    const Plane p = PlaneOf(dib.Get());
    EXPECT_EQ(p.data, nullptr);
    EXPECT_EQ(p.size, 0u);
    EXPECT_EQ(p.stride, 0);
    EXPECT_EQ(DibOf(dib.Get()).block, nullptr);
    EXPECT_EQ(DibOf(dib.Get()).size, 0u);
    uint32_t entry = 0;
    EXPECT_EQ(PaletteOf(dib)->SetPalette(&entry, 1, 0), PXM_E_FAIL);
  }
}

TEST(Create, EmptyImage) {
  ComPtr<IPXMImageDIB> dib = NewDib();
  EXPECT_EQ(FormatOf(dib.Get()), (Format{0, 0, 1, 0, 0, 0}));
  const Plane p = PlaneOf(dib.Get());
  EXPECT_EQ(p.data, nullptr);
  EXPECT_EQ(p.size, 0u);
  EXPECT_EQ(p.stride, 0);
  const Dib d = DibOf(dib.Get());
  EXPECT_EQ(d.block, nullptr);
  EXPECT_EQ(d.size, 0u);
  uint32_t* table = reinterpret_cast<uint32_t*>(8);
  uint32_t count = 77;
  EXPECT_EQ(PaletteOf(dib)->GetPalette(&table, &count), PXM_E_FAIL);
  EXPECT_EQ(count, 77u) << "nothing stored without a block";
  EXPECT_EQ(PaletteOf(dib)->SetPalette(nullptr, 4, 0), PXM_E_FAIL);
  // Null out-pointers are skipped.
  EXPECT_EQ(dib->GetSize(nullptr, nullptr, nullptr), PXM_S_OK);
  EXPECT_EQ(dib->GetPixelDescriptor(nullptr, nullptr, nullptr), PXM_S_OK);
  uint8_t* block = nullptr;
  EXPECT_EQ(dib->GetDIB(&block, nullptr), PXM_S_OK);
}

TEST(IsCreatable, RefusesOnlyGreyAboveEightBits) {
  ComPtr<IPXMImageDIB> dib = NewDib();
  EXPECT_EQ(dib->IsCreatable(8, FOURCC_MONO), PXM_S_OK);
  EXPECT_EQ(dib->IsCreatable(1, FOURCC_MONO), PXM_S_OK);
  EXPECT_EQ(dib->IsCreatable(9, FOURCC_MONO), PXM_E_NOTCREATABLE);
  EXPECT_EQ(dib->IsCreatable(16, FOURCC_MONO), PXM_E_NOTCREATABLE);
  EXPECT_EQ(dib->IsCreatable(24, FOURCC_MONO), PXM_E_NOTCREATABLE);
  EXPECT_EQ(dib->IsCreatable(24, FOURCC_RGB), PXM_S_OK);
  EXPECT_EQ(dib->IsCreatable(77, 0x12345678), PXM_S_OK);
  // Create does not ask.
  EXPECT_EQ(dib->Create(2, 2, 1, 16, FOURCC_MONO), PXM_S_OK);
}

// ---------------------------------------------------------------------------------------------
// Rows: the worked example (every depth is in the Create table above)

TEST(GetImage, WorkedExample) {
  // 10 x 3 at 24 bits.
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Create(10, 3, 1, 24, FOURCC_RGB), PXM_S_OK);
  const Plane p = PlaneOf(dib.Get());
  EXPECT_EQ(p.stride, -32);
  EXPECT_EQ(p.size, 96u);
  EXPECT_EQ(p.data, DibOf(dib.Get()).block + 40 + 64);
  uint32_t bytesPerPixel = 9;
  dib->GetPixelDescriptor(nullptr, nullptr, &bytesPerPixel);
  EXPECT_EQ(bytesPerPixel, 3u);
}

// ---------------------------------------------------------------------------------------------
// CreateOnDIB

struct BlockCase {
  const char* name;
  Bytes header;
  uint32_t blockEntries;  // entries stored in the block
  uint32_t entrySize;
  Format expected;
  uint32_t paletteCount;
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.name; }

class CreateOnDIBReads : public testing::TestWithParam<BlockCase> {};

TEST_P(CreateOnDIBReads, EveryHeaderForm) {
  const BlockCase& c = GetParam();
  const uint32_t row = PaddedRow(c.expected.bits, c.expected.width);
  Bytes block = MakeBlock(c.header, c.blockEntries, c.entrySize, row, c.expected.height);
  const Bytes original = block;
  uint8_t* start = block.data.data();

  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->CreateOnDIB(start, nullptr, 0), PXM_S_OK);
  EXPECT_EQ(FormatOf(dib.Get()), c.expected);

  const uint32_t paletteBytes = c.paletteCount * c.entrySize;
  const uint8_t* bits = start + c.header.size() + paletteBytes;
  const Dib d = DibOf(dib.Get());
  EXPECT_EQ(d.block, start);
  EXPECT_EQ(d.size, c.header.size() + paletteBytes + row * c.expected.height);
  const Plane p = PlaneOf(dib.Get());
  EXPECT_EQ(p.data, bits + (c.expected.height - 1) * row);
  EXPECT_EQ(p.stride, -static_cast<int32_t>(row));

  uint32_t count = 0;
  uint32_t* table = nullptr;
  EXPECT_EQ(PaletteOf(dib)->GetPalette(&table, &count), c.paletteCount ? PXM_S_FALSE : PXM_E_FAIL);
  EXPECT_EQ(count, c.paletteCount);

  // 8-bit rows are grey: the palette area becomes the ramp in the block's own entry form;
  // everything else in the block stays as it came.
  const size_t paletteStart = c.header.size();
  for (size_t i = 0; i < block.size(); ++i) {
    uint8_t want = original.data[i];
    if (c.expected.bits == 8 && i >= paletteStart && i < paletteStart + paletteBytes) {
      const size_t k = (i - paletteStart) % c.entrySize;
      want = k == 3 ? 0 : static_cast<uint8_t>((i - paletteStart) / c.entrySize);
    }
    ASSERT_EQ(block.data[i], want) << "byte " << i;
  }
  if (c.paletteCount) {
    for (uint32_t i = 0; i < c.paletteCount; ++i) {
      const uint32_t want = c.expected.bits == 8 ? i * 0x010101u : (4 * i + 1) | (4 * i + 2) << 8 | (4 * i + 3) << 16;
      ASSERT_EQ(table[i], want) << i;
    }
  }
}

const uint32_t kMono = FOURCC_MONO;

INSTANTIATE_TEST_SUITE_P(
    Headers, CreateOnDIBReads,
    testing::Values(
        BlockCase{"info24", InfoHeaderBytes({.width = 5, .height = 3, .bitsPerPixel = 24}), 0, 4, {5, 3, 1, 24, 0, 3}, 0},
        BlockCase{"info24TopDown", InfoHeaderBytes({.width = 5, .height = -5, .bitsPerPixel = 24}), 0, 4,
                  {5, 5, 1, 24, 0, 3}, 0},
        BlockCase{"info8", InfoHeaderBytes({.width = 7, .height = 2, .bitsPerPixel = 8}), 256, 4,
                  {7, 2, 1, 8, kMono, 1}, 256},
        BlockCase{"info8ColoursUsed", InfoHeaderBytes({.width = 7, .height = 2, .bitsPerPixel = 8, .coloursUsed = 16}),
                  16, 4, {7, 2, 1, 8, kMono, 1}, 16},
        BlockCase{"info8ColoursUsedCapped",
                  InfoHeaderBytes({.width = 7, .height = 2, .bitsPerPixel = 8, .coloursUsed = 0xFFFFFFFF}), 256, 4,
                  {7, 2, 1, 8, kMono, 1}, 256},
        BlockCase{"info4ColoursUsedIgnored", InfoHeaderBytes({.width = 9, .height = 2, .bitsPerPixel = 4, .coloursUsed = 3}),
                  16, 4, {9, 2, 1, 4, 0, 0}, 16},
        BlockCase{"v2Info52", InfoHeaderBytes({.size = 52, .width = 3, .height = 3, .bitsPerPixel = 16}), 0, 4,
                  {3, 3, 1, 16, 0, 2}, 0},
        BlockCase{"v3Info56", InfoHeaderBytes({.size = 56, .width = 3, .height = 3, .bitsPerPixel = 32}), 0, 4,
                  {3, 3, 1, 32, 0, 4}, 0},
        BlockCase{"os2Info64", InfoHeaderBytes({.size = 64, .width = 3, .height = 2, .bitsPerPixel = 24}), 0, 4,
                  {3, 2, 1, 24, 0, 3}, 0},
        BlockCase{"v4Info108", InfoHeaderBytes({.size = 108, .width = 11, .height = 2, .bitsPerPixel = 4}), 16, 4,
                  {11, 2, 1, 4, 0, 0}, 16},
        BlockCase{"v5Info124", InfoHeaderBytes({.size = 124, .width = 13, .height = -2, .bitsPerPixel = 1}), 2, 4,
                  {13, 2, 1, 1, 0, 0}, 2},
        BlockCase{"core8", CoreHeaderBytes(6, 2, 8), 256, 3, {6, 2, 1, 8, 0, 1}, 256},
        BlockCase{"core4", CoreHeaderBytes(6, 2, 4), 16, 3, {6, 2, 1, 4, 0, 0}, 16},
        BlockCase{"core24", CoreHeaderBytes(6, 2, 24), 0, 3, {6, 2, 1, 24, 0, 3}, 0}),
    [](const testing::TestParamInfo<BlockCase>& info) { return std::string(info.param.name); });

TEST(CreateOnDIB, CoreHeaderAtEightBitsPutsRowsAfterTwoHundredFiftySixTriples) {
  Bytes block = MakeBlock(CoreHeaderBytes(4, 1, 8), 256, 3, 4, 1);
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->CreateOnDIB(block.data.data(), nullptr, 0), PXM_S_OK);
  EXPECT_EQ(PlaneOf(dib.Get()).data, block.data.data() + 12 + 768);
}

TEST(CreateOnDIB, SeparatePixelAddressKeepsThePalette) {
  Bytes block = MakeBlock(InfoHeaderBytes({.width = 4, .height = 3, .bitsPerPixel = 8, .coloursUsed = 4}), 4, 4, 0, 0);
  const Bytes original = block;
  std::vector<uint8_t> pixels(4 * 3, 9);
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->CreateOnDIB(block.data.data(), pixels.data(), 1 << 16), PXM_S_OK);
  EXPECT_EQ(PlaneOf(dib.Get()).data, pixels.data() + 2 * 4);
  EXPECT_EQ(block.data, original.data) << "no grey ramp over a block whose rows live elsewhere";
  dib.Reset();  // neither the borrowed block nor the pixels are freed (ASan would see a bad free)
  EXPECT_EQ(pixels[11], 9);
}

TEST(CreateOnDIB, BorrowedBlockOutlivesTheImageUntouched) {
  // Ownership 0, and 0x10000 whose low 16 bits are 0, both lend the block.
  for (const int ownership : {0, 0x10000}) {
    Bytes block = MakeBlock(InfoHeaderBytes({.width = 5, .height = 2, .bitsPerPixel = 24}), 0, 4, 16, 2);
    const Bytes original = block;
    ComPtr<IPXMImageDIB> dib = NewDib();
    ASSERT_EQ(dib->CreateOnDIB(block.data.data(), nullptr, ownership), PXM_S_OK);
    ASSERT_EQ(dib->Create(5, 2, 1, 24, FOURCC_MONO), PXM_S_OK);  // replaces the block: not freed
    ASSERT_EQ(dib->CreateOnDIB(block.data.data(), nullptr, ownership), PXM_S_OK);
    dib.Reset();
    EXPECT_EQ(block.data, original.data);
    block.data[40] = 1;  // still ours to write
  }
}

TEST(CreateOnDIB, OwnedBlockIsFreedByTheImage) {
  // The sanitizer build reports a leak if the image does not free it, or a double free.
  const Bytes bytes = MakeBlock(InfoHeaderBytes({.width = 3, .height = 3, .bitsPerPixel = 32}), 0, 4, 12, 3);
  auto* block = static_cast<uint8_t*>(std::malloc(bytes.size()));
  std::memcpy(block, bytes.data.data(), bytes.size());
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->CreateOnDIB(block, nullptr, 1), PXM_S_OK);
  // Attaching the block it already owns keeps it alive.
  ASSERT_EQ(dib->CreateOnDIB(block, nullptr, 1), PXM_S_OK);
  EXPECT_EQ(PlaneOf(dib.Get()).data[0], bytes.data[40 + 24]);

  auto* second = static_cast<uint8_t*>(std::malloc(bytes.size()));
  std::memcpy(second, bytes.data.data(), bytes.size());
  ASSERT_EQ(dib->CreateOnDIB(second, nullptr, 1), PXM_S_OK);  // frees the first
  ASSERT_EQ(dib->Create(1, 1, 1, 24, 0), PXM_S_OK);           // frees the second
}

TEST(CreateOnDIB, UnknownHeaderSizeKeepsThePreviousImage) {
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Create(3, 2, 1, 8, FOURCC_MONO), PXM_S_OK);
  const Dib before = DibOf(dib.Get());
  const Format format = FormatOf(dib.Get());
  for (const uint32_t size : {0u, 1u, 13u, 41u, 100u, 125u, 0xFFFFFFFFu}) {
    Bytes block = MakeBlock(InfoHeaderBytes({.width = 3, .height = 2, .bitsPerPixel = 24}), 0, 4, 12, 2);
    for (int k = 0; k < 4; ++k) block.data[k] = static_cast<uint8_t>(size >> 8 * k);  // header size
    EXPECT_EQ(dib->CreateOnDIB(block.data.data(), nullptr, 0), PXM_E_INVALIDARG) << size;
    EXPECT_EQ(DibOf(dib.Get()).block, before.block);
    EXPECT_EQ(FormatOf(dib.Get()), format);
  }
  EXPECT_EQ(dib->CreateOnDIB(nullptr, nullptr, 1), PXM_E_POINTER);
  EXPECT_EQ(DibOf(dib.Get()).block, before.block);
}

// ---------------------------------------------------------------------------------------------
// Palette

std::vector<uint32_t> Colours(uint32_t count) {
  std::vector<uint32_t> table(count);
  for (uint32_t i = 0; i < count; ++i) table[i] = 0xAB000000u | (i * 0x00030507u & 0x00FFFFFFu);  // high byte dropped
  return table;
}

TEST(Palette, FourByteEntriesRoundTripInPlace) {
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Create(4, 2, 1, 8, FOURCC_RGB), PXM_S_OK);
  ComPtr<IPXMImagePalette> palette = PaletteOf(dib);
  std::vector<uint32_t> table = Colours(300);
  const Plane p = PlaneOf(dib.Get());
  uint8_t* firstInMemory = p.data + p.stride;  // the bottom row of two, right after the palette area
  std::memset(firstInMemory, 0xEE, 4);

  EXPECT_EQ(palette->SetPalette(table.data(), 300, 0), PXM_S_OK);  // 256 written
  uint32_t* out = nullptr;
  uint32_t count = 0;
  ASSERT_EQ(palette->GetPalette(&out, &count), PXM_S_FALSE);
  EXPECT_EQ(count, 256u);
  const Dib d = DibOf(dib.Get());
  EXPECT_EQ(reinterpret_cast<uint8_t*>(out), d.block + 40) << "the area itself";
  for (uint32_t i = 0; i < 256; ++i) {
    ASSERT_EQ(out[i], table[i] & 0x00FFFFFFu) << i;
    // A bitmap reader's form: blue, green, red, 0.
    ASSERT_EQ(d.block[40 + 4 * i + 0], table[i] & 0xFF);
    ASSERT_EQ(d.block[40 + 4 * i + 2], (table[i] >> 16) & 0xFF);
    ASSERT_EQ(d.block[40 + 4 * i + 3], 0);
  }
  EXPECT_EQ(firstInMemory[0], 0xEE) << "nothing written past 256 entries";

  // What GetPalette hands out, given back to SetPalette, keeps every colour.
  EXPECT_EQ(palette->SetPalette(out, count, 0), PXM_S_OK);
  for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(out[i], table[i] & 0x00FFFFFFu);

  // Fewer entries than the palette holds: only those change; no table: the grey ramp.
  EXPECT_EQ(palette->SetPalette(nullptr, 2, 0), PXM_S_OK);
  EXPECT_EQ(out[1], 0x010101u);
  EXPECT_EQ(out[2], table[2] & 0x00FFFFFFu);
  EXPECT_EQ(palette->SetPalette(nullptr, 300, 0), PXM_S_OK);
  EXPECT_EQ(out[255], 0xFFFFFFu);
  EXPECT_EQ(palette->SetPalette(table.data(), 0, 0), PXM_S_OK);
}

TEST(Palette, CoreHeaderKeepsTriplesAndHandsOutQuads) {
  for (const uint16_t bits : {uint16_t{1}, uint16_t{4}, uint16_t{8}}) {
    SCOPED_TRACE(bits);
    const uint32_t entries = 1u << bits;
    Bytes block = MakeBlock(CoreHeaderBytes(3, 2, bits), entries, 3, 4, 2);
    const uint8_t firstPixel = block.data[12 + 3 * entries];
    ComPtr<IPXMImageDIB> dib = NewDib();
    ASSERT_EQ(dib->CreateOnDIB(block.data.data(), nullptr, 0), PXM_S_OK);
    ComPtr<IPXMImagePalette> palette = PaletteOf(dib);

    std::vector<uint32_t> table = Colours(entries);
    ASSERT_EQ(palette->SetPalette(table.data(), entries + 5, 0), PXM_S_OK);
    for (uint32_t i = 0; i < entries; ++i) {
      ASSERT_EQ(block.data[12 + 3 * i + 0], table[i] & 0xFF) << i;           // blue
      ASSERT_EQ(block.data[12 + 3 * i + 1], (table[i] >> 8) & 0xFF) << i;    // green
      ASSERT_EQ(block.data[12 + 3 * i + 2], (table[i] >> 16) & 0xFF) << i;   // red
    }
    EXPECT_EQ(block.data[12 + 3 * entries], firstPixel) << "rows untouched";

    uint32_t* out = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(palette->GetPalette(&out, &count), PXM_S_FALSE);
    ASSERT_EQ(count, entries);
    for (uint32_t i = 0; i < entries; ++i) ASSERT_EQ(out[i], table[i] & 0x00FFFFFFu) << i;

    // The copy follows the block, also when the block is written directly.
    block.data[12 + 2] = 0x77;
    ASSERT_EQ(palette->GetPalette(&out, nullptr), PXM_S_FALSE);
    EXPECT_EQ(out[0] >> 16, 0x77u);
    // And round trips through SetPalette.
    const std::vector<uint32_t> copy(out, out + entries);
    ASSERT_EQ(palette->SetPalette(out, entries, 0), PXM_S_OK);
    ASSERT_EQ(palette->GetPalette(&out, nullptr), PXM_S_FALSE);
    EXPECT_EQ(std::vector<uint32_t>(out, out + entries), copy);
  }
}

TEST(Palette, NoneAboveEightBits) {
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Create(2, 2, 1, 24, FOURCC_RGB), PXM_S_OK);
  uint32_t* out = reinterpret_cast<uint32_t*>(8);
  uint32_t count = 99;
  EXPECT_EQ(PaletteOf(dib)->GetPalette(&out, &count), PXM_E_FAIL);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(out, reinterpret_cast<uint32_t*>(8));
  uint32_t entry = 5;
  EXPECT_EQ(PaletteOf(dib)->SetPalette(&entry, 1, 0), PXM_S_OK) << "a block but no entries: nothing to write";
  EXPECT_EQ(DibOf(dib.Get()).size, 40u + 2 * 8);
}

}  // namespace
