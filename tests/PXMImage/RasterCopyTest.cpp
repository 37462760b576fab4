// The raster image's Copy from sources of every kind a host can hand it: rasters, and images of
// the test's own with any code, depth, row direction and padding. Each conversion is checked
// byte for byte against a plain loop over the source's pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "ModuleHost.h"
#include "TestImage.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Shape = TestImage::Shape;

ComPtr<IPXMImage> Raster(uint32_t width = 0, uint32_t height = 0, uint32_t planes = 0, uint32_t bits = 8) {
  ComPtr<IPXMImage> image = ModuleHost::Get().CreateRaster();
  if (planes) {
    EXPECT_EQ(image->Create(width, height, planes, bits, FOURCC_MONO), PXM_S_OK);
  }
  return image;
}

// Row y of a raster plane, all of its stride.
Bytes Row(IPXMImage* image, uint32_t plane, uint32_t y) {
  uint32_t size = 0;
  uint8_t* data = nullptr;
  int32_t stride = 0;
  EXPECT_EQ(image->GetImage(plane, &size, &data, &stride), PXM_S_OK);
  EXPECT_GE(stride, 0);
  uint8_t* row = data + int64_t{stride} * y;
  return Bytes(row, row + stride);
}

void Fill(IPXMImage* image, uint8_t value) {
  uint32_t planes = 0, size = 0;
  image->GetSize(nullptr, nullptr, &planes);
  for (uint32_t p = 0; p < planes; ++p) {
    uint8_t* data = nullptr;
    int32_t stride = 0;
    image->GetImage(p, &size, &data, &stride);
    std::memset(data, value, size);
  }
}

struct Size {
  uint32_t width, height, planes, bits;
  bool operator==(const Size&) const = default;
};
Size SizeOf(IPXMImage* image) {
  Size s{};
  image->GetSize(&s.width, &s.height, &s.planes);
  image->GetPixelDescriptor(&s.bits, nullptr, nullptr);
  return s;
}

// The source's bytes followed by zeros, as long as the destination row.
Bytes Padded(const uint8_t* bytes, size_t count, size_t length) {
  Bytes row(bytes, bytes + count);
  row.resize(length, 0);
  return row;
}

TEST(RasterCopy, NullSourceLeavesTheDestination) {
  ComPtr<IPXMImage> image = Raster(3, 2, 1);
  Fill(image.Get(), 9);
  EXPECT_EQ(image->Copy(nullptr, 0), PXM_E_POINTER);
  EXPECT_EQ(SizeOf(image.Get()), (Size{3, 2, 1, 8}));
  EXPECT_EQ(Row(image.Get(), 0, 1), Bytes(4, 9));
}

ComPtr<TestImage> Colour(uint32_t bits, uint32_t fourcc, const Bytes& pixels, uint32_t padding = 0) {
  const uint32_t width = static_cast<uint32_t>(pixels.size() * 8 / bits);
  ComPtr<TestImage> image = TestImage::Make(Shape{width, 1, bits, fourcc, 1, false, padding});
  std::memcpy(image->Row(0, 0), pixels.data(), pixels.size());
  return image;
}

TEST(RasterCopy, WorkedExamples) {
  ComPtr<TestImage> rgb = Colour(24, FOURCC_RGB, {10, 20, 30, 40, 50, 60});
  ComPtr<IPXMImage> split = Raster();
  EXPECT_EQ(split->Copy(rgb.Get(), 0), PXM_S_OK);
  EXPECT_EQ(SizeOf(split.Get()), (Size{2, 1, 3, 8}));
  EXPECT_EQ(Row(split.Get(), 0, 0), (Bytes{10, 40, 0, 0}));
  EXPECT_EQ(Row(split.Get(), 1, 0), (Bytes{20, 50, 0, 0}));
  EXPECT_EQ(Row(split.Get(), 2, 0), (Bytes{30, 60, 0, 0}));

  ComPtr<IPXMImage> grey = Raster(2, 1, 1);
  EXPECT_EQ(grey->Copy(rgb.Get(), 0), PXM_S_OK);
  EXPECT_EQ(Row(grey.Get(), 0, 0), (Bytes{20, 50, 0, 0}));
  EXPECT_EQ(grey->Copy(Colour(24, FOURCC_BGR, {255, 255, 254, 1, 1, 0}).Get(), 0), PXM_S_OK);
  EXPECT_EQ(Row(grey.Get(), 0, 0), (Bytes{254, 0, 0, 0}));

  ComPtr<IPXMImage> argb = Raster();
  EXPECT_EQ(argb->Copy(Colour(32, FOURCC_ARGB, {10, 20, 30, 99}).Get(), 0), PXM_S_OK);
  for (uint32_t p = 0; p < 3; ++p) EXPECT_EQ(Row(argb.Get(), p, 0)[0], 10 * (p + 1));
}

// Every sum of three bytes, 0 to 765, averaged by both kernels.
TEST(RasterCopy, MeanDividesEverySumExactly) {
  for (uint32_t bits : {24u, 32u}) {
    Bytes pixels;
    for (int sum = 0; sum <= 765; ++sum) {
      const int b0 = std::min(sum, 255), b1 = std::min(sum - b0, 255);
      pixels.insert(pixels.end(), {uint8_t(b0), uint8_t(b1), uint8_t(sum - b0 - b1)});
      if (bits == 32) pixels.push_back(0xFF);
    }
    ComPtr<IPXMImage> grey = Raster(766, 1, 1);
    ASSERT_EQ(grey->Copy(Colour(bits, FOURCC_RGB, pixels).Get(), 0), PXM_S_OK);
    const Bytes row = Row(grey.Get(), 0, 0);
    for (int sum = 0; sum <= 765; ++sum) ASSERT_EQ(row[sum], sum / 3) << bits << " bits, sum " << sum;
  }
}

// bits, code, bottom-up, padding
using ColourCase = std::tuple<uint32_t, uint32_t, bool, uint32_t>;
class ColourCopy : public testing::TestWithParam<ColourCase> {};

// Odd widths reach every kernel's vector loop and its tail; rows come in the source's order.
TEST_P(ColourCopy, SplitsAndAveragesLikeAPlainLoop) {
  const auto [bits, fourcc, bottomUp, padding] = GetParam();
  const uint32_t step = bits / 8, height = 3;
  const int live = TestImage::s_Live;
  for (uint32_t width : {1u, 3u, 5u, 7u, 9u, 15u, 17u, 33u, 63u, 101u, 1001u}) {
    SCOPED_TRACE(testing::Message() << "width " << width);
    ComPtr<TestImage> source = TestImage::Make(Shape{width, height, bits, fourcc, 1, bottomUp, padding});
    source->FillPattern(width);
    ComPtr<IPXMImage> split = Raster();
    ComPtr<IPXMImage> mean = Raster(width, height, 1);
    ASSERT_EQ(split->Copy(source.Get(), 0), PXM_S_OK);
    ASSERT_EQ(mean->Copy(source.Get(), 0), PXM_S_OK);
    ASSERT_EQ(SizeOf(split.Get()), (Size{width, height, 3, 8}));
    for (uint32_t y = 0; y < height; ++y) {
      const uint8_t* pixels = source->Row(0, y);
      const Bytes averaged = Row(mean.Get(), 0, y);
      for (uint32_t p = 0; p < 3; ++p) {
        const Bytes plane = Row(split.Get(), p, y);
        for (uint32_t x = 0; x < width; ++x) ASSERT_EQ(plane[x], pixels[step * x + p]) << "plane " << p;
      }
      for (uint32_t x = 0; x < width; ++x)
        ASSERT_EQ(averaged[x], (pixels[step * x] + pixels[step * x + 1] + pixels[step * x + 2]) / 3);
    }
    EXPECT_TRUE(source->PaddingIntact());
    EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u);
  }
  EXPECT_EQ(TestImage::s_Live, live);
}

INSTANTIATE_TEST_SUITE_P(Sources, ColourCopy,
                         testing::Combine(testing::Values(24u, 32u),
                                          testing::Values(FOURCC_RGB, FOURCC_BGR, FOURCC_ABGR, FOURCC_ARGB),
                                          testing::Bool(), testing::Values(0u, 3u)));

TEST(RasterCopy, ColourIntoALayoutWithoutConversion) {
  ComPtr<TestImage> rgb24 = TestImage::Make(Shape{4, 2, 24, FOURCC_RGB});
  ComPtr<TestImage> rgb32 = TestImage::Make(Shape{4, 2, 32, FOURCC_RGB});
  // Of the source's size: kept as it is, and left unwritten.
  for (const Size& layout : {Size{4, 2, 2, 8}, Size{4, 2, 1, 32}}) {
    ComPtr<IPXMImage> image = Raster(layout.width, layout.height, layout.planes, layout.bits);
    Fill(image.Get(), 0x5A);
    EXPECT_EQ(image->Copy(rgb24.Get(), 0), PXM_E_NOTIMPL);
    EXPECT_EQ(SizeOf(image.Get()), layout);
    EXPECT_EQ(Row(image.Get(), 0, 1), Bytes(Row(image.Get(), 0, 1).size(), 0x5A));
  }
  // Of another size: re-created from a 24-bit source is refused and leaves no row of its size.
  ComPtr<IPXMImage> other = Raster(3, 3, 1);
  Fill(other.Get(), 0x5A);
  EXPECT_EQ(other->Copy(rgb24.Get(), 0), PXM_E_FAIL);
  EXPECT_EQ(SizeOf(other.Get()), (Size{3, 3, 1, 8}));
  EXPECT_EQ(Row(other.Get(), 0, 2), Bytes(4, 0x5A));
  // From a 32-bit source it becomes one plane of 4-byte samples, which has no conversion.
  EXPECT_EQ(other->Copy(rgb32.Get(), 0), PXM_E_NOTIMPL);
  EXPECT_EQ(SizeOf(other.Get()), (Size{4, 2, 1, 32}));
}

TEST(RasterCopy, ColourOfOtherDepthsConvertsNothing) {
  ComPtr<TestImage> rgb16 = TestImage::Make(Shape{5, 2, 16, FOURCC_RGB});
  ComPtr<IPXMImage> image = Raster();
  EXPECT_EQ(image->Copy(rgb16.Get(), 0), PXM_S_OK);
  EXPECT_EQ(SizeOf(image.Get()), (Size{5, 2, 3, 8}));
  Fill(image.Get(), 0x33);
  EXPECT_EQ(image->Copy(rgb16.Get(), 0), PXM_S_OK);
  EXPECT_EQ(Row(image.Get(), 2, 1), Bytes(8, 0x33));
}

TEST(RasterCopy, NoDestinationRowsMeansNothingWritten) {
  ComPtr<IPXMImage> image = Raster();
  EXPECT_EQ(image->Copy(TestImage::Make(Shape{9, 2, 1, FOURCC_MONO}).Get(), 0), PXM_E_FAIL);
  EXPECT_EQ(image->Copy(Raster().Get(), 0), PXM_E_FAIL);
  EXPECT_EQ(SizeOf(image.Get()), (Size{0, 0, 0, 0}));
}

struct GreyCase {
  Shape source;
  Size before;  // the destination before the copy; no planes for an empty one
  Size after;
  uint32_t copiedPlanes;
};

std::ostream& operator<<(std::ostream& out, const GreyCase& c) {
  return out << c.source.width << "x" << c.source.height << " " << c.source.bitsPerPixel << " bits " << c.source.planes
             << " planes" << (c.source.bottomUp ? " bottom-up" : "") << " padding " << c.source.padding << " into "
             << c.before.planes << " planes of " << c.before.bits << " bits";
}

class GreyCopy : public testing::TestWithParam<GreyCase> {};

// Row y of the destination is the source's row y as far as the source row goes, then zeros;
// the source's padding never comes through, planes beyond the copied ones are not touched.
TEST_P(GreyCopy, CopiesRowsWithinTheSourceRows) {
  const GreyCase& c = GetParam();
  ComPtr<TestImage> source = TestImage::Make(c.source);
  source->FillPattern(c.source.width + c.source.planes);
  ComPtr<IPXMImage> image = Raster(c.before.width, c.before.height, c.before.planes, c.before.bits);
  if (c.before.planes) Fill(image.Get(), 0x77);
  ASSERT_EQ(image->Copy(source.Get(), 0), PXM_S_OK);
  ASSERT_EQ(SizeOf(image.Get()), c.after);
  for (uint32_t p = 0; p < c.after.planes; ++p) {
    for (uint32_t y = 0; y < c.after.height; ++y) {
      const Bytes row = Row(image.Get(), p, y);
      const size_t length = std::min<size_t>(source->RowBytes(), row.size());
      EXPECT_EQ(row, p < c.copiedPlanes ? Padded(source->Row(p, y), length, row.size()) : Bytes(row.size(), 0x77))
          << "plane " << p << " row " << y;
    }
  }
  EXPECT_TRUE(source->PaddingIntact());
  EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u);
}

const Size kEmpty{0, 0, 0, 0};
INSTANTIATE_TEST_SUITE_P(
    Sources, GreyCopy,
    testing::Values(
        GreyCase{Shape{5, 3, 8, FOURCC_MONO, 1, false, 0}, kEmpty, Size{5, 3, 1, 8}, 1},
        GreyCase{Shape{5, 3, 8, FOURCC_MONO, 1, true, 7}, kEmpty, Size{5, 3, 1, 8}, 1},
        GreyCase{Shape{6, 2, 32, FOURCC_MONO, 1, true, 2}, kEmpty, Size{6, 2, 1, 32}, 1},
        // Short rows: 2 or 1 bytes of source per 4-byte sample.
        GreyCase{Shape{5, 2, 16, FOURCC_MONO, 1, false, 3}, kEmpty, Size{5, 2, 1, 32}, 1},
        GreyCase{Shape{5, 2, 8, FOURCC_MONO, 1, true, 5}, Size{5, 2, 1, 32}, Size{5, 2, 1, 32}, 1},
        // A 1-bit source of the destination's size gives its packed bytes.
        GreyCase{Shape{13, 2, 1, FOURCC_MONO, 1, false, 1}, Size{13, 2, 1, 8}, Size{13, 2, 1, 8}, 1},
        // Every plane that both have.
        GreyCase{Shape{7, 2, 8, FOURCC_MONO, 3, false, 1}, kEmpty, Size{7, 2, 3, 8}, 3},
        GreyCase{Shape{7, 2, 8, FOURCC_MONO, 4, true, 0}, Size{7, 2, 2, 8}, Size{7, 2, 2, 8}, 2},
        GreyCase{Shape{4, 2, 8, FOURCC_MONO, 1, false, 0}, Size{4, 2, 3, 32}, Size{4, 2, 3, 32}, 1},
        // Another size: re-created with the source's planes and depth.
        GreyCase{Shape{3, 4, 8, FOURCC_MONO, 2, false, 2}, Size{9, 9, 1, 32}, Size{3, 4, 2, 8}, 2}));

TEST(RasterCopy, RasterSourceGivesItsPixelsNotItsPadding) {
  ComPtr<IPXMImage> source = Raster(5, 2, 2);
  Fill(source.Get(), 0xEE);
  ComPtr<IPXMImage> image = Raster();
  ASSERT_EQ(image->Copy(source.Get(), 0), PXM_S_OK);
  EXPECT_EQ(SizeOf(image.Get()), (Size{5, 2, 2, 8}));
  for (uint32_t p = 0; p < 2; ++p) EXPECT_EQ(Row(image.Get(), p, 1), (Bytes{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0, 0, 0}));
  EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u);
  // An image copied onto itself keeps its pixels.
  ASSERT_EQ(image->Copy(image.Get(), 0), PXM_S_OK);
  EXPECT_EQ(Row(image.Get(), 1, 0)[4], 0xEE);
}

// A source whose descriptor promises longer rows than its stride spans: only the stride is read.
class Relabelled final : public IPXMImage {
 public:
  Relabelled(ComPtr<TestImage> inner, uint32_t bits, uint32_t fourcc) : m_Inner(inner), m_Bits(bits), m_Fourcc(fourcc) {}
  HRESULT QueryInterface(const IID&, void**) override { return PXM_E_NOINTERFACE; }
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
  HRESULT GetSize(uint32_t* w, uint32_t* h, uint32_t* p) override { return m_Inner->GetSize(w, h, p); }
  HRESULT GetPixelDescriptor(uint32_t* bits, uint32_t* fourcc, uint32_t*) override {
    *bits = m_Bits;
    *fourcc = m_Fourcc;
    return PXM_S_OK;
  }
  HRESULT GetImage(uint32_t p, uint32_t* s, uint8_t** d, int32_t* st) override { return m_Inner->GetImage(p, s, d, st); }
  HRESULT Create(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT IsCreatable(uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT Copy(IPXM*, int) override { return PXM_E_NOTIMPL; }
  HRESULT Equal(int) override { return PXM_E_NOTIMPL; }

 private:
  ComPtr<TestImage> m_Inner;
  uint32_t m_Bits, m_Fourcc;
};

TEST(RasterCopy, ReadsNoMoreThanTheSourceStride) {
  ComPtr<TestImage> bytes = TestImage::Make(Shape{7, 2, 8, FOURCC_MONO});  // rows of 7 bytes, unpadded
  bytes->FillPattern(5);
  // As 24-bit colour only two whole pixels fit a row; the rest of each plane row is zero.
  Relabelled colour(bytes, 24, FOURCC_BGR);
  ComPtr<IPXMImage> split = Raster();
  ASSERT_EQ(split->Copy(&colour, 0), PXM_S_OK);
  for (uint32_t p = 0; p < 3; ++p) {
    const Bytes row = Row(split.Get(), p, 1);
    EXPECT_EQ(Bytes(row.begin(), row.begin() + 7),
              (Bytes{bytes->Row(0, 1)[p], bytes->Row(0, 1)[3 + p], 0, 0, 0, 0, 0}));
  }
  // As 32-bit grey, the 7 bytes are followed by zeros up to the 28-byte row.
  Relabelled grey(bytes, 32, FOURCC_MONO);
  ComPtr<IPXMImage> wide = Raster();
  ASSERT_EQ(wide->Copy(&grey, 0), PXM_S_OK);
  EXPECT_EQ(Row(wide.Get(), 0, 1), Padded(bytes->Row(0, 1), 7, 28));
}

}  // namespace
