// Copying any image into a canvas: every source kind, row directions and padding, palettes,
// sources that cannot give whole rows, and what the canvas keeps between copies.
#include <gtest/gtest.h>

#include <functional>

#include "RenderTestSupport.h"
#include "TestImage.h"

namespace {

// The canvas pixel a source pixel becomes, from the source pixel's bytes in memory order.
using Expectation = std::function<uint32_t(const uint8_t* s)>;

struct KindCase {
  const char* name;
  uint32_t bitsPerPixel, fourcc;
  Expectation expected;
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

const KindCase kKinds[] = {
    {"Grey8", 8, FOURCC_MONO, [](const uint8_t* s) { return Rgbx(s[0], s[0], s[0], s[0]); }},
    {"Plain8", 8, FOURCC_RGB, [](const uint8_t* s) { return Rgbx(s[0], s[0], s[0], s[0]); }},
    {"Rgb24", 24, FOURCC_RGB, [](const uint8_t* s) { return Rgbx(s[0], s[1], s[2]); }},
    {"Argb24", 24, FOURCC_ARGB, [](const uint8_t* s) { return Rgbx(s[0], s[1], s[2]); }},
    {"Bgr24", 24, FOURCC_BGR, [](const uint8_t* s) { return Rgbx(s[2], s[1], s[0]); }},
    {"Mono24", 24, FOURCC_MONO, [](const uint8_t* s) { return Rgbx(s[2], s[1], s[0]); }},
    {"Rgb32", 32, FOURCC_RGB, [](const uint8_t* s) { return Rgbx(s[0], s[1], s[2], s[3]); }},
    {"Argb32", 32, FOURCC_ARGB, [](const uint8_t* s) { return Rgbx(s[0], s[1], s[2], s[3]); }},
    {"Abgr32", 32, FOURCC_ABGR, [](const uint8_t* s) { return Rgbx(s[2], s[1], s[0], s[3]); }},
    {"Bgr32", 32, FOURCC_BGR, [](const uint8_t* s) { return Rgbx(s[2], s[1], s[0], s[3]); }},
    {"Mono32", 32, FOURCC_MONO, [](const uint8_t* s) { return Rgbx(s[0], s[0], s[0]); }},
};

struct Layout {
  uint32_t width, height;
  bool bottomUp;
  uint32_t padding;
};
const Layout kLayouts[] = {{1, 1, false, 0}, {5, 3, false, 3}, {13, 4, true, 0}, {7, 2, true, 5}, {33, 3, false, 1}};

class CanvasCopyKind : public testing::TestWithParam<KindCase> {};

// Canvas row y is source row y, every pixel converted; the source is left as it was.
TEST_P(CanvasCopyKind, ConvertsEveryPixelOfEveryLayout) {
  const KindCase& kind = GetParam();
  for (const Layout& layout : kLayouts) {
    SCOPED_TRACE(testing::Message() << layout.width << " x " << layout.height << (layout.bottomUp ? " bottom-up" : "")
                                    << " padding " << layout.padding);
    ComPtr<TestImage> source = TestImage::Make(
        {layout.width, layout.height, kind.bitsPerPixel, kind.fourcc, 1, layout.bottomUp, layout.padding});
    source->FillPattern(layout.width * 31 + layout.height);
    ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(2, 2);
    ASSERT_EQ(canvas->Copy(source.Get(), 12345), PXM_S_OK);

    uint32_t width = 0, height = 0, bits = 0, fourcc = 1;
    canvas->GetSize(&width, &height, nullptr);
    canvas->GetPixelDescriptor(&bits, &fourcc, nullptr);
    EXPECT_EQ(width, layout.width);
    EXPECT_EQ(height, layout.height);
    EXPECT_EQ(bits, kind.bitsPerPixel > 24 ? kind.bitsPerPixel : 32u);
    EXPECT_EQ(fourcc, FOURCC_RGB);
    const uint32_t bytes = kind.bitsPerPixel / 8;
    for (uint32_t y = 0; y < layout.height; ++y)
      for (uint32_t x = 0; x < layout.width; ++x)
        ASSERT_EQ(LoadPixel(ImageRow(canvas.Get(), y) + 4 * x), kind.expected(source->Row(0, y) + bytes * x))
            << x << "," << y;
    EXPECT_TRUE(source->PaddingIntact());
    EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u) << "no reference on the source is kept";
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, CanvasCopyKind, testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

// A palette is applied: entries are 4 bytes, blue, green, red, unused; values past the entries
// stay grey; the fourth byte keeps the value. A grey ramp gives what no palette gives.
TEST(CanvasCopy, AppliesTheSourcePalette) {
  ComPtr<TestImage> source = TestImage::Make({6, 2, 8, FOURCC_RGB, 1, true, 2});
  const uint8_t values[2][6] = {{0, 1, 2, 3, 200, 255}, {2, 2, 1, 0, 4, 3}};
  for (uint32_t y = 0; y < 2; ++y) std::memcpy(source->Row(0, y), values[y], 6);
  source->palette = {0x00112233, 0xFF445566, 0x000000FF, 0x00FF0000};  // 0x00RRGGBB, top byte unused
  const uint32_t colours[4] = {Rgbx(0x11, 0x22, 0x33), Rgbx(0x44, 0x55, 0x66), Rgbx(0, 0, 0xFF), Rgbx(0xFF, 0, 0)};

  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  ASSERT_EQ(canvas->Copy(source.Get(), 0), PXM_S_OK);
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 6; ++x) {
      const uint8_t v = values[y][x];
      const uint32_t expected = (v < 4 ? colours[v] : Rgbx(v, v, v)) | uint32_t{v} << 24;
      EXPECT_EQ(LoadPixel(ImageRow(canvas.Get(), y) + 4 * x), expected) << x << "," << y;
    }
  EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u) << "the palette interface was released";

  source->palette.resize(256);
  for (uint32_t i = 0; i < 256; ++i) source->palette[i] = i * 0x010101u;
  ASSERT_EQ(canvas->Copy(source.Get(), 0), PXM_S_OK);
  for (uint32_t x = 0; x < 6; ++x)
    EXPECT_EQ(LoadPixel(ImageRow(canvas.Get(), 0) + 4 * x), values[0][x] * 0x01010101u);

  // A table of more than 256 entries is read no further than the 256 values.
  source->palette.assign(1000, 0x00FFFFFF);
  ASSERT_EQ(canvas->Copy(source.Get(), 0), PXM_S_OK);
  EXPECT_EQ(LoadPixel(ImageRow(canvas.Get(), 0)), Rgbx(255, 255, 255, 0));
}

// A colour canvas filled with one marker, to see what a copy writes.
ComPtr<IPXMImageCANVAS> MarkedCanvas(uint32_t w, uint32_t h, uint32_t bits = 32) {
  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  EXPECT_EQ(canvas->Create(w, h, 1, bits, FOURCC_RGB), PXM_S_OK);
  for (uint32_t y = 0; y < h; ++y) std::memset(ImageRow(canvas.Get(), y), 0x77, 4 * w);
  return canvas;
}

bool AllPixels(IPXMImageCANVAS* canvas, uint32_t pixel) {
  uint32_t w = 0, h = 0;
  canvas->GetSize(&w, &h, nullptr);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      if (LoadPixel(ImageRow(canvas, y) + 4 * x) != pixel) return false;
  return true;
}

// Sources without a conversion leave a black canvas of their size.
TEST(CanvasCopy, SourcesWithoutConversionLeaveABlackCanvas) {
  struct Case {
    uint32_t planes, bitsPerPixel, fourcc;
  };
  for (const Case& c : {Case{2, 8, FOURCC_MONO}, Case{3, 8, FOURCC_MONO}, Case{1, 16, FOURCC_RGB},
                        Case{1, 4, FOURCC_RGB}, Case{1, 1, FOURCC_MONO}, Case{0, 8, FOURCC_MONO}}) {
    SCOPED_TRACE(testing::Message() << c.planes << " planes of " << c.bitsPerPixel << " bits");
    ComPtr<TestImage> source = TestImage::Make({5, 3, c.bitsPerPixel, c.fourcc, c.planes});
    source->FillPattern(7);
    ComPtr<IPXMImageCANVAS> canvas = MarkedCanvas(5, 3);
    ASSERT_EQ(canvas->Copy(source.Get(), 0), PXM_S_OK);
    uint32_t w = 0, h = 0;
    canvas->GetSize(&w, &h, nullptr);
    EXPECT_EQ(w, 5u);
    EXPECT_EQ(h, 3u);
    EXPECT_TRUE(AllPixels(canvas.Get(), 0));
  }
}

TEST(CanvasCopy, RefusesANullSourceAndKeepsTheCanvas) {
  ComPtr<IPXMImageCANVAS> canvas = MarkedCanvas(3, 2);
  EXPECT_EQ(canvas->Copy(nullptr, 0), PXM_E_INVALIDARG);
  EXPECT_TRUE(AllPixels(canvas.Get(), 0x77777777));
}

TEST(CanvasCopy, SourceWithoutAreaLeavesNoPixels) {
  for (const Layout& size : {Layout{0, 3, false, 0}, Layout{4, 0, false, 0}}) {
    ComPtr<TestImage> source = TestImage::Make({size.width, size.height, 32, FOURCC_RGB});
    ComPtr<IPXMImageCANVAS> canvas = MarkedCanvas(3, 2);
    EXPECT_EQ(canvas->Copy(source.Get(), 0), PXM_S_OK);
    uint32_t w = 9, h = 9, planeSize = 9;
    uint8_t* data = reinterpret_cast<uint8_t*>(1);
    int32_t stride = 9;
    canvas->GetSize(&w, &h, nullptr);
    canvas->GetImage(0, &planeSize, &data, &stride);
    EXPECT_EQ(w, size.width);
    EXPECT_EQ(h, size.height);
    EXPECT_EQ(data, nullptr);
  }
}

// A canvas whose size and depth match a deep source is kept (its context too, with whatever
// state the host gave it); any source up to 24 bits makes it anew.
TEST(CanvasCopy, KeepsTheCanvasOnlyForDeepSourcesOfItsSize) {
  struct Case {
    uint32_t bitsPerPixel, fourcc;
    bool kept;
  };
  for (const Case& c : {Case{32, FOURCC_ARGB, true}, Case{32, FOURCC_MONO, true}, Case{24, FOURCC_RGB, false},
                        Case{8, FOURCC_MONO, false}}) {
    SCOPED_TRACE(testing::Message() << c.bitsPerPixel << " bits");
    ComPtr<TestImage> source = TestImage::Make({4, 4, c.bitsPerPixel, c.fourcc});
    source->FillPattern(3);
    ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
    ASSERT_EQ(canvas->Copy(source.Get(), 0), PXM_S_OK);
    CGContextRef context = nullptr;
    canvas->get_CANVAS(&context);
    CGContextTranslateCTM(context, 5, 0);
    ASSERT_EQ(canvas->Copy(source.Get(), 0), PXM_S_OK);
    canvas->get_CANVAS(&context);
    EXPECT_EQ(CGContextGetCTM(context).tx, c.kept ? 5.0 : 0.0);
  }
}

// An image of the test's own whose one plane is exactly as short as it says, so that any read
// past it is caught by AddressSanitizer.
class ShortPlaneImage final : public IPXMImage {
 public:
  ShortPlaneImage(uint32_t width, uint32_t height, uint32_t bits, int32_t stride, uint32_t size)
      : m_Width(width), m_Height(height), m_Bits(bits), m_Stride(stride), m_Size(size), m_Bytes(new uint8_t[size]) {
    for (uint32_t i = 0; i < size; ++i) m_Bytes[i] = static_cast<uint8_t>(i + 1);
  }
  ~ShortPlaneImage() { delete[] m_Bytes; }
  HRESULT QueryInterface(const IID&, void** out) override {
    *out = nullptr;
    return PXM_E_NOINTERFACE;
  }
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
  HRESULT GetSize(uint32_t* w, uint32_t* h, uint32_t* p) override {
    *w = m_Width;
    *h = m_Height;
    *p = 1;
    return PXM_S_OK;
  }
  HRESULT GetPixelDescriptor(uint32_t* bits, uint32_t* fourcc, uint32_t* bytes) override {
    *bits = m_Bits;
    *fourcc = FOURCC_RGB;
    *bytes = m_Bits / 8;
    return PXM_S_OK;
  }
  HRESULT GetImage(uint32_t, uint32_t* size, uint8_t** data, int32_t* stride) override {
    *size = m_Size;
    *data = m_Stride < 0 ? m_Bytes + m_Size + m_Stride : m_Bytes;
    *stride = m_Stride;
    return PXM_S_OK;
  }
  HRESULT Create(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT IsCreatable(uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT Copy(IPXM*, int) override { return PXM_E_NOTIMPL; }
  HRESULT Equal(int) override { return PXM_E_NOTIMPL; }
  const uint8_t* Bytes() const { return m_Bytes; }

 private:
  uint32_t m_Width, m_Height, m_Bits;
  int32_t m_Stride;
  uint32_t m_Size;
  uint8_t* m_Bytes;
};

// Rows shorter than the width give the pixels they hold and black after them; a plane too short
// for its rows gives nothing. Nothing is read outside the plane.
TEST(CanvasCopy, ReadsNoFurtherThanTheSourceRows) {
  {
    ShortPlaneImage source(8, 3, 24, -7, 21);  // rows of 7 bytes: two whole pixels
    ComPtr<IPXMImageCANVAS> canvas = MarkedCanvas(8, 3);
    ASSERT_EQ(canvas->Copy(&source, 0), PXM_S_OK);
    for (uint32_t y = 0; y < 3; ++y) {
      const uint8_t* s = source.Bytes() + 21 - 7 * (y + 1);
      const uint8_t* row = ImageRow(canvas.Get(), y);
      EXPECT_EQ(LoadPixel(row), Rgbx(s[0], s[1], s[2]));
      EXPECT_EQ(LoadPixel(row + 4), Rgbx(s[3], s[4], s[5]));
      for (uint32_t x = 2; x < 8; ++x) EXPECT_EQ(LoadPixel(row + 4 * x), 0u) << x;
    }
  }
  for (ShortPlaneImage* source : {new ShortPlaneImage(4, 3, 32, 16, 47), new ShortPlaneImage(4, 3, 32, 0, 16),
                                  new ShortPlaneImage(4, 3, 8, -4, 11)}) {
    ComPtr<IPXMImageCANVAS> canvas = MarkedCanvas(4, 3);  // kept for the 32-bit sources
    ASSERT_EQ(canvas->Copy(source, 0), PXM_S_OK);
    EXPECT_TRUE(AllPixels(canvas.Get(), 0));
    delete source;
  }
}

TEST(CanvasCopy, CopiesRasterAndCanvasImages) {
  // A raster image of one 8-bit plane is grey, of three planes black.
  ComPtr<IPXMImage> raster = ModuleHost::Get().CreateRaster();
  ASSERT_EQ(raster->Create(3, 2, 1, 8, FOURCC_MONO), PXM_S_OK);
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 3; ++x) ImageRow(raster.Get(), y)[x] = static_cast<uint8_t>(10 * y + x);
  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  ASSERT_EQ(canvas->Copy(raster.Get(), 0), PXM_S_OK);
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 3; ++x) EXPECT_EQ(LoadPixel(ImageRow(canvas.Get(), y) + 4 * x), (10 * y + x) * 0x01010101u);
  ASSERT_EQ(raster->Create(3, 2, 3, 8, FOURCC_MONO), PXM_S_OK);
  ASSERT_EQ(canvas->Copy(raster.Get(), 0), PXM_S_OK);
  EXPECT_TRUE(AllPixels(canvas.Get(), 0));

  // A canvas copies another pixel for pixel, and itself without change.
  ComPtr<IPXMImageCANVAS> first = MarkedCanvas(4, 3);
  std::memset(ImageRow(first.Get(), 2), 0x12, 4);
  ASSERT_EQ(canvas->Copy(first.Get(), 0), PXM_S_OK);
  EXPECT_EQ(LoadPixel(ImageRow(canvas.Get(), 2)), 0x12121212u);
  EXPECT_EQ(LoadPixel(ImageRow(canvas.Get(), 0)), 0x77777777u);
  ASSERT_EQ(first->Copy(first.Get(), 0), PXM_S_OK);
  EXPECT_EQ(LoadPixel(ImageRow(first.Get(), 2)), 0x12121212u);
  EXPECT_EQ(LoadPixel(ImageRow(first.Get(), 1)), 0x77777777u);
  // One of 8 bits a pixel is made anew by its own copy (as 32 bits): nothing of it is left to read.
  ComPtr<IPXMImageCANVAS> shallow = MarkedCanvas(4, 3, 8);
  ASSERT_EQ(shallow->Copy(shallow.Get(), 0), PXM_S_OK);
  EXPECT_TRUE(AllPixels(shallow.Get(), 0));
}

// A copied image draws like the source: upright in flipped coordinates.
TEST(CanvasCopy, CopiedPictureDrawsUprightInFlippedCoordinates) {
  ComPtr<TestImage> source = TestImage::Make({3, 2, 24, FOURCC_BGR});
  const uint8_t rows[2][9] = {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {11, 12, 13, 14, 15, 16, 17, 18, 19}};
  for (uint32_t y = 0; y < 2; ++y) std::memcpy(source->Row(0, y), rows[y], 9);
  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  ASSERT_EQ(canvas->Copy(source.Get(), 0), PXM_S_OK);
  Surface target(3, 2, Coordinates::Flipped);
  CANVASRect rect{0, 0, 3, 2};
  ASSERT_EQ(Query<IPXMImageRender>(canvas.Get(), pxm::iid::IPXMImageRender)->Render(target.context, &rect, nullptr),
            PXM_S_OK);
  // The top buffer row of the target holds the source's row 0, red first.
  EXPECT_EQ(LoadPixel(target.BufferRow(0)) & kRgbMask, Rgbx(3, 2, 1));
  EXPECT_EQ(LoadPixel(target.BufferRow(1) + 8) & kRgbMask, Rgbx(19, 18, 17));
}

}  // namespace
