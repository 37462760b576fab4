// Drawing a DIB into a canvas of the module: every depth 1:1, scaled, cut by source rectangles and
// fitted, in flipped and unflipped coordinates; files made by an independent writer against that
// writer's decode; blocks without a palette; reference counts; a canvas copy drawn like the DIB.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "RenderTestSupport.h"

namespace {

constexpr uint32_t kBackground = Rgbx(9, 99, 199);

// A DIB at one depth: how a pattern value v is stored at pixel x of a row, and the colour it is
// drawn in over `background`.
struct DepthCase {
  const char* name;
  uint32_t bitsPerPixel, fourcc;
  std::vector<uint32_t> palette;  // 0x00RRGGBB, as SetPalette takes them; empty: the grey ramp
  void (*put)(uint8_t* row, uint32_t x, uint32_t v);
  uint32_t (*colour)(const DepthCase& c, uint32_t v, uint32_t background);
};

uint32_t FromPalette(const DepthCase& c, uint32_t index) {
  const uint32_t e = c.palette[index];
  return Rgbx(uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e));
}
uint8_t Blend(uint32_t s, uint32_t d, uint32_t a) { return uint8_t((s * a + d * (255 - a) + 127) / 255); }
uint8_t Widen5(uint32_t v) { return uint8_t(v << 3 | v >> 2); }
constexpr uint8_t kAlphas[] = {0, 255, 128, 77};

std::vector<uint32_t> Palette(uint32_t count, uint32_t seed) {
  std::vector<uint32_t> p(count);
  for (uint32_t i = 0; i < count; ++i) p[i] = (i * 2654435761u + seed) & 0x00FFFFFF;
  return p;
}

const DepthCase kDepths[] = {
    {"Bits1", 1, FOURCC_RGB, Palette(2, 11),
     [](uint8_t* row, uint32_t x, uint32_t v) { row[x / 8] = uint8_t((row[x / 8] & ~(0x80 >> x % 8)) | (v & 1) << (7 - x % 8)); },
     [](const DepthCase& c, uint32_t v, uint32_t) { return FromPalette(c, v & 1); }},
    {"Bits4", 4, FOURCC_RGB, Palette(16, 22),
     [](uint8_t* row, uint32_t x, uint32_t v) {
       const uint32_t shift = x % 2 ? 0 : 4;
       row[x / 2] = uint8_t((row[x / 2] & ~(0xF << shift)) | (v & 0xF) << shift);
     },
     [](const DepthCase& c, uint32_t v, uint32_t) { return FromPalette(c, v & 0xF); }},
    {"Bits8Palette", 8, FOURCC_RGB, Palette(256, 33), [](uint8_t* row, uint32_t x, uint32_t v) { row[x] = uint8_t(v); },
     [](const DepthCase& c, uint32_t v, uint32_t) { return FromPalette(c, v & 0xFF); }},
    {"Bits8Grey", 8, FOURCC_MONO, {}, [](uint8_t* row, uint32_t x, uint32_t v) { row[x] = uint8_t(v); },
     [](const DepthCase&, uint32_t v, uint32_t) { return Rgbx(uint8_t(v), uint8_t(v), uint8_t(v)); }},
    {"Bits16", 16, FOURCC_RGB, {},
     [](uint8_t* row, uint32_t x, uint32_t v) {
       row[2 * x] = uint8_t(v);
       row[2 * x + 1] = uint8_t(v >> 8 & 0x7F);
     },
     [](const DepthCase&, uint32_t v, uint32_t) { return Rgbx(Widen5(v >> 10 & 31), Widen5(v >> 5 & 31), Widen5(v & 31)); }},
    {"Bits24", 24, FOURCC_RGB, {},
     [](uint8_t* row, uint32_t x, uint32_t v) {
       row[3 * x] = uint8_t(v);
       row[3 * x + 1] = uint8_t(v >> 8);
       row[3 * x + 2] = uint8_t(v >> 16);
     },
     [](const DepthCase&, uint32_t v, uint32_t) { return Rgbx(uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)); }},
    {"Bits32Skipped", 32, FOURCC_RGB, {}, [](uint8_t* row, uint32_t x, uint32_t v) { std::memcpy(row + 4 * x, &v, 4); },
     [](const DepthCase&, uint32_t v, uint32_t) { return v & kRgbMask; }},
    {"Bits32Alpha", 32, FOURCC_ARGB, {},
     [](uint8_t* row, uint32_t x, uint32_t v) {
       const uint32_t pixel = (v & kRgbMask) | uint32_t{kAlphas[v >> 24 & 3]} << 24;
       std::memcpy(row + 4 * x, &pixel, 4);
     },
     [](const DepthCase&, uint32_t v, uint32_t d) {
       const uint32_t a = kAlphas[v >> 24 & 3];
       return Rgbx(Blend(v & 0xFF, d & 0xFF, a), Blend(v >> 8 & 0xFF, d >> 8 & 0xFF, a), Blend(v >> 16 & 0xFF, d >> 16 & 0xFF, a));
     }},
};

void PrintTo(const DepthCase& c, std::ostream* os) { *os << c.name; }

// The pattern value of picture pixel (x, y), y from the top.
uint32_t Value(uint32_t x, uint32_t y) { return (x * 2654435761u) ^ (y * 0x9E3779B9u) ^ (x * y * 40503u); }

// A DIB of the depth whose picture pixel (x, y) holds value(x, y).
template <class Pattern>
ComPtr<IPXMImageDIB> MakeDib(const DepthCase& c, uint32_t w, uint32_t h, Pattern value) {
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  EXPECT_EQ(dib->Create(w, h, 1, c.bitsPerPixel, c.fourcc), PXM_S_OK);
  if (!c.palette.empty()) {
    std::vector<uint32_t> palette = c.palette;
    Query<IPXMImagePalette>(dib.Get(), pxm::iid::IPXMImagePalette)
        ->SetPalette(palette.data(), static_cast<uint32_t>(palette.size()), 0);
  }
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) c.put(ImageRow(dib.Get(), y), x, value(x, y));
  return dib;
}

HRESULT Draw(IPXMImageDIB* dib, CGContextRef context, CANVASRect destination, CANVASRect* source = nullptr) {
  return Query<IPXMImageRender>(dib, pxm::iid::IPXMImageRender)->Render(context, &destination, source);
}
HRESULT Fit(IPXMImageDIB* dib, CGContextRef context, CANVASRect destination, int flags = FitToRect) {
  return Query<IRenderableObject>(dib, pxm::iid::IRenderableObject)->Render(context, &destination, nullptr, flags);
}

// Whether the target shows, at `at`, the picture part `part` of the DIB drawn 1:1 (picture
// pixel (part.x + u, part.y + v) at (at.x + u, at.y + v)) with the background everywhere else.
::testing::AssertionResult Shows(const Surface& target, const DepthCase& c, CANVASRect part, CANVASRect at) {
  for (uint32_t y = 0; y < target.height; ++y)
    for (uint32_t x = 0; x < target.width; ++x) {
      const int32_t u = int32_t(x) - at.x, v = int32_t(y) - at.y;
      const bool inside = u >= 0 && u < at.width && v >= 0 && v < at.height;
      const uint32_t expected =
          inside ? c.colour(c, Value(uint32_t(part.x + u), uint32_t(part.y + v)), kBackground) : kBackground;
      if (target.At(x, y) != expected)
        return ::testing::AssertionFailure() << "at " << x << "," << y << ": " << std::hex << target.At(x, y)
                                             << " instead of " << expected;
    }
  return ::testing::AssertionSuccess();
}

class DibRenderDepth : public testing::TestWithParam<std::tuple<DepthCase, Coordinates>> {};

// 1:1 the pixel at (x, y) of user space is picture pixel (x, y): upright in flipped coordinates,
// upside down in unflipped ones. The image's reference count is back where it was.
TEST_P(DibRenderDepth, DrawsEveryPixelOneToOne) {
  const auto& [c, coordinates] = GetParam();
  ComPtr<IPXMImageDIB> dib = MakeDib(c, 13, 5, Value);
  Surface target(16, 8, coordinates, kBackground);
  ASSERT_EQ(Draw(dib.Get(), target.context, {2, 1, 13, 5}), PXM_S_OK);
  EXPECT_TRUE(Shows(target, c, {0, 0, 13, 5}, {2, 1, 13, 5}));
  EXPECT_EQ(RefCount(dib.Get()), 1u);
}

// Exactly 2× and ½: pictures made of 2 × 2 blocks, so that the sampling inside a block does not
// matter.
TEST_P(DibRenderDepth, ScalesExactly) {
  const auto& [c, coordinates] = GetParam();
  const auto block = [](uint32_t x, uint32_t y) { return Value(x / 2, y / 2); };
  {
    ComPtr<IPXMImageDIB> dib = MakeDib(c, 5, 3, Value);
    Surface target(12, 7, coordinates, kBackground);
    ASSERT_EQ(Draw(dib.Get(), target.context, {1, 0, 10, 6}), PXM_S_OK);
    for (uint32_t y = 0; y < 7; ++y)
      for (uint32_t x = 0; x < 12; ++x) {
        const bool inside = x >= 1 && x < 11 && y < 6;
        ASSERT_EQ(target.At(x, y), inside ? c.colour(c, Value((x - 1) / 2, y / 2), kBackground) : kBackground)
            << "2x at " << x << "," << y;
      }
  }
  {
    ComPtr<IPXMImageDIB> dib = MakeDib(c, 10, 6, block);
    Surface target(7, 4, coordinates, kBackground);
    ASSERT_EQ(Draw(dib.Get(), target.context, {2, 1, 5, 3}), PXM_S_OK);
    EXPECT_TRUE(Shows(target, c, {0, 0, 5, 3}, {2, 1, 5, 3})) << "half size";
  }
}

// A source rectangle that covers the picture draws it whole, its position ignored; a smaller one
// cuts that part out (rows from the top), clipped to the picture; one that reaches below the
// picture draws nothing.
TEST_P(DibRenderDepth, CutsSourceRectangles) {
  const auto& [c, coordinates] = GetParam();
  ComPtr<IPXMImageDIB> dib = MakeDib(c, 9, 6, Value);
  struct Case {
    CANVASRect source;
    CANVASRect destination;
    CANVASRect part;  // what shows 1:1 at the destination; width 0: nothing
  };
  for (const Case& k : {Case{{5, 7, 9, 6}, {1, 1, 9, 6}, {0, 0, 9, 6}}, Case{{-3, 2, 20, 30}, {0, 0, 9, 6}, {0, 0, 9, 6}},
                        Case{{0, 0, 9, 5}, {0, 0, 9, 5}, {0, 0, 9, 5}}, Case{{2, 1, 5, 3}, {3, 2, 5, 3}, {2, 1, 5, 3}},
                        Case{{6, 4, 3, 2}, {0, 0, 3, 2}, {6, 4, 3, 2}}, Case{{0, 5, 4, 2}, {0, 0, 4, 2}, {0, 0, 0, 0}},
                        Case{{0, 0, 0, 6}, {0, 0, 9, 6}, {0, 0, 0, 0}}, Case{{0, 0, 9, -1}, {0, 0, 9, 6}, {0, 0, 0, 0}},
                        Case{{20, 0, 4, 4}, {0, 0, 4, 4}, {0, 0, 0, 0}}}) {
    SCOPED_TRACE(testing::Message() << "source " << k.source.x << "," << k.source.y << "," << k.source.width << ","
                                    << k.source.height);
    Surface target(11, 8, coordinates, kBackground);
    CANVASRect source = k.source;
    ASSERT_EQ(Draw(dib.Get(), target.context, k.destination, &source), PXM_S_OK);
    const CANVASRect at = k.part.width ? k.destination : CANVASRect{0, 0, 0, 0};
    EXPECT_TRUE(Shows(target, c, k.part, at));
    EXPECT_EQ(RefCount(dib.Get()), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, DibRenderDepth,
                         testing::Combine(testing::ValuesIn(kDepths),
                                          testing::Values(Coordinates::Flipped, Coordinates::Unflipped)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" + Name(std::get<1>(info.param));
                         });

const DepthCase& Depth(const char* name) {
  for (const DepthCase& c : kDepths)
    if (std::string(c.name) == name) return c;
  return kDepths[0];
}

// In flipped coordinates, the coordinates of the module's hosts, the picture is upright: the
// target's top row in memory holds the picture's top row. Unflipped, it holds the bottom row.
TEST(DibRender, UprightInFlippedCoordinatesUpsideDownInUnflippedOnes) {
  const DepthCase& c = Depth("Bits24");
  ComPtr<IPXMImageDIB> dib = MakeDib(c, 3, 4, Value);
  for (Coordinates coordinates : {Coordinates::Flipped, Coordinates::Unflipped}) {
    Surface target(3, 4, coordinates, kBackground);
    ASSERT_EQ(Draw(dib.Get(), target.context, {0, 0, 3, 4}), PXM_S_OK);
    const uint32_t pictureRow = coordinates == Coordinates::Flipped ? 0 : 3;
    for (uint32_t x = 0; x < 3; ++x)
      EXPECT_EQ(LoadPixel(target.BufferRow(0) + 4 * x) & kRgbMask, c.colour(c, Value(x, pictureRow), 0)) << Name(coordinates);
  }
}

// Fitting keeps the aspect ratio and centres the picture on the destination, whatever the sign
// of its size and wherever its centre lies; without the flag the picture is stretched.
TEST(DibRender, FitsIntoTheRectangle) {
  const DepthCase& c = Depth("Bits24");
  const auto block = [](uint32_t x, uint32_t y) { return Value(x / 2, y / 2); };
  ComPtr<IPXMImageDIB> dib = MakeDib(c, 8, 4, block);  // drawn at half size: 4 × 2 blocks
  struct Case {
    CANVASRect destination;
    int flags;
    CANVASRect drawn;  // in the target's flipped coordinates after its own translation
  };
  for (const Case& k : {Case{{0, 0, 4, 4}, FitToRect, {0, 1, 4, 2}}, Case{{0, 0, 8, 2}, FitToRect, {2, 0, 4, 2}},
                        Case{{12, 2, -4, 2}, FitToRect, {12, 2, 4, 2}}, Case{{-14, -8, 4, 4}, FitToRect, {-14, -7, 4, 2}},
                        Case{{-2, -3, 4, 2}, 0, {-2, -3, 4, 2}}, Case{{-2, -3, 4, 2}, ~FitToRect, {-2, -3, 4, 2}}}) {
    SCOPED_TRACE(testing::Message() << k.destination.x << "," << k.destination.y << "," << k.destination.width << ","
                                    << k.destination.height << " flags " << k.flags);
    Surface target(40, 20, Coordinates::Flipped, kBackground);
    CGContextTranslateCTM(target.context, 20, 10);  // user (-20, -10) is the top left pixel
    ASSERT_EQ(Fit(dib.Get(), target.context, k.destination, k.flags), PXM_S_OK);
    EXPECT_TRUE(Shows(target, c, {0, 0, 4, 2}, {k.drawn.x + 20, k.drawn.y + 10, 4, 2}));
  }
}

TEST(DibRender, ResultCodesAndEmptyImages) {
  Surface target(4, 4, Coordinates::Flipped, kBackground);
  CANVASRect rect{0, 0, 4, 4};
  ComPtr<IPXMImageDIB> empty = ModuleHost::Get().CreateDIB();
  EXPECT_EQ(Draw(empty.Get(), target.context, rect), PXM_S_OK);
  EXPECT_EQ(Fit(empty.Get(), target.context, rect), PXM_S_OK);
  ComPtr<IPXMImageDIB> dib = MakeDib(Depth("Bits24"), 4, 4, Value);
  ComPtr<IPXMImageRender> render = dib.As<IPXMImageRender>(pxm::iid::IPXMImageRender);
  EXPECT_EQ(render->Render(target.context, nullptr, nullptr), PXM_E_POINTER);
  EXPECT_EQ(render->Render(nullptr, &rect, nullptr), PXM_E_POINTER);
  EXPECT_EQ(dib.As<IRenderableObject>(pxm::iid::IRenderableObject)->Render(target.context, nullptr, nullptr, 0),
            PXM_E_POINTER);
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(target.At(x, y), kBackground);
  render.Reset();
  EXPECT_EQ(RefCount(dib.Get()), 1u);
}

// Little-endian bytes of a block under construction.
struct Block {
  std::vector<uint8_t> bytes;
  Block& U16(uint32_t v) {
    bytes.push_back(uint8_t(v));
    bytes.push_back(uint8_t(v >> 8));
    return *this;
  }
  Block& U32(uint32_t v) { return U16(v).U16(v >> 16); }
};
// A 40-byte information header of a bottom-up block.
Block InfoHeader(uint32_t width, uint32_t height, uint32_t bits, uint32_t coloursUsed) {
  Block b;
  b.U32(40).U32(width).U32(height).U16(1).U16(bits).U32(0).U32(0).U32(0).U32(0).U32(coloursUsed).U32(0);
  return b;
}

// A caller's block of exactly header, palette and rows, in a heap allocation of its own size:
// under AddressSanitizer any read past the rows is caught.
TEST(DibRender, ReadsNoFurtherThanTheRowsOfACallersBlock) {
  struct Case {
    uint32_t bits, entries, stride;
    bool drawn;
  };
  // 2 bits: a depth without palette entries, so no palette area: nothing is drawn.
  for (const Case& k : {Case{24, 0, 16, true}, Case{1, 2, 4, true}, Case{4, 16, 4, true}, Case{8, 4, 8, true},
                        Case{2, 0, 4, false}}) {
    SCOPED_TRACE(testing::Message() << k.bits << " bits");
    Block header = InfoHeader(5, 3, k.bits, k.bits == 8 ? k.entries : 0);
    std::vector<uint8_t> block = header.bytes;
    for (uint32_t i = 0; i < k.entries; ++i) block.insert(block.end(), {uint8_t(40 * i), 0x80, uint8_t(255 - 40 * i), 0});
    for (uint32_t i = 0; i < 3 * k.stride; ++i) block.push_back(uint8_t(i * 37 % (k.bits == 8 ? 4 : 256)));
    std::unique_ptr<uint8_t[]> exact(new uint8_t[block.size()]);
    std::memcpy(exact.get(), block.data(), block.size());

    ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
    ASSERT_EQ(dib->CreateOnDIB(exact.get(), nullptr, 0), PXM_S_OK);
    Surface target(5, 3, Coordinates::Flipped, kBackground);
    ASSERT_EQ(Draw(dib.Get(), target.context, {0, 0, 5, 3}), PXM_S_OK);
    EXPECT_EQ(target.At(4, 2) != kBackground, k.drawn);
    EXPECT_EQ(RefCount(dib.Get()), 1u);
  }
}

// A canvas that copied a DIB draws as the DIB does: upright in flipped coordinates.
TEST(DibRender, CanvasCopyDrawsLikeTheDib) {
  for (const char* name : {"Bits8Palette", "Bits24", "Bits32Skipped"}) {
    SCOPED_TRACE(name);
    const DepthCase& c = Depth(name);
    ComPtr<IPXMImageDIB> dib = MakeDib(c, 7, 4, Value);
    ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
    ASSERT_EQ(canvas->Copy(dib.Get(), 0), PXM_S_OK);
    Surface fromDib(7, 4, Coordinates::Flipped, kBackground), fromCanvas(7, 4, Coordinates::Flipped, kBackground);
    CANVASRect rect{0, 0, 7, 4};
    ASSERT_EQ(Draw(dib.Get(), fromDib.context, rect), PXM_S_OK);
    ASSERT_EQ(Query<IPXMImageRender>(canvas.Get(), pxm::iid::IPXMImageRender)->Render(fromCanvas.context, &rect, nullptr),
              PXM_S_OK);
    EXPECT_TRUE(Shows(fromCanvas, c, {0, 0, 7, 4}, {0, 0, 7, 4}));
    for (uint32_t y = 0; y < 4; ++y)
      for (uint32_t x = 0; x < 7; ++x) EXPECT_EQ(fromCanvas.At(x, y), fromDib.At(x, y)) << x << "," << y;
  }
}

// ---------------------------------------------------------------------------------------------
// Files from an independent writer (see fixtures/README.md), loaded and drawn 1:1 in flipped
// coordinates, against the writer's own decode: red, green, blue bytes, top row first.

std::filesystem::path FixtureFolder() { return std::filesystem::path(__FILE__).parent_path() / "fixtures"; }

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A path as a host hands it to Load.
class PathString final : public IString {
 public:
  explicit PathString(const std::wstring& text) : m_Text(text) {}
  HRESULT QueryInterface(const IID&, void** out) override {
    *out = nullptr;
    return PXM_E_NOINTERFACE;
  }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  HRESULT GetText(const wchar_t** text, uint32_t* length) override {
    *text = m_Text.c_str();
    *length = static_cast<uint32_t>(m_Text.size());
    return PXM_S_OK;
  }

 private:
  std::wstring m_Text;
};

struct Fixture {
  const char* name;
  bool upsideDown;  // rows stored top-down are taken as bottom-up
};
void PrintTo(const Fixture& f, std::ostream* os) { *os << f.name; }

class DibRenderFixture : public testing::TestWithParam<Fixture> {};

TEST_P(DibRenderFixture, DrawsTheWritersDecode) {
  const Fixture& f = GetParam();
  const std::filesystem::path bmp = FixtureFolder() / (std::string(f.name) + ".bmp");
  const std::vector<uint8_t> rgb = ReadBytes(FixtureFolder() / (std::string(f.name) + ".rgb"));
  ASSERT_EQ(rgb.size(), 7u * 5 * 3);
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  const std::string narrow = bmp.string();
  PathString path(std::wstring(narrow.begin(), narrow.end()));
  ASSERT_EQ(dib->Load(&path), PXM_S_OK);

  Surface target(7, 5, Coordinates::Flipped, kBackground);
  ASSERT_EQ(Draw(dib.Get(), target.context, {0, 0, 7, 5}), PXM_S_OK);
  for (uint32_t y = 0; y < 5; ++y)
    for (uint32_t x = 0; x < 7; ++x) {
      const uint8_t* want = rgb.data() + ((f.upsideDown ? 4 - y : y) * 7 + x) * 3;
      ASSERT_EQ(target.At(x, y), Rgbx(want[0], want[1], want[2])) << x << "," << y;
    }
  EXPECT_EQ(RefCount(dib.Get()), 1u);
}

INSTANTIATE_TEST_SUITE_P(Files, DibRenderFixture,
                         testing::Values(Fixture{"core24", false}, Fixture{"core4", false}, Fixture{"v5", false},
                                         Fixture{"v5alpha32", false}, Fixture{"topdown24", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// An 8-bit block attached from a file takes the grey ramp over its palette ("MONO"): its indices
// are drawn as grey levels.
TEST(DibRender, EightBitFileDrawsItsIndicesAsGrey) {
  const std::filesystem::path bmp = FixtureFolder() / "info8.bmp";
  const std::vector<uint8_t> file = ReadBytes(bmp);
  ASSERT_GT(file.size(), 14u + 40 + 5 * 8);
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  const std::string narrow = bmp.string();
  PathString path(std::wstring(narrow.begin(), narrow.end()));
  ASSERT_EQ(dib->Load(&path), PXM_S_OK);
  Surface target(7, 5, Coordinates::Flipped, kBackground);
  ASSERT_EQ(Draw(dib.Get(), target.context, {0, 0, 7, 5}), PXM_S_OK);
  const uint8_t* rows = file.data() + (file[10] | file[11] << 8);  // the file's pixel-data offset
  for (uint32_t y = 0; y < 5; ++y)
    for (uint32_t x = 0; x < 7; ++x) {
      const uint8_t index = rows[(4 - y) * 8 + x];  // stored bottom-up, 8 bytes a row
      ASSERT_EQ(target.At(x, y), Rgbx(index, index, index)) << x << "," << y;
    }
}

}  // namespace
