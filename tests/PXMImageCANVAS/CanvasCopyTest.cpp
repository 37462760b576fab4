// Copying any image into a canvas: palettes, sources without area, and what the canvas keeps
// between copies (every source kind in every layout, and sources without whole rows: DibCopyTest).
#include <gtest/gtest.h>

#include "RenderTestSupport.h"
#include "TestImage.h"

namespace {

bool AllPixels(IPXMImageCANVAS* canvas, uint32_t pixel) {
  uint32_t w = 0, h = 0;
  canvas->GetSize(&w, &h, nullptr);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      if (LoadPixel(ImageRow(canvas, y) + 4 * x) != pixel) return false;
  return true;
}
// A colour canvas filled with a marker, to see what a copy writes.
ComPtr<IPXMImageCANVAS> MarkedCanvas(uint32_t w, uint32_t h, uint32_t bits = 32) {
  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  EXPECT_EQ(canvas->Create(w, h, 1, bits, FOURCC_RGB), PXM_S_OK);
  for (uint32_t y = 0; y < h; ++y) std::memset(ImageRow(canvas.Get(), y), 0x77, 4 * w);
  return canvas;
}

// A palette is applied (red, green, blue from the entry, the fourth byte the value); values past
// the entries stay grey; no more than 256 entries are read.
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
      EXPECT_EQ(LoadPixel(ImageRow(canvas.Get(), y) + 4 * x), (v < 4 ? colours[v] : Rgbx(v, v, v)) | uint32_t{v} << 24);
    }
  EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u) << "the palette interface was released";
  source->palette.assign(1000, 0x00FFFFFF);
  ASSERT_EQ(canvas->Copy(source.Get(), 0), PXM_S_OK);
  EXPECT_EQ(LoadPixel(ImageRow(canvas.Get(), 0)), Rgbx(255, 255, 255, 0));
}

// A null source is refused and the canvas kept; sources without area leave one without pixels.
TEST(CanvasCopy, NoSourceOrNoArea) {
  ComPtr<IPXMImageCANVAS> canvas = MarkedCanvas(3, 2);
  EXPECT_EQ(canvas->Copy(nullptr, 0), PXM_E_INVALIDARG);
  EXPECT_TRUE(AllPixels(canvas.Get(), 0x77777777));
  for (const auto& [width, height] : {std::pair{0u, 3u}, {4u, 0u}}) {
    ASSERT_EQ(canvas->Copy(TestImage::Make({width, height, 32, FOURCC_RGB}).Get(), 0), PXM_S_OK);
    uint32_t w = 9, h = 9;
    canvas->GetSize(&w, &h, nullptr);
    EXPECT_EQ(w * 10 + h, width * 10 + height);
    EXPECT_EQ(ImageRow(canvas.Get(), 0), nullptr);
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
  // A canvas copies another pixel for pixel and itself without change; one of 8 bits a pixel is
  // made anew (as 32 bits) by its own copy, so nothing of it is left to read.
  ComPtr<IPXMImageCANVAS> first = MarkedCanvas(4, 3);
  std::memset(ImageRow(first.Get(), 2), 0x12, 4);
  for (IPXMImageCANVAS* target : {canvas.Get(), first.Get()}) {
    ASSERT_EQ(target->Copy(first.Get(), 0), PXM_S_OK);
    EXPECT_EQ(LoadPixel(ImageRow(target, 2)), 0x12121212u);
    EXPECT_EQ(LoadPixel(ImageRow(target, 1)), 0x77777777u);
  }
  ComPtr<IPXMImageCANVAS> shallow = MarkedCanvas(4, 3, 8);
  ASSERT_EQ(shallow->Copy(shallow.Get(), 0), PXM_S_OK);
  EXPECT_TRUE(AllPixels(shallow.Get(), 0));
}

}  // namespace
