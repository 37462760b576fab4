// The raster image as a host meets it: its planes' layout, Create's refusals, Copy from images of
// any depth, row direction and padding (colour split into planes or averaged); Equal on every class.
#include <gtest/gtest.h>

#include "ModuleHost.h"
#include "TestImage.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Shape = TestImage::Shape;

struct Size { uint32_t width, height, planes, bits; bool operator==(const Size&) const = default; };
Size SizeOf(IPXMImage* image) {
  const view::Described d = view::Probe(image);
  EXPECT_EQ((std::pair{d.fourcc, d.bytes}), (std::pair{FOURCC_MONO, 1u}));
  return Size{d.width, d.height, d.planes, d.bits};
}
ComPtr<IPXMImage> Raster(Size s = {}) {
  ComPtr<IPXMImage> image = ModuleHost::Get().CreateRaster();
  EXPECT_EQ(s.planes ? image->Create(s.width, s.height, s.planes, s.bits, FOURCC_MONO) : PXM_S_OK, PXM_S_OK);
  return image;
}
Bytes Row(IPXMImage* image, uint32_t plane, uint32_t y) {  // all of its stride; raster rows are top-down
  const view::Probe p(image, plane);
  EXPECT_TRUE(p.result == PXM_S_OK && p.stride >= 0) << p.stride;
  return Bytes(p.Row(y), p.Row(y + 1));
}
void Fill(IPXMImage* image, uint8_t value) {
  for (uint32_t p = 0; p < SizeOf(image).planes; ++p) std::memset(view::Probe(image, p).data, value, view::Probe(image, p).size);
}

// Each request made of an image of two painted 5 x 3 planes. Refusals are found before anything is
// released, the old planes kept: colour, other depths, sizes beyond 32-bit planes or a signed stride.
TEST(RasterImage, CreateGivesPlanesOfTheRowLayoutOrKeepsTheOldOnes) {
  const struct { uint32_t width, height, planes, bits, fourcc; HRESULT result; uint32_t madePlanes = 0, madeBits = 0, stride = 0; } cases[] = {
      {5, 3, 1, 8, FOURCC_MONO, PXM_S_OK, 1, 8, 8}, {4, 2, 1, 8, FOURCC_MONO, PXM_S_OK, 1, 8, 4}, {7, 2, 3, 8, FOURCC_MONO, PXM_S_OK, 3, 8, 8},
      {5, 3, 2, 16, FOURCC_MONO, PXM_S_OK, 2, 32, 20}, {0, 7, 1, 8, FOURCC_MONO, PXM_S_OK, 1, 8, 0}, {6, 0, 1, 8, FOURCC_MONO, PXM_S_OK, 1, 8, 8},
      {5, 3, 0, 8, FOURCC_MONO, PXM_S_OK, 0, 0, 0}, {5, 3, 65537, 8, FOURCC_MONO, PXM_S_OK, 1, 8, 8},  // the plane count's low 16 bits
      {0x7FFFFFFC, 0, 1, 8, FOURCC_MONO, PXM_S_OK, 1, 8, 0x7FFFFFFC}, {0x1FFFFFFF, 0, 1, 32, FOURCC_MONO, PXM_S_OK, 1, 32, 0x7FFFFFFC},  // the largest rows
      {5, 3, 1, 24, FOURCC_RGB, PXM_E_NOTCREATABLE}, {5, 3, 1, 24, FOURCC_MONO, PXM_E_NOTCREATABLE}, {32768, 32768, 1, 16, FOURCC_MONO, PXM_E_INVALIDARG},
      {4, 0x40000000, 1, 8, FOURCC_MONO, PXM_E_INVALIDARG}, {0x7FFFFFFD, 0, 1, 8, FOURCC_MONO, PXM_E_INVALIDARG}, {0xFFFFFFFF, 1, 1, 8, FOURCC_MONO, PXM_E_INVALIDARG},
      {0x20000000, 0, 1, 32, FOURCC_MONO, PXM_E_INVALIDARG}, {0x40000000, 1, 1, 32, FOURCC_MONO, PXM_E_INVALIDARG},
  };
  EXPECT_EQ(SizeOf(Raster().Get()), (Size{0, 0, 0, 0}));
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " planes " << c.planes << " at " << c.bits);
    ComPtr<IPXMImage> image = Raster({5, 3, 2, 8});
    Fill(image.Get(), 0x11);
    uint8_t* const kept = view::Probe(image.Get(), 1).data;
    ASSERT_EQ(image->Create(c.width, c.height, c.planes, c.bits, c.fourcc), c.result);
    const bool made = PXM_SUCCEEDED(c.result);
    EXPECT_EQ(SizeOf(image.Get()), made ? (Size{c.madePlanes ? c.width : 0, c.madePlanes ? c.height : 0, c.madePlanes, c.madeBits}) : (Size{5, 3, 2, 8}));
    EXPECT_TRUE(made || (Row(image.Get(), 0, 2) == Bytes(8, 0x11) && Row(image.Get(), 1, 2) == Bytes(8, 0x11) && view::Probe(image.Get(), 1).data == kept));
    for (uint32_t p = 0; made && p < c.madePlanes; ++p) {  // every plane a buffer of its own that the host may write
      const view::Probe plane(image.Get(), p);
      EXPECT_TRUE(plane.result == PXM_S_OK && plane.stride == int32_t(c.stride) && plane.size == c.stride * c.height) << plane.stride << " " << plane.size;
      if (plane.size) std::memset(plane.data, int(p), plane.size);
    }
    for (uint32_t p = 0; made && c.stride && c.height && p < c.madePlanes; ++p) EXPECT_EQ(view::Probe(image.Get(), p).data[0], p);
  }
  ComPtr<IPXMImage> image = Raster({5, 3, 2, 8});
  for (uint32_t bits : {0u, 1u, 4u, 7u, 8u, 9u, 16u, 24u, 32u, 64u})
    EXPECT_EQ(image->IsCreatable(bits, FOURCC_MONO), bits == 8 || bits == 16 || bits == 32 ? PXM_S_OK : PXM_E_NOTCREATABLE) << bits;
  for (uint32_t code : {FOURCC_RGB, FOURCC_ARGB, FOURCC_BGR, FOURCC_ABGR, MakeFOURCC('O', 'N', 'O', 'M')}) EXPECT_EQ(image->IsCreatable(8, code), PXM_E_NOTCREATABLE) << code;
  uint32_t size = 77;
  uint8_t *const before = view::Probe(image.Get(), 0).data, *data = before;
  int32_t stride = -5;  // a plane out of range leaves the out-parameters as they were
  for (uint32_t plane : {2u, 3u, 0xFFFFFFFFu}) EXPECT_TRUE(image->GetImage(plane, &size, &data, &stride) == PXM_E_INVALIDARG && size == 77 && data == before && stride == -5);
  EXPECT_EQ(view::Probe(Raster().Get(), 0).result, PXM_E_INVALIDARG);
  EXPECT_EQ(image->GetImage(0, nullptr, &data, &stride), PXM_E_POINTER);
}

// Row y is the source's row y as far as it goes, then zeros, never the source's padding; planes past
// the copied ones untouched. Colour without a conversion writes nothing: of the source's size the image
// stays; else 24 bits are refused, 32 make one plane of 4-byte samples, 16 three planes.
TEST(RasterCopy, RowsWithinTheSourceRowsAndNoneWithoutAConversion) {
  const Size kEmpty{0, 0, 0, 0};
  // The destination before and after the copy; shortfall and describedBits: a source lying about its planes' size or its depth.
  const struct { Shape source; Size before, after; uint32_t copiedPlanes; HRESULT result = PXM_S_OK; uint32_t shortfall = 0, describedBits = 0; } cases[] = {
      {{5, 3, 8, FOURCC_MONO, 1, false, 0}, kEmpty, {5, 3, 1, 8}, 1}, {{5, 3, 8, FOURCC_MONO, 1, true, 7}, kEmpty, {5, 3, 1, 8}, 1},
      {{6, 2, 32, FOURCC_MONO, 1, true, 2}, kEmpty, {6, 2, 1, 32}, 1}, {{13, 2, 1, FOURCC_MONO, 1, false, 1}, {13, 2, 1, 8}, {13, 2, 1, 8}, 1},  // packed bytes
      {{5, 2, 16, FOURCC_MONO, 1, false, 3}, kEmpty, {5, 2, 1, 32}, 1}, {{5, 2, 8, FOURCC_MONO, 1, true, 5}, {5, 2, 1, 32}, {5, 2, 1, 32}, 1},  // short rows: 2 or 1 source bytes a 4-byte sample
      // Every plane that both have; of another size, re-created with the source's planes and depth.
      {{7, 2, 8, FOURCC_MONO, 3, false, 1}, kEmpty, {7, 2, 3, 8}, 3}, {{7, 2, 8, FOURCC_MONO, 4, true, 0}, {7, 2, 2, 8}, {7, 2, 2, 8}, 2},
      {{4, 2, 8, FOURCC_MONO, 1, false, 0}, {4, 2, 3, 32}, {4, 2, 3, 32}, 1}, {{3, 4, 8, FOURCC_MONO, 2, false, 2}, {9, 9, 1, 32}, {3, 4, 2, 8}, 2},
      {{4, 2, 24, FOURCC_RGB}, {4, 2, 2, 8}, {4, 2, 2, 8}, 0, PXM_E_NOTIMPL}, {{4, 2, 24, FOURCC_RGB}, {4, 2, 1, 32}, {4, 2, 1, 32}, 0, PXM_E_NOTIMPL},
      {{4, 2, 24, FOURCC_RGB}, {4, 3, 1, 8}, {4, 3, 1, 8}, 0, PXM_E_FAIL}, {{4, 2, 32, FOURCC_RGB}, {3, 3, 1, 8}, {4, 2, 1, 32}, 0, PXM_E_NOTIMPL},
      {{4, 2, 16, FOURCC_RGB}, kEmpty, {4, 2, 3, 8}, 0}, {{4, 2, 16, FOURCC_RGB}, {4, 2, 3, 8}, {4, 2, 3, 8}, 0},
      // Planes too small for their rows, or strides shorter than a row: refused, nothing written.
      {{5, 3, 8, FOURCC_MONO, 1, true}, {5, 3, 1, 8}, {5, 3, 1, 8}, 0, PXM_E_INVALIDARG, 1}, {{5, 3, 8, FOURCC_MONO, 2}, {5, 3, 1, 8}, {5, 3, 1, 8}, 0, PXM_E_INVALIDARG, 1},
      {{4, 2, 24, FOURCC_RGB}, {5, 3, 1, 8}, {5, 3, 1, 8}, 0, PXM_E_INVALIDARG, 1},
      {{4, 2, 8, FOURCC_MONO}, {5, 3, 1, 8}, {5, 3, 1, 8}, 0, PXM_E_INVALIDARG, 0, 32}, {{4, 2, 8, FOURCC_RGB, 1, true}, {5, 3, 1, 8}, {5, 3, 1, 8}, 0, PXM_E_INVALIDARG, 0, 24},
      // Colour of 3 or 4 bytes a pixel: three planes take bytes 0, 1 and 2, one plane their mean; rows streamed past the cache.
      {{33, 3, 24, FOURCC_BGR, 1, false, 3}, {33, 3, 3, 8}, {33, 3, 3, 8}, 0}, {{33, 3, 24, FOURCC_RGB, 1, true, 3}, {33, 3, 1, 8}, {33, 3, 1, 8}, 0},
      {{33, 3, 32, FOURCC_ABGR, 1, false, 3}, {33, 3, 1, 8}, {33, 3, 1, 8}, 0}, {{33, 3, 32, FOURCC_ARGB, 1, true, 3}, {33, 3, 3, 8}, {33, 3, 3, 8}, 0},
      {{1601, 2100, 24, FOURCC_BGR, 1, false, 3}, {1601, 2100, 1, 8}, {1601, 2100, 1, 8}, 0}, {{1601, 2100, 24, FOURCC_RGB, 1, true, 3}, {1601, 2100, 3, 8}, {1601, 2100, 3, 8}, 0},
      {{1601, 2100, 32, FOURCC_ABGR, 1, false, 3}, {1601, 2100, 3, 8}, {1601, 2100, 3, 8}, 0}, {{1601, 2100, 32, FOURCC_ARGB, 1, true, 3}, {1601, 2100, 1, 8}, {1601, 2100, 1, 8}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.source.width << "x" << c.source.height << " " << c.source.bitsPerPixel << " bits " << c.source.planes << " planes into " << c.before.width << "x" << c.before.planes);
    ComPtr<TestImage> source = TestImage::Make(c.source);
    source->FillPattern(c.source.width + c.source.planes);
    source->sizeShortfall = c.shortfall;
    source->describedBits = c.describedBits;
    source->describedFourcc = c.source.fourcc;
    const std::vector<std::vector<uint8_t>> planes = source->Planes();
    ComPtr<IPXMImage> image = Raster(c.before);
    Fill(image.Get(), 0x77);
    ASSERT_EQ(image->Copy(source.Get(), 0), c.result);
    ASSERT_EQ(SizeOf(image.Get()), c.after);
    const uint32_t n = c.source.bitsPerPixel / 8;  // colour without a conversion: zero planes, never what the heap held
    const bool split = c.source.fourcc != FOURCC_MONO && n >= 3 && c.result == PXM_S_OK, zeroed = c.source.fourcc != FOURCC_MONO && c.result == PXM_S_OK && !split;
    for (uint32_t p = 0; (c.copiedPlanes || c.before == c.after || zeroed) && p < c.after.planes; ++p)
      for (uint32_t y = 0; y < c.after.height; ++y) {
        const Bytes row = Row(image.Get(), p, y);
        Bytes expected(row.size(), split || p < c.copiedPlanes || zeroed ? 0 : 0x77);  // padding zero too
        if (p < c.copiedPlanes) std::copy_n(source->Row(p, y), std::min<size_t>(source->RowBytes(), row.size()), expected.begin());
        const uint8_t* s = source->Row(0, y);
        for (uint32_t x = 0; split && x < c.after.width; ++x, s += n) expected[x] = c.after.planes == 3 ? s[p] : uint8_t((s[0] + s[1] + s[2]) / 3);
        ASSERT_EQ(row, expected) << "plane " << p << " row " << y;
      }
    EXPECT_TRUE(source->Planes() == planes) << "the source left as it was";
    EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u);
  }
  ComPtr<IPXMImage> image = Raster();
  EXPECT_EQ(image->Copy(nullptr, 0), PXM_E_POINTER);
  EXPECT_EQ(image->Copy(TestImage::Make(Shape{9, 2, 1, FOURCC_MONO}).Get(), 0) & image->Copy(Raster().Get(), 0), PXM_E_FAIL) << "no rows to write into";
  EXPECT_EQ(SizeOf(image.Get()), kEmpty);
  // A raster source gives its pixels, not its padding; an image copied onto itself keeps them.
  ComPtr<IPXMImage> raster = Raster({5, 2, 2, 8});
  Fill(raster.Get(), 0xEE);
  ASSERT_EQ(image->Copy(raster.Get(), 0), PXM_S_OK);
  ASSERT_EQ(image->Copy(image.Get(), 0), PXM_S_OK);
  for (uint32_t p = 0; p < 2; ++p) EXPECT_EQ(Row(image.Get(), p, 1), (Bytes{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0, 0, 0}));
  EXPECT_EQ(RefCount(raster.Get()), 1u);
}

// Equal on every class: every pixel takes the value, at every depth and row direction, and no byte
// past a row's pixels changes but the zero a 24-bit row has room for. The bytes a filled row starts with:
std::vector<uint8_t> Expected(uint32_t bits, uint32_t width, uint32_t value) {
  if (bits < 8) return std::vector<uint8_t>((bits * width + 7) / 8, bits == 1 ? ((value & 1) ? 0xFF : 0x00) : uint8_t((value & 15) * 0x11));
  std::vector<uint8_t> pixels(bits / 8 * width + (bits == 24));
  const uint32_t unit = bits == 16 ? 1 : bits / 8;  // 16 bits repeat the value's low byte
  for (uint32_t i = 0; i < bits / 8 * width; ++i) pixels[i] = uint8_t(value >> (8 * (i % unit)));
  return pixels;
}

TEST(Fill, EveryClassFillsItsPixelsAndNothingElse) {
  const struct { const wchar_t* className; uint32_t width, planes, bits, fourcc, height = 3; } cases[] = {
      {L"PXMImage", 5, 3, 8, FOURCC_MONO}, {L"PXMImage", 3, 2, 32, FOURCC_MONO}, {L"PXMImage", 3, 1, 16, FOURCC_MONO},  // as 32 bits
      {L"PXMImageDIB", 10, 1, 1, FOURCC_RGB}, {L"PXMImageDIB", 7, 1, 4, FOURCC_RGB}, {L"PXMImageDIB", 5, 1, 8, FOURCC_MONO},
      {L"PXMImageDIB", 5, 1, 16, FOURCC_RGB}, {L"PXMImageDIB", 3, 1, 24, FOURCC_RGB},  // byte 9 of a 12-byte row becomes 0
      {L"PXMImageDIB", 4, 1, 24, FOURCC_RGB}, {L"PXMImageDIB", 3, 1, 32, FOURCC_ARGB}, {L"PXMImageCANVAS", 5, 1, 8, FOURCC_MONO},
      {L"PXMImageDIB", 5, 1, 24, FOURCC_RGB},  // 15 bytes and the zero fill the 16-byte row
      {L"PXMImageCANVAS", 3, 1, 24, FOURCC_RGB}, {L"PXMImageCANVAS", 3, 1, 32, FOURCC_RGB}, {L"PXMImage", 5, 1, 8, FOURCC_MONO, 0},
      // Unpadded rows are one run, repeated from a block of lines; past the cache, streaming stores.
      {L"PXMImageDIB", 1024, 1, 24, FOURCC_RGB, 9}, {L"PXMImage", 1001, 2, 32, FOURCC_MONO, 7},
      {L"PXMImageDIB", 1367, 1, 24, FOURCC_RGB, 3070}, {L"PXMImageDIB", 1023, 1, 32, FOURCC_ARGB, 3700},
  };
  for (const auto& c : cases)
    for (uint32_t value : {0xA1B2C3D5u, 0x12345678u}) {
      SCOPED_TRACE(testing::Message() << std::wstring(c.className).size() << " " << c.width << " wide " << c.bits << " bits, value " << value);
      ComPtr<IPXMImage> image = ModuleHost::Get().Create<IPXMImage>(c.className, pxm::iid::IPXMImage);
      ASSERT_EQ(image->Create(c.width, c.height, c.planes, c.bits, c.fourcc), PXM_S_OK);
      const view::Described d = view::Probe(image.Get());
      for (uint32_t p = 0; p < d.planes; ++p)
        for (uint32_t y = 0; y < d.height; ++y) std::memset(view::Probe(image.Get(), p).Row(y), 0x5A, std::abs(view::Probe(image.Get(), p).stride));
      ASSERT_EQ(image->Equal(static_cast<int>(value)), PXM_S_OK);
      std::vector<uint8_t> row = Expected(d.bits, d.width, value);
      for (uint32_t p = 0; p < d.planes; ++p) {
        const auto plane = view::Probe(image.Get(), p);
        row.resize(std::abs(plane.stride), 0x5A);
        for (uint32_t y = 0; y < d.height; ++y)
          ASSERT_TRUE(std::equal(row.begin(), row.end(), plane.Row(y))) << "plane " << p << " row " << y;
      }
    }
  EXPECT_EQ(ModuleHost::Get().CreateRaster()->Equal(7), PXM_E_INVALIDARG) << "no plane 0: its result, before anything";
}

}  // namespace
