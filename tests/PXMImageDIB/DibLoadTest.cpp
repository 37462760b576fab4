// Load(IString*) with the real host module beside the module: files of every depth and form, the
// host's transform applied once to colour rows, the path, broken files refused keeping the image.
#include <array>
#include <clocale>

#include "DibTestSupport.h"

namespace {

namespace fs = std::filesystem;

HRESULT Load(IPXMImageDIB* dib, const fs::path& path) { PathString text(path); return dib->Load(&text); }

// The block a load makes of a file: what the file holds after its 14-byte header, zeros for what it lacks, the image
// size in its header, an 8-bit palette turned into the grey ramp, 24- and 32-bit pixels' first and third bytes exchanged.
std::vector<uint8_t> Expected(IPXMImageDIB* dib, const std::vector<uint8_t>& file) {
  const view::Probe l = ViewOf(dib);
  const size_t entries = PaletteEntries(dib).size();
  std::vector<uint8_t> b(file.begin() + 14, file.end());
  b.resize(l.blockSize, 0);
  const uint32_t row = -l.stride, rows = l.blockSize - l.height * row, step = l.bits / 8;
  const uint32_t imageSize = l.height * row;  // the header describes the rows it holds
  if (b[0] != 12) std::memcpy(b.data() + 20, &imageSize, 4);
  if (b[0] == 40 && b[16] == 3) b[0] = 52, b[16] = 0;  // three masks after the header: now inside it
  for (uint32_t i = 0; l.bits == 8 && i < 4 * entries; ++i) b[40 + i] = i % 4 == 3 ? 0 : uint8_t(i / 4);
  for (uint32_t y = 0; l.bits >= 24 && y < l.height; ++y)
    for (uint32_t x = 0; x < l.width; ++x) std::swap(b[rows + y * row + x * step], b[rows + y * row + x * step + 2]);
  return b;
}

// A library planted under the host module's name in the current folder is never loaded: siblings come from beside the module.
TEST(DibLoad, PathsOfAnyLengthFromAFolderWithAPlantedSiblingAndOpenFailures) {
  const fs::path planted = ScratchFolder() / "_binLinux" / ("DuvirovurozAd" PXM_MODULE_SUFFIX);
  fs::create_directories(planted.parent_path());
  fs::copy_file(ModulePath("PXMPlantedSibling"), planted);
  ASSERT_EQ(chdir(ScratchFolder().c_str()), 0);
  const Bytes file = MakeFile(MakeBlock(InfoHeaderBytes({.width = 2, .height = 2}), 0, 4, 8, 2));
  const std::string folder(120, 'd');
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  for (const std::string& name : {std::string("sub/dir/slashes.bmp"), folder + "/" + folder + "/" + folder + "/long.bmp"})
    for (const bool relative : {false, true}) {
      std::wstring path = relative ? fs::path(name).wstring() : WriteFile(name, file.data).wstring();
      for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
      PathString text(path);
      const uint64_t applies = TransformApplies();
      EXPECT_EQ(dib->Load(&text), PXM_S_OK) << name << (relative ? " relative" : "");
      EXPECT_EQ(TransformApplies() - applies, 1u);
    }
  EXPECT_FALSE(fs::exists("planted-sibling-was-loaded"));
  // A missing file, no path, a character the locale cannot convert: one line, the image kept.
  uint8_t* before = ViewOf(dib.Get()).block;
  std::setlocale(LC_ALL, "C");
  const fs::path missing = ScratchFolder() / "missing.bmp";
  PathString missingText(missing), foreign((ScratchFolder() / "caf").wstring() + L"\u00E9.bmp");
  for (IString* path : {static_cast<IString*>(&missingText), static_cast<IString*>(nullptr), static_cast<IString*>(&foreign)}) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(dib->Load(path), PXM_E_FAIL);
    std::fflush(stdout);
    const std::string line = testing::internal::GetCapturedStdout(), want = "CPXMImageDIB::Load fopen error ";
    EXPECT_EQ(path == &missingText ? line : line.substr(0, want.size()), path == &missingText ? want + missing.string() + "\n" : want);
    EXPECT_EQ(ViewOf(dib.Get()).block, before);
  }
}

Bytes Info(InfoHeader h, uint32_t entries, uint32_t rowBytes, uint32_t rows) { return MakeBlock(InfoHeaderBytes(h), entries, 4, rowBytes, rows); }
Bytes File(InfoHeader h, uint32_t entries, uint32_t rowBytes, uint32_t rows = 2, uint32_t offset = 0) { return MakeFile(Info(h, entries, rowBytes, rows), offset); }
Bytes Masked(uint32_t bits, uint32_t red, uint32_t green, uint32_t blue) {
  return MakeFile(InfoHeaderBytes({.width = 4, .height = 1, .bitsPerPixel = bits, .compression = 3}).U32(red).U32(green).U32(blue).Fill(16, 7));
}
Bytes Cut(Bytes b, size_t keep) { return b.data.resize(keep), b; }

// A loaded file is the block, top row last, colour rows transformed once; a refused one leaves the image.
TEST(DibLoad, EveryFileGetsItsResultAndBlock) {
  const auto depth = [](uint32_t bits, uint32_t entries = 0) {
    return File({.width = 13, .height = 3, .bitsPerPixel = bits}, entries, PaddedRow(bits, 13), 3, 54 + 4 * entries);
  };
  const Bytes good24 = File({.width = 5, .height = 3}, 0, 16, 3);
  // 32 bits with masks already in the stored layout: the rows stay where they are.
  const Bytes masked = InfoHeaderBytes({.width = 2, .height = 2, .bitsPerPixel = 32, .compression = 3}).U32(0xFF0000).U32(0xFF00).U32(0xFF).Fill(16, 0x44);
  // A claim of twice the file plus 64 KiB loads; one row byte more is refused.
  const auto claim = [&](uint32_t extra) { return File({.width = 65608 + extra, .height = 1, .bitsPerPixel = 8, .coloursUsed = 1}, 1, 0, 0); };
  const auto raw = [](std::vector<uint8_t> bytes) { return Bytes{std::move(bytes)}; };
  struct Case { const char* name; Bytes file; uint32_t blockSize; };  // size 0: refused with 0x80070057
  const Case cases[] = {
      {"depth1", depth(1, 2), 40 + 8 + 3 * 4},  {"depth4", depth(4, 16), 40 + 64 + 3 * 8},  {"depth8", depth(8, 256), 40 + 1024 + 3 * 16},
      {"depth16", depth(16), 40 + 3 * 28},      {"depth24", depth(24), 40 + 3 * 40},    {"depth32", depth(32), 40 + 3 * 52},
      {"thirteenBytes", raw({'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0}, {"fileHeaderOnly", raw({'B', 'M', 14, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}), 0},
      {"headerSizeCutShort", raw({'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0}), 0},
      {"signatureMB", [&] { Bytes b = good24; return std::swap(b.data[0], b.data[1]), b; }(), 0},
      {"headerSizeAllOnes", [&] { Bytes b = good24; return std::memset(b.data.data() + 14, 0xFF, 4), b; }(), 0},  // more sizes: CreateOnDIB's
      {"widthFarBeyondFile", File({.width = 0x7FFFFFFF, .height = 1}, 0, 0, 0), 0}, {"heightFarBeyondFile", File({.height = 1 << 30}, 0, 12, 1), 0},
      {"heightMostNegative", File({.height = INT32_MIN, .bitsPerPixel = 8}, 256, 4, 1), 0},
      {"bothFarBeyondFile", File({.width = ~0u, .height = -0x7FFFFFFF, .bitsPerPixel = 32}, 0, 0, 0), 0},
      {"coreSizeBeyondFile", MakeFile(MakeBlock(CoreHeaderBytes(65535, 65535, 24), 0, 3, 0, 0)), 0},
      {"claimOneBeyondLimit", claim(4), 0},     {"claimAtLimit", claim(0), 40 + 4 + 65608},
      {"coloursUsedAllOnes", File({.bitsPerPixel = 8, .coloursUsed = ~0u}, 256, 4), 40 + 1024 + 8},
      {"cutInsideThePalette", Cut(File({.bitsPerPixel = 8}, 256, 4), 14 + 40 + 37), 40 + 1024 + 8},
      {"cutInsideTheRows", Cut(good24, good24.size() - 7), 40 + 48}, {"cutInsideTheHeader", Cut(good24, 14 + 17), 40 + 48},
      {"fewerEntriesAtFourBits", File({.width = 3, .height = 2, .bitsPerPixel = 4}, 2, 4, 2), 40 + 64 + 8},
      {"fourBitsWithCoreCount", File({.width = 3, .height = 2, .bitsPerPixel = 4}, 16, 4, 2, 14 + 40 + 64), 40 + 64 + 8},
      {"bitFieldMasks", MakeFile(masked, 66), 52 + 16},
      {"gapBeforeTheRows", MakeFile(MakeBlock(InfoHeaderBytes({.width = 2, .height = 2}).Fill(20, 0xCC), 0, 4, 8, 2)), 40 + 16},
      // Codes we do not read, and codes at depths they do not apply to.
      {"embeddedJpeg", File({.compression = 4}, 0, 12), 0}, {"embeddedPng", File({.compression = 5}, 0, 12), 0},
      {"cmyk", File({.bitsPerPixel = 32, .compression = 11}, 0, 16), 0}, {"sixtyFourBits", File({.bitsPerPixel = 64}, 0, 32), 0},
      {"huffmanAfterTheOs2Header", File({.size = 64, .bitsPerPixel = 1, .compression = 3}, 2, 4), 0}, {"threeBits", File({.bitsPerPixel = 3}, 0, 4), 0},
      {"runLength24AfterTheOs2Header", File({.size = 64, .compression = 4}, 0, 12), 0}, {"runLength8At4Bits", File({.bitsPerPixel = 4, .compression = 1}, 16, 4, 1), 0},
      {"bitFieldsAt24Bits", Masked(24, 0xFF0000, 0xFF00, 0xFF), 0}, {"emptyGreenMask", Masked(16, 0xF800, 0, 0x1F), 0},
      {"masksSharingABit", Masked(16, 0xF800, 0x0FE0, 0x1F), 0},  {"masksPastSixteenBits", Masked(16, 0xF80000, 0x7E0, 0x1F), 0},
      // A run-length claim is bounded by 128 times the file plus 1 MiB: 30000 x 30000 from 1 KiB is refused.
      {"runLengthClaimFarBeyondFile", MakeFile(Info({.width = 30000, .height = 30000, .bitsPerPixel = 8, .compression = 1}, 256, 0, 0).Fill(960, 0)), 0},
  };
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  ASSERT_EQ(Load(dib.Get(), Fixture("v5.bmp")), PXM_S_OK);  // fills what the module keeps for good
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(dib->Create(6, 4, 1, 32, FOURCC_ARGB), PXM_S_OK);
    const view::Probe before = ViewOf(dib.Get());
    const uint64_t applied = TransformApplies();
    const int64_t live = HostObjects();
    EXPECT_EQ(Load(dib.Get(), WriteFile(std::string("files/") + c.name + ".bmp", c.file.data)), c.blockSize ? PXM_S_OK : PXM_E_INVALIDARG);
    EXPECT_EQ(HostObjects(), live) << "the path and the transform are released";
    const view::Probe after = ViewOf(dib.Get());
    if (!c.blockSize) {
      EXPECT_TRUE(after.block == before.block && after.Format() == before.Format() && TransformApplies() == applied) << "the previous image stays";
      continue;
    }
    EXPECT_EQ(TransformApplies() - applied, after.bits == 8 ? 0u : 1u);
    EXPECT_EQ(after.stride, -int32_t(PaddedRow(after.bits, after.width)));
    EXPECT_EQ(after.data, after.block + after.blockSize + after.stride);
    ASSERT_EQ(after.blockSize, c.blockSize);
    EXPECT_EQ(after.Block(), Expected(dib.Get(), c.file.data));
    for (uint32_t y = 0; y < after.height; ++y) std::memset(after.data + int64_t{y} * after.stride, 1, -after.stride);
  }
}


// The colour of entry i of a file's palette, as 0x00RRGGBB.
uint32_t FileEntry(const std::vector<uint8_t>& f, uint32_t i) {
  const uint32_t header = Get32(f, 14), masks = header == 40 && f[30] == 3 ? 12 : 0;
  const size_t at = 14 + header + masks + i * (header == 12 ? 3 : 4);
  return f[at + 2] << 16 | f[at + 1] << 8 | f[at];
}

// Pixel (x, y) of a loaded image, top row first, as red, green, blue, alpha. 24- and 32-bit rows
// are red first after the transform; 8-bit rows are indices, shown in the file's own colours.
std::array<int, 4> PixelOf(IPXMImageDIB* dib, const std::vector<uint8_t>& file, uint32_t x, uint32_t y) {
  const view::Probe l = ViewOf(dib);
  const uint8_t* p = l.Row(y) + x * l.bits / 8;
  if (l.bits >= 24) return {p[0], p[1], p[2], l.bits == 32 ? p[3] : 255};
  const uint32_t v = p[0] | p[1] << 8;  // a 16-bit pixel: 5-5-5
  if (l.bits == 16) return {Widen5(v >> 10), Widen5(v >> 5), Widen5(v), 255};
  const uint32_t index = *p >> (8 - l.bits - x * l.bits % 8) & ((1u << l.bits) - 1);
  const uint32_t c = l.bits == 8 ? FileEntry(file, index) : PaletteEntries(dib).at(index);
  return {int(c >> 16 & 255), int(c >> 8 & 255), int(c & 255), 255};
}

// Files of independent writers (fixtures/README.md) read back against the writer's own decode;
// channels held in fewer than 8 bits may differ by 1.
TEST(DibLoad, WritersFilesLoadAsTheirPictures) {
  const struct { const char* name; uint32_t bits, fourcc; } goldens[] = {
      {"core24", 24, 0},   {"core4", 4, 0},     {"netpbmcore4", 4, 0},       {"v5", 24, 0},           {"topdown24", 24, 0},
      {"info8", 8, FOURCC_MONO}, {"pillow1", 1, 0}, {"netpbm4", 4, 0},     {"twobit", 4, 0},        {"rle8", 8, FOURCC_MONO},
      {"rle8few", 8, FOURCC_MONO}, {"rgb555", 16, 0}, {"rgb565", 24, 0},   {"masks32", 24, 0},      {"argb4444", 32, FOURCC_ARGB},
      {"argb1555", 16, 0}, {"argb1555cut", 32, FOURCC_ARGB}, {"v5alpha32", 32, FOURCC_ARGB},
  };
  for (const auto& g : goldens) {
    SCOPED_TRACE(g.name);
    const std::vector<uint8_t> file = ReadFile(Fixture(std::string(g.name) + ".bmp"));
    const bool alpha = fs::exists(Fixture(std::string(g.name) + ".rgba"));
    const std::vector<uint8_t> want = ReadFile(Fixture(std::string(g.name) + (alpha ? ".rgba" : ".rgb")));
    ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
    ASSERT_EQ(Load(dib.Get(), Fixture(std::string(g.name) + ".bmp")), PXM_S_OK);
    const view::Probe l = ViewOf(dib.Get());
    ASSERT_EQ(l.Format(), (std::vector{7u, 5u, 1u, g.bits, g.fourcc}));
    const std::vector<uint8_t> header = l.Block();
    if (header[0] != 12) {
      EXPECT_EQ((std::vector{Get32(header, 8), Get32(header, 16), Get32(header, 20)}), (std::vector{5u, 0u, l.size})) << "height, compression, image size";
    }
    const int tolerance = std::string(g.name).find_first_of("5m4") != std::string::npos && g.bits != 4 ? 1 : 0;
    for (uint32_t y = 0; y < 5; ++y)
      for (uint32_t x = 0; x < 7; ++x) {
        const std::array<int, 4> got = PixelOf(dib.Get(), file, x, y);
        for (uint32_t c = 0; c < (alpha ? 4u : 3u); ++c)
          ASSERT_NEAR(got[c], want[(y * 7 + x) * (alpha ? 4 : 3) + c], tolerance) << x << "," << y << " channel " << c;
        EXPECT_EQ(got[3], std::string(g.name) != "argb1555cut" ? got[3] : x < 4 ? 255 : 0) << "argb1555cut's alpha is x < 4";
      }
    // Behind a file header, the block is a plain bitmap file of the same rows (the transform swaps them back).
    const Bytes again = MakeFile(Bytes{header}, 14 + Get32(header, 0) + uint32_t(PaletteEntries(dib.Get()).size()) * (header[0] == 12 ? 3 : 4));
    ComPtr<IPXMImageDIB> reloaded = ModuleHost::Get().CreateDIB();
    ASSERT_EQ(Load(reloaded.Get(), WriteFile("again.bmp", again.data)), PXM_S_OK);
    const view::Probe r = ViewOf(reloaded.Get());
    ASSERT_EQ(r.Format(), (std::vector{7u, 5u, 1u, g.bits, g.bits == 32 ? 0u : g.fourcc}));
    for (uint32_t y = 0; y < 5; ++y) {
      std::vector<uint8_t> row(r.Row(y), r.Row(y) - l.stride);
      for (uint32_t x = 0; l.bits >= 24 && x < 7; ++x) std::swap(row[x * l.bits / 8], row[x * l.bits / 8 + 2]);
      EXPECT_EQ(row, std::vector<uint8_t>(l.Row(y), l.Row(y) - l.stride)) << "row " << y;
    }
  }
}

TEST(DibLoad, RunLengthStreamsEdgeCases) {
  struct Stream { const char* name; uint32_t bits; std::vector<uint8_t> codes; std::string rows; };  // rows: bottom first, a hex digit an index
  // Rows wide enough for short runs to be written 16 bytes at once: what lies past a run is
  // cleared when the stream ends the line, skips ahead or stops. The digits given, then zeros.
  const auto wide = [](std::string bottom, std::string middle = "") {
    return bottom.append(20 - bottom.size(), '0') + " " + middle.append(20 - middle.size(), '0') + " " + std::string(20, '0');
  };
  const Stream streams[] = {
      {"runsAndEndOfLine", 8, {2, 5, 0, 0, 4, 7, 0, 1}, "5500 7777 0000"},         {"deltaSkipsToZeros", 8, {1, 9, 0, 2, 2, 1, 1, 3, 0, 1}, "9000 0003 0000"},
      {"oddAbsoluteRunPadded", 8, {0, 3, 1, 2, 3, 0, 1, 4, 0, 1}, "1234 0000 0000"}, {"runPastTheRowClipped", 8, {9, 6, 0, 0, 1, 8, 0, 1}, "6666 8000 0000"},
      {"absolutePastTheRowClipped", 8, {0, 6, 1, 2, 3, 4, 5, 6, 0, 1}, "1234 0000 0000"},
      {"rowsRunOutWithoutEnd", 8, {4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 0, 4, 4, 0, 0}, "1111 2222 3333"},
      {"streamStopsInAPair", 8, {2, 1, 3}, "1100 0000 0000"},                      {"absoluteRunCutShort", 8, {1, 1, 0, 5, 1, 2}, "1000 0000 0000"},
      {"deltaCutShort", 8, {1, 1, 0, 2, 1}, "1000 0000 0000"},                     {"earlyEndOfBitmap", 8, {2, 2, 0, 1, 0, 0, 2, 3}, "2200 0000 0000"},
      {"deltaPastTheTop", 8, {0, 2, 0, 9, 4, 4}, "0000 0000 0000"},                {"nibblesAlternate", 4, {3, 0x12, 0, 0, 0, 3, 0xAB, 0xC0, 0, 1}, "1210 abc0 0000"},
      {"oddNibbleRunPadded", 4, {0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 2, 0xEF, 0, 1}, "1234 ef00 0000"},
      {"nibbleRunPastTheRow", 4, {7, 0x9A, 0, 0, 1, 0xB0, 0, 1}, "9a9a b000 0000"},
      {"shortRunsThenEndOfLine", 8, {3, 5, 2, 6, 0, 0, 2, 7, 0, 1}, wide("55566", "77")},
      {"shortRunThenDelta", 8, {2, 5, 0, 2, 3, 0, 1, 6, 0, 2, 0, 1, 0, 1}, wide("55000600")},
      {"shortAbsoluteThenEnd", 8, {0, 3, 1, 2, 3, 0, 0, 1, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}, wide("123")},
      {"shortRunThenStreamStops", 8, {4, 8}, wide("8888")},
      {"shortAbsoluteAfterARun", 8, {2, 5, 0, 3, 1, 2, 3, 0, 0, 1, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}, wide("55123")},
  };
  for (const Stream& s : streams) {
    SCOPED_TRACE(s.name);
    const uint32_t width = static_cast<uint32_t>(s.rows.find(' '));
    Bytes block = InfoHeaderBytes({.width = width, .height = 3, .bitsPerPixel = s.bits, .compression = s.bits == 8 ? 1u : 2u});
    for (uint32_t i = 0; i < (1u << s.bits); ++i) block.U32(i * 0x010101);
    block.data.insert(block.data.end(), s.codes.begin(), s.codes.end());
    ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
    ASSERT_EQ(Load(dib.Get(), WriteFile("rle.bmp", MakeFile(block, 14 + 40 + (4 << s.bits)).data)), PXM_S_OK);
    const view::Probe l = ViewOf(dib.Get());
    const uint32_t used = (width * s.bits + 7) / 8;
    std::string rows;
    for (uint32_t y = 3; y-- > 0; rows += y ? " " : "") {
      for (uint32_t x = 0; x < width; ++x) rows += "0123456789abcdef"[l.Row(y)[x * s.bits / 8] >> (8 - s.bits - x * s.bits % 8) & ((1 << s.bits) - 1)];
      EXPECT_EQ(std::vector<uint8_t>(l.Row(y) + used, l.Row(y) - l.stride), std::vector<uint8_t>(-l.stride - used, 0)) << "row padding is zero";
    }
    EXPECT_EQ(rows, s.rows);
    EXPECT_EQ(Get32(l.Block(), 32), s.bits == 8 ? 0u : 16u) << "colours used: none for grey rows, all 16 otherwise";
  }
}

// Bit fields with an alpha mask: alpha in any pixel makes "ARGB" rows, none 24-bit ones. A short
// palette is read as far as it goes (the rest black), the rows from the offset. Top-down: file row 0 on top.
TEST(DibLoad, MaskedChannelsWidenAlphaAnywhereIsAlphaAndShortPalettesEndBlack) {
  const auto masked = [](uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha, uint32_t lastPixel, int32_t height = 2,
                         uint32_t firstOfLastRow = 0x000F) {
    const Bytes header = InfoHeaderBytes({.width = 2, .height = height, .bitsPerPixel = 16, .compression = 6});
    return MakeFile(Bytes(header).U32(red).U32(green).U32(blue).U32(alpha).U16(0x0F00).U16(0x00F0).U16(firstOfLastRow).U16(lastPixel), 14 + 56);
  };
  const Bytes shortPalette = MakeBlock(InfoHeaderBytes({.width = 3, .height = -2, .bitsPerPixel = 4, .coloursUsed = 2}), 2, 4, 0, 0);
  const struct { Bytes file; std::vector<uint32_t> format; std::vector<uint8_t> top; std::vector<uint32_t> palette; } cases[] = {
      {masked(0x0F00, 0x00F0, 0x000F, 0xF000, 0x0FFF), {2, 2, 1, 24, 0}, {0, 0, 255, 255, 255, 255}, {}},
      {masked(0x0F00, 0x00F0, 0x000F, 0xF000, 0x1FFF), {2, 2, 1, 32, FOURCC_ARGB}, {0, 0, 255, 0, 255, 255, 255, 17}, {}},
      {masked(0x0F00, 0x00F0, 0x000F, 0xF000, 0x0FFF, 2, 0x100F), {2, 2, 1, 32, FOURCC_ARGB}, {0, 0, 255, 17, 255, 255, 255, 0}, {}},
      {masked(0x7C00, 0x0300, 0x00FF, 0, 0x0FFF), {2, 2, 1, 24, 0}, {0, 0, 15, 24, 255, 255}, {}},  // red where 5-5-5 has it, the rest not
      {masked(0x0F00, 0x00F0, 0x000F, 0, 0x0FFF, -2), {2, 2, 1, 24, 0}, {255, 0, 0, 0, 255, 0}, {}},
      {MakeFile(Bytes(shortPalette).U32(0x2001).U32(0x6045), 14 + 40 + 8), {3, 2, 1, 4, 0}, {0x01, 0x20, 0, 0},  // entry i: 4i+1, 4i+2, 4i+3
       {0x030201, 0x070605, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
    ASSERT_EQ(Load(dib.Get(), WriteFile("small.bmp", c.file.data)), PXM_S_OK);
    const view::Probe l = ViewOf(dib.Get());
    EXPECT_EQ(l.Format(), c.format);
    EXPECT_EQ(std::vector<uint8_t>(l.Row(0), l.Row(0) + c.top.size()), c.top) << "red, green, blue after the transform";
    EXPECT_EQ(PaletteEntries(dib.Get()), c.palette);
  }
}

}  // namespace
