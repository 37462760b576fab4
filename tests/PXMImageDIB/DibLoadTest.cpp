// Load(IString*): bitmap files written by the tests at every depth, files made by an independent
// writer, the path, the transform step, and a folder of broken files each with its pinned result.
#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cstring>

#include "DibTestSupport.h"

namespace {

namespace fs = std::filesystem;

ComPtr<IPXMImageDIB> NewDib() {
  TestHost::Get();  // the module meets our host framework from the start
  return ModuleHost::Get().CreateDIB();
}

HRESULT Load(IPXMImageDIB* dib, const std::wstring& path) {
  TestHost::Get().Reset();
  return dib->Load(HostText(path).Get());
}
HRESULT Load(IPXMImageDIB* dib, const fs::path& path) { return Load(dib, path.wstring()); }

struct Loaded {
  uint8_t* block = nullptr;
  uint32_t size = 0;
  uint32_t width = 0, height = 0, bits = 0, fourcc = 0;
  uint8_t* top = nullptr;
  int32_t stride = 0;
};
Loaded Inspect(IPXMImageDIB* dib) {
  Loaded l;
  dib->GetDIB(&l.block, &l.size);
  dib->GetSize(&l.width, &l.height, nullptr);
  dib->GetPixelDescriptor(&l.bits, &l.fourcc, nullptr);
  uint32_t size = 0;
  dib->GetImage(0, &size, &l.top, &l.stride);
  return l;
}

IPXMImage* ImageFace(const ComPtr<IPXMImageDIB>& dib) {
  return dib.As<IPXMImage>(pxm::iid::IPXMImage).Get();  // the object lives on: the pointer stays valid
}

// ---------------------------------------------------------------------------------------------
// Files of every depth

TEST(Load, EveryDepthTakesTheFileBytesAsTheBlock) {
  struct Depth {
    uint32_t bits, entries, fourcc;
  };
  for (const Depth d : {Depth{1, 2, 0}, Depth{4, 16, 0}, Depth{8, 256, FOURCC_MONO}, Depth{16, 0, 0},
                        Depth{24, 0, 0}, Depth{32, 0, 0}}) {
    SCOPED_TRACE(d.bits);
    const uint32_t width = 13, height = 3, row = PaddedRow(d.bits, width);
    const Bytes block = MakeBlock(InfoHeaderBytes({.width = width, .height = height, .bitsPerPixel = d.bits}),
                                  d.entries, 4, row, height);
    const fs::path file = WriteFile("depth" + std::to_string(d.bits) + ".bmp", MakeFile(block, 54).data);

    ComPtr<IPXMImageDIB> dib = NewDib();
    ASSERT_EQ(Load(dib.Get(), file), PXM_S_OK);
    const Loaded l = Inspect(dib.Get());
    EXPECT_EQ(l.width, width);
    EXPECT_EQ(l.height, height);
    EXPECT_EQ(l.bits, d.bits);
    EXPECT_EQ(l.fourcc, d.fourcc);
    ASSERT_EQ(l.size, block.size());
    const size_t palette = 40 + 4 * d.entries;
    if (d.bits == 8) {
      // Grey levels: the palette becomes the ramp, the rows are the file's.
      for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(l.block[40 + 4 * i + 2], i);
      EXPECT_EQ(0, std::memcmp(l.block + palette, block.data.data() + palette, block.size() - palette));
      EXPECT_EQ(TestHost::Get().applied, 0) << "never for 8-bit grey";
    } else {
      EXPECT_EQ(0, std::memcmp(l.block, block.data.data(), block.size()));
      // Colour rows go through the host's transform exactly once, with the image already loaded.
      EXPECT_EQ(TestHost::Get().applied, 1);
      EXPECT_EQ(TestHost::Get().appliedTo, ImageFace(dib));
      EXPECT_EQ(TestHost::Get().appliedWidth, width);
    }
    // The top row is the file's last.
    EXPECT_EQ(l.top, l.block + palette + (height - 1) * row);
    EXPECT_EQ(l.stride, -static_cast<int32_t>(row));
  }
}

TEST(Load, ReplacesTheImageAndTheColoursUsedCountSetsTheRamp) {
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Create(100, 100, 1, 32, FOURCC_ARGB), PXM_S_OK);
  const Bytes block =
      MakeBlock(InfoHeaderBytes({.width = 3, .height = 2, .bitsPerPixel = 8, .coloursUsed = 16}), 16, 4, 4, 2);
  ASSERT_EQ(Load(dib.Get(), WriteFile("used16.bmp", MakeFile(block).data)), PXM_S_OK);
  uint32_t* table = nullptr;
  uint32_t count = 0;
  ASSERT_EQ(dib.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette)->GetPalette(&table, &count), PXM_S_FALSE);
  EXPECT_EQ(count, 16u);
  EXPECT_EQ(table[15], 0x0F0F0Fu);
  EXPECT_EQ(Inspect(dib.Get()).size, 40u + 64 + 8);
}

// ---------------------------------------------------------------------------------------------
// Files from an independent writer, held against that writer's own decode

struct Fixture {
  const char* name;
  uint32_t headerSize, bits, fourcc;
  bool topDown;
  int transforms;
};

class WriterFixture : public testing::TestWithParam<Fixture> {};

// The colour of pixel (x, y), y counted from the top of the picture as our rows are. Indexed
// pixels look up `palette` (4-byte entries: blue, green, red, 0).
std::array<uint8_t, 3> ColourAt(const Loaded& l, const uint8_t* palette, uint32_t x, uint32_t y) {
  const uint8_t* row = l.top + int64_t{y} * l.stride;
  if (l.bits >= 24) {
    const uint8_t* p = row + x * (l.bits / 8);  // blue, green, red
    return {p[2], p[1], p[0]};
  }
  const uint32_t index = l.bits == 8 ? row[x] : (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF;
  const uint8_t* colour = palette + 4 * index;
  return {colour[2], colour[1], colour[0]};
}

TEST_P(WriterFixture, PixelsMatchTheWritersDecode) {
  const Fixture& f = GetParam();
  const fs::path bmp = FixtureFolder() / (std::string(f.name) + ".bmp");
  const std::vector<uint8_t> file = ReadFile(bmp);
  const std::vector<uint8_t> rgb = ReadFile(FixtureFolder() / (std::string(f.name) + ".rgb"));
  ASSERT_FALSE(file.empty());
  ASSERT_EQ(rgb.size(), 7u * 5 * 3);

  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(Load(dib.Get(), bmp), PXM_S_OK);
  const Loaded l = Inspect(dib.Get());
  EXPECT_EQ(l.width, 7u);
  EXPECT_EQ(l.height, 5u);
  EXPECT_EQ(l.bits, f.bits);
  EXPECT_EQ(l.fourcc, f.fourcc);
  EXPECT_EQ(l.block[0], f.headerSize);
  EXPECT_EQ(TestHost::Get().applied, f.transforms);
  // Our palette in the 4-byte form, except at 8 bits, where it is the grey ramp by now and the
  // file's own 4-byte entries tell the colours.
  uint32_t* table = nullptr;
  dib.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette)->GetPalette(&table, nullptr);
  const uint8_t* palette = f.bits == 8 ? file.data() + 14 + f.headerSize : reinterpret_cast<uint8_t*>(table);
  for (uint32_t y = 0; y < 5; ++y) {
    // Rows stored top-down are taken as bottom-up: such a picture comes out upside down.
    const uint32_t decodedRow = f.topDown ? 4 - y : y;
    for (uint32_t x = 0; x < 7; ++x) {
      const uint8_t* want = rgb.data() + (decodedRow * 7 + x) * 3;
      ASSERT_EQ(ColourAt(l, palette, x, y), (std::array<uint8_t, 3>{want[0], want[1], want[2]})) << x << "," << y;
    }
  }
}

void PrintTo(const Fixture& f, std::ostream* os) { *os << f.name; }

INSTANTIATE_TEST_SUITE_P(Files, WriterFixture,
                         testing::Values(Fixture{"core24", 12, 24, 0, false, 1}, Fixture{"core4", 12, 4, 0, false, 1},
                                         Fixture{"info8", 40, 8, FOURCC_MONO, false, 0},
                                         Fixture{"v5", 124, 24, 0, false, 1},
                                         Fixture{"v5alpha32", 124, 32, 0, false, 1},
                                         Fixture{"topdown24", 40, 24, 0, true, 1}),
                         [](const testing::TestParamInfo<Fixture>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// The path

TEST(LoadPath, BackslashesAreSeparators) {
  const Bytes block = MakeBlock(InfoHeaderBytes({.width = 2, .height = 2, .bitsPerPixel = 24}), 0, 4, 8, 2);
  const fs::path file = WriteFile("sub/dir/slashes.bmp", MakeFile(block).data);
  std::wstring backslashed = file.wstring();
  for (wchar_t& c : backslashed)
    if (c == L'/') c = L'\\';
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(Load(dib.Get(), backslashed), PXM_S_OK);
  EXPECT_EQ(TestHost::Get().lastString, file.wstring()) << "the host string holds the path with slashes";
  EXPECT_EQ(Inspect(dib.Get()).width, 2u);
}

TEST(LoadPath, LongerThanAnyFixedBuffer) {
  const std::string folder(120, 'd');
  const Bytes block = MakeBlock(InfoHeaderBytes({.width = 2, .height = 1, .bitsPerPixel = 24}), 0, 4, 8, 1);
  const fs::path file = WriteFile(folder + "/" + folder + "/" + folder + "/long.bmp", MakeFile(block).data);
  ASSERT_GT(file.string().size(), 360u);
  ComPtr<IPXMImageDIB> dib = NewDib();
  EXPECT_EQ(Load(dib.Get(), file), PXM_S_OK);
}

std::string LoadAndCapture(IPXMImageDIB* dib, IString* path, HRESULT* hr) {
  testing::internal::CaptureStdout();
  *hr = dib->Load(path);
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

TEST(LoadPath, OpenFailuresPrintOneLine) {
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Create(3, 3, 1, 24, 0), PXM_S_OK);
  uint8_t* before = Inspect(dib.Get()).block;
  HRESULT hr = 0;

  const fs::path missing = ScratchFolder() / "missing.bmp";
  EXPECT_EQ(LoadAndCapture(dib.Get(), HostText(missing.wstring()).Get(), &hr),
            "CPXMImageDIB::Load fopen error " + missing.string() + "\n");
  EXPECT_EQ(hr, PXM_E_FAIL);

  EXPECT_EQ(LoadAndCapture(dib.Get(), nullptr, &hr), "CPXMImageDIB::Load fopen error \n");
  EXPECT_EQ(hr, PXM_E_FAIL);

  // A character the locale cannot convert: no file is opened.
  std::setlocale(LC_ALL, "C");
  const std::wstring foreign = (ScratchFolder() / "caf").wstring() + L"\u00E9.bmp";
  const std::string line = LoadAndCapture(dib.Get(), HostText(foreign).Get(), &hr);
  EXPECT_EQ(line.rfind("CPXMImageDIB::Load fopen error ", 0), 0u) << line;
  EXPECT_EQ(hr, PXM_E_FAIL);

  EXPECT_EQ(Inspect(dib.Get()).block, before);
}

// ---------------------------------------------------------------------------------------------
// A folder of broken files, each with its pinned result

struct Broken {
  const char* name;
  Bytes file;
  HRESULT result;
  uint32_t blockSize = 0;  // for files that load: the block covers the whole claimed layout
};

Bytes Info(InfoHeader h, uint32_t entries, uint32_t rowBytesStored, uint32_t rowsStored) {
  return MakeBlock(InfoHeaderBytes(h), entries, 4, rowBytesStored, rowsStored);
}
Bytes Cut(Bytes b, size_t keep) {
  b.data.resize(keep);
  return b;
}
Bytes WithHeaderSize(uint32_t size) {
  Bytes b = MakeFile(Info({.width = 2, .height = 2}, 0, 8, 2));
  for (int k = 0; k < 4; ++k) b.data[14 + k] = static_cast<uint8_t>(size >> 8 * k);
  return b;
}
Bytes Raw(std::initializer_list<uint8_t> bytes) { return Bytes{std::vector<uint8_t>(bytes)}; }

std::vector<Broken> BrokenFiles() {
  const Bytes good24 = MakeFile(Info({.width = 5, .height = 3, .bitsPerPixel = 24}, 0, 16, 3));
  const Bytes maskedFile = [] {
    // 32 bits with bit fields: three masks follow the 40-byte header; rows are read right after
    // the header all the same, so they come out displaced by the masks.
    Bytes b = InfoHeaderBytes({.width = 2, .height = 2, .bitsPerPixel = 32, .compression = 3});
    b.U32(0x00FF0000).U32(0x0000FF00).U32(0x000000FF);
    return MakeFile(b.Fill(16, 0x44), 66);
  }();
  // A claim at exactly twice the file plus 64 KiB loads; one row byte more is refused.
  const auto atLimit = [](uint32_t extra) {
    const uint32_t width = 65608 + extra;  // 8 bits, one entry, one row that the file leaves out
    return MakeFile(Info({.width = width, .height = 1, .bitsPerPixel = 8, .coloursUsed = 1}, 1, 0, 0));
  };
  return {
      {"empty", Raw({}), PXM_E_INVALIDARG},
      {"thirteenBytes", Raw({'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), PXM_E_INVALIDARG},
      {"fileHeaderOnly", Raw({'B', 'M', 14, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}), PXM_E_INVALIDARG},
      {"signatureMB", [&] { Bytes b = good24; std::swap(b.data[0], b.data[1]); return b; }(), PXM_E_INVALIDARG},
      {"signatureLowerCase", [&] { Bytes b = good24; b.data[0] = 'b'; return b; }(), PXM_E_INVALIDARG},
      {"headerSize0", WithHeaderSize(0), PXM_E_INVALIDARG},
      {"headerSize1", WithHeaderSize(1), PXM_E_INVALIDARG},
      {"headerSize41", WithHeaderSize(41), PXM_E_INVALIDARG},
      {"headerSizeAllOnes", WithHeaderSize(0xFFFFFFFF), PXM_E_INVALIDARG},
      {"headerSizeCutShort", Raw({'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0}), PXM_E_INVALIDARG},
      {"widthFarBeyondFile", MakeFile(Info({.width = 0x7FFFFFFF, .height = 1, .bitsPerPixel = 24}, 0, 0, 0)),
       PXM_E_INVALIDARG},
      {"heightFarBeyondFile", MakeFile(Info({.width = 4, .height = 1 << 30, .bitsPerPixel = 24}, 0, 12, 1)),
       PXM_E_INVALIDARG},
      {"heightMostNegative", MakeFile(Info({.width = 4, .height = INT32_MIN, .bitsPerPixel = 8}, 256, 4, 1)),
       PXM_E_INVALIDARG},
      {"bothFarBeyondFile", MakeFile(Info({.width = 0xFFFFFFFF, .height = -0x7FFFFFFF, .bitsPerPixel = 32}, 0, 0, 0)),
       PXM_E_INVALIDARG},
      {"coreSizeBeyondFile", MakeFile(MakeBlock(CoreHeaderBytes(65535, 65535, 24), 0, 3, 0, 0)), PXM_E_INVALIDARG},
      {"claimOneBeyondLimit", atLimit(4), PXM_E_INVALIDARG},
      // Files that load: the block covers the claimed layout, what the file lacks reads as 0.
      {"claimAtLimit", atLimit(0), PXM_S_OK, 40 + 4 + 65608},
      {"coloursUsedAllOnes",
       MakeFile(Info({.width = 4, .height = 2, .bitsPerPixel = 8, .coloursUsed = 0xFFFFFFFF}, 256, 4, 2)), PXM_S_OK,
       40 + 1024 + 8},
      {"cutInsideThePalette", Cut(MakeFile(Info({.width = 4, .height = 2, .bitsPerPixel = 8}, 256, 4, 2)), 14 + 40 + 37),
       PXM_S_OK, 40 + 1024 + 8},
      {"cutInsideTheRows", Cut(good24, good24.size() - 7), PXM_S_OK, 40 + 48},
      {"cutInsideTheHeader", Cut(good24, 14 + 17), PXM_S_OK, 40 + 48},
      {"fewerEntriesAtFourBits", MakeFile(Info({.width = 3, .height = 2, .bitsPerPixel = 4}, 2, 4, 2)), PXM_S_OK,
       40 + 64 + 8},
      {"bitFieldMasks", maskedFile, PXM_S_OK, 40 + 16},
      {"gapBeforeTheRows", MakeFile(MakeBlock(InfoHeaderBytes({.width = 2, .height = 2}).Fill(20, 0xCC), 0, 4, 8, 2),
                                    14 + 40 + 20),
       PXM_S_OK, 40 + 16},
      {"compressedTakenAsIs", MakeFile(Info({.width = 4, .height = 2, .bitsPerPixel = 8, .compression = 1}, 256, 4, 1)),
       PXM_S_OK, 40 + 1024 + 8},
  };
}

class BrokenFile : public testing::TestWithParam<Broken> {};

TEST_P(BrokenFile, PinnedResultAndNothingOutsideABuffer) {
  const Broken& b = GetParam();
  const fs::path path = WriteFile(std::string("broken/") + b.name + ".bmp", b.file.data);
  ComPtr<IPXMImageDIB> dib = NewDib();
  ASSERT_EQ(dib->Create(6, 4, 1, 32, FOURCC_ARGB), PXM_S_OK);
  const Loaded before = Inspect(dib.Get());

  EXPECT_EQ(Load(dib.Get(), path), b.result);
  const Loaded after = Inspect(dib.Get());
  if (PXM_FAILED(b.result)) {
    EXPECT_EQ(after.block, before.block) << "the previous image stays";
    EXPECT_EQ(after.width, 6u);
    EXPECT_EQ(after.bits, 32u);
    EXPECT_EQ(after.fourcc, FOURCC_ARGB);
    EXPECT_EQ(TestHost::Get().applied, 0);
    return;
  }
  ASSERT_NE(after.block, before.block);
  EXPECT_EQ(after.size, b.blockSize);
  // What the file holds comes first, byte for byte (the 8-bit palette is the grey ramp by now);
  // whatever it lacks is zero. The sanitizer build checks that every byte here is ours to read.
  const size_t inFile = b.file.size() - 14;
  uint32_t entries = 0;
  dib.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette)->GetPalette(nullptr, &entries);
  const size_t paletteEnd = 40 + 4 * size_t{entries};
  for (size_t i = 0; i < after.size; ++i) {
    if (after.bits == 8 && i >= 40 && i < paletteEnd) continue;
    ASSERT_EQ(after.block[i], i < inFile ? b.file.data[14 + i] : 0) << "byte " << i;
  }
  // Every row can be read and written where GetImage puts it.
  for (uint32_t y = 0; y < after.height; ++y) {
    uint8_t* row = after.top + int64_t{y} * after.stride;
    std::memset(row, row[0], -after.stride);
  }
}

void PrintTo(const Broken& b, std::ostream* os) { *os << b.name; }

INSTANTIATE_TEST_SUITE_P(Folder, BrokenFile, testing::ValuesIn(BrokenFiles()),
                         [](const testing::TestParamInfo<Broken>& info) { return std::string(info.param.name); });

}  // namespace
