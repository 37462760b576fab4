// Load(IString*) with the real host module beside the module: bitmap files of every depth, the
// host's transform applied once to colour rows, the path, and broken files each with its pinned
// result and the previous image kept.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>

#include "DibTestSupport.h"

namespace {

namespace fs = std::filesystem;

HRESULT Load(IPXMImageDIB* dib, const fs::path& path) {
  PathString text(path);
  return dib->Load(&text);
}

// The block a load makes of a file: what the file holds after its 14-byte header, zeros for what
// it lacks, an 8-bit palette turned into the grey ramp, and the first and third byte of each 24-
// and 32-bit pixel exchanged by the host's transform.
std::vector<uint8_t> Expected(IPXMImageDIB* dib, const std::vector<uint8_t>& file) {
  const DibView l = ViewOf(dib);
  const size_t entries = PaletteEntries(dib).size();
  std::vector<uint8_t> b(file.begin() + 14, file.end());
  b.resize(l.blockSize, 0);
  const uint32_t row = -l.stride, rows = l.blockSize - l.height * row, step = l.bits / 8;
  for (uint32_t i = 0; l.bits == 8 && i < 4 * entries; ++i) b[40 + i] = i % 4 == 3 ? 0 : uint8_t(i / 4);
  for (uint32_t y = 0; l.bits >= 24 && y < l.height; ++y)
    for (uint32_t x = 0; x < l.width; ++x) std::swap(b[rows + y * row + x * step], b[rows + y * row + x * step + 2]);
  return b;
}

TEST(DibLoad, EveryDepthTakesTheFileAsTheBlockAndTransformsColourRowsOnce) {
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  ASSERT_EQ(Load(dib.Get(), Fixture("v5.bmp")), PXM_S_OK);  // fills what the module keeps for good
  for (const uint32_t bits : {1u, 4u, 8u, 16u, 24u, 32u}) {
    SCOPED_TRACE(bits);
    const uint32_t width = 13, height = 3, row = PaddedRow(bits, width), entries = bits <= 8 ? 1u << bits : 0;
    const Bytes block = MakeBlock(InfoHeaderBytes({.width = width, .height = height, .bitsPerPixel = bits}), entries,
                                  4, row, height);
    const fs::path file = WriteFile("depth" + std::to_string(bits) + ".bmp", MakeFile(block, 54).data);
    const uint64_t applied = TransformApplies();
    const int64_t live = HostObjects();
    ASSERT_EQ(Load(dib.Get(), file), PXM_S_OK);
    const DibView l = ViewOf(dib.Get());
    EXPECT_EQ(l.Format(), (std::vector{width, height, 1u, bits, bits == 8 ? FOURCC_MONO : 0}));
    EXPECT_EQ(TransformApplies() - applied, bits == 8 ? 0u : 1u) << "colour rows once, 8-bit grey never";
    EXPECT_EQ(HostObjects(), live) << "the path and the transform are released";
    ASSERT_EQ(l.blockSize, block.size());
    EXPECT_EQ(l.top, l.block + 40 + 4 * entries + (height - 1) * row) << "the top row is the file's last";
    EXPECT_EQ(l.stride, -static_cast<int32_t>(row));
    EXPECT_EQ(l.Block(), Expected(dib.Get(), MakeFile(block).data));
  }
}

TEST(DibLoad, PathsOfAnyLengthWithBackslashesAndOpenFailures) {
  const Bytes block = MakeBlock(InfoHeaderBytes({.width = 2, .height = 2}), 0, 4, 8, 2);
  const std::string folder(120, 'd');
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  for (const std::string& name : {std::string("sub/dir/slashes.bmp"), folder + "/" + folder + "/" + folder + "/long.bmp"}) {
    std::wstring path = WriteFile(name, MakeFile(block).data).wstring();
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
    PathString text(path);
    EXPECT_EQ(dib->Load(&text), PXM_S_OK) << name;
  }
  // A missing file, no path, a character the locale cannot convert: one line, the image kept.
  uint8_t* before = ViewOf(dib.Get()).block;
  std::setlocale(LC_ALL, "C");
  const fs::path missing = ScratchFolder() / "missing.bmp";
  PathString missingText(missing), foreign((ScratchFolder() / "caf").wstring() + L"\u00E9.bmp");
  for (IString* path : {static_cast<IString*>(&missingText), static_cast<IString*>(nullptr), static_cast<IString*>(&foreign)}) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(dib->Load(path), PXM_E_FAIL);
    std::fflush(stdout);
    const std::string line = testing::internal::GetCapturedStdout();
    EXPECT_EQ(line.rfind("CPXMImageDIB::Load fopen error ", 0), 0u) << line;
    if (path == &missingText) {
      EXPECT_EQ(line, "CPXMImageDIB::Load fopen error " + missing.string() + "\n");
    }
    EXPECT_EQ(ViewOf(dib.Get()).block, before);
  }
}

Bytes Info(InfoHeader h, uint32_t entries, uint32_t rowBytesStored, uint32_t rowsStored) {
  return MakeBlock(InfoHeaderBytes(h), entries, 4, rowBytesStored, rowsStored);
}
Bytes Cut(Bytes b, size_t keep) { return b.data.resize(keep), b; }
Bytes WithHeaderSize(uint32_t size) {
  Bytes b = MakeFile(Info({.width = 2, .height = 2}, 0, 8, 2));
  return std::memcpy(b.data.data() + 14, &size, 4), b;
}

TEST(DibLoad, BrokenFilesGetTheirResultAndNothingOutsideABuffer) {
  const Bytes good24 = MakeFile(Info({.width = 5, .height = 3}, 0, 16, 3));
  // 32 bits with three masks after the header: the rows are read right after the header all the same.
  Bytes masked = InfoHeaderBytes({.width = 2, .height = 2, .bitsPerPixel = 32, .compression = 3});
  masked.U32(0x00FF0000).U32(0x0000FF00).U32(0x000000FF).Fill(16, 0x44);
  // A claim of twice the file plus 64 KiB loads; one row byte more is refused.
  const auto claim = [&](uint32_t extra) {
    return MakeFile(Info({.width = 65608 + extra, .height = 1, .bitsPerPixel = 8, .coloursUsed = 1}, 1, 0, 0));
  };
  const auto raw = [](std::vector<uint8_t> bytes) { return Bytes{std::move(bytes)}; };
  struct Case {
    const char* name;
    Bytes file;
    uint32_t blockSize;  // 0: refused with 0x80070057; else the block covers the claimed layout
  };
  const Case cases[] = {
      {"empty", raw({}), 0},
      {"thirteenBytes", raw({'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0},
      {"fileHeaderOnly", raw({'B', 'M', 14, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}), 0},
      {"signatureMB", [&] { Bytes b = good24; return std::swap(b.data[0], b.data[1]), b; }(), 0},
      {"headerSize0", WithHeaderSize(0), 0},
      {"headerSize1", WithHeaderSize(1), 0},
      {"headerSize41", WithHeaderSize(41), 0},
      {"headerSizeAllOnes", WithHeaderSize(0xFFFFFFFF), 0},
      {"headerSizeCutShort", raw({'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0}), 0},
      {"widthFarBeyondFile", MakeFile(Info({.width = 0x7FFFFFFF, .height = 1}, 0, 0, 0)), 0},
      {"heightFarBeyondFile", MakeFile(Info({.width = 4, .height = 1 << 30}, 0, 12, 1)), 0},
      {"heightMostNegative", MakeFile(Info({.width = 4, .height = INT32_MIN, .bitsPerPixel = 8}, 256, 4, 1)), 0},
      {"bothFarBeyondFile", MakeFile(Info({.width = ~0u, .height = -0x7FFFFFFF, .bitsPerPixel = 32}, 0, 0, 0)), 0},
      {"coreSizeBeyondFile", MakeFile(MakeBlock(CoreHeaderBytes(65535, 65535, 24), 0, 3, 0, 0)), 0},
      {"claimOneBeyondLimit", claim(4), 0},
      {"claimAtLimit", claim(0), 40 + 4 + 65608},
      {"coloursUsedAllOnes", MakeFile(Info({.width = 4, .height = 2, .bitsPerPixel = 8, .coloursUsed = ~0u}, 256, 4, 2)),
       40 + 1024 + 8},
      {"cutInsideThePalette", Cut(MakeFile(Info({.width = 4, .height = 2, .bitsPerPixel = 8}, 256, 4, 2)), 14 + 40 + 37),
       40 + 1024 + 8},
      {"cutInsideTheRows", Cut(good24, good24.size() - 7), 40 + 48},
      {"cutInsideTheHeader", Cut(good24, 14 + 17), 40 + 48},
      {"fewerEntriesAtFourBits", MakeFile(Info({.width = 3, .height = 2, .bitsPerPixel = 4}, 2, 4, 2)), 40 + 64 + 8},
      {"bitFieldMasks", MakeFile(masked, 66), 40 + 16},
      {"gapBeforeTheRows", MakeFile(MakeBlock(InfoHeaderBytes({.width = 2, .height = 2}).Fill(20, 0xCC), 0, 4, 8, 2)),
       40 + 16},
      {"compressedTakenAsIs", MakeFile(Info({.width = 4, .height = 2, .bitsPerPixel = 8, .compression = 1}, 256, 4, 1)),
       40 + 1024 + 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
    ASSERT_EQ(dib->Create(6, 4, 1, 32, FOURCC_ARGB), PXM_S_OK);
    const DibView before = ViewOf(dib.Get());
    const uint64_t applied = TransformApplies();
    const fs::path path = WriteFile(std::string("broken/") + c.name + ".bmp", c.file.data);
    EXPECT_EQ(Load(dib.Get(), path), c.blockSize ? PXM_S_OK : PXM_E_INVALIDARG);
    const DibView after = ViewOf(dib.Get());
    if (!c.blockSize) {
      EXPECT_EQ(after.block, before.block) << "the previous image stays";
      EXPECT_EQ((std::vector{after.width, after.bits, after.fourcc}), (std::vector{6u, 32u, FOURCC_ARGB}));
      EXPECT_EQ(TransformApplies(), applied);
      continue;
    }
    ASSERT_EQ(after.blockSize, c.blockSize);
    EXPECT_EQ(after.Block(), Expected(dib.Get(), c.file.data));
    for (uint32_t y = 0; y < after.height; ++y) std::memset(after.top + int64_t{y} * after.stride, 1, -after.stride);
  }
}

}  // namespace
