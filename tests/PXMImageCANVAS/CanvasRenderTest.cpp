// Drawing a canvas into another context: result codes and the transparent colour (pixels 1:1,
// scaled and fitted: with the DIB's drawing tests, from a canvas copy of a DIB).
#include <gtest/gtest.h>

#include "RenderTestSupport.h"

namespace {

constexpr uint32_t kBackground = Rgbx(1, 2, 3);

// A colour canvas whose pixel (x, y) of GetImage row y is Pattern(x, y) (fourth byte 0).
uint32_t Pattern(uint32_t x, uint32_t y) { return Rgbx(uint8_t(10 + x), uint8_t(100 + y), uint8_t(x * 7 + y * 13)); }
ComPtr<IPXMImageCANVAS> PatternCanvas(uint32_t w, uint32_t h) {
  ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(w, h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t pixel = Pattern(x, y) | 0xEE000000u;
      std::memcpy(ImageRow(canvas.Get(), y) + 4 * x, &pixel, 4);
    }
  return canvas;
}

TEST(CanvasRender, ResultCodes) {
  Surface target(4, 4, Coordinates::Flipped, kBackground);
  ComPtr<IPXMImageCANVAS> empty = ModuleHost::Get().CreateCanvas(), failed = ModuleHost::Get().CreateCanvas(),
                          grey = ModuleHost::Get().CreateCanvas(), colour = PatternCanvas(4, 4);
  failed->Create(0, 5, 1, 32, FOURCC_RGB);
  grey->Create(4, 4, 1, 8, FOURCC_MONO);  // pixels but no context
  struct Case {
    IPXMImageCANVAS* canvas;
    CANVASRect rect;
    HRESULT expected;
  };
  // A destination below 2 x 2 returns 0 before anything else; no context fails.
  for (const Case& c : {Case{empty.Get(), {0, 0, 1, 100}, PXM_S_OK}, Case{empty.Get(), {0, 0, 100, 1}, PXM_S_OK},
                        Case{empty.Get(), {0, 0, -4, 4}, PXM_S_OK}, Case{empty.Get(), {0, 0, 2, 2}, PXM_E_FAIL},
                        Case{failed.Get(), {0, 0, 4, 4}, PXM_E_FAIL}, Case{grey.Get(), {0, 0, 4, 4}, PXM_E_FAIL},
                        Case{colour.Get(), {0, 0, 1, 1}, PXM_S_OK}, Case{colour.Get(), {0, 0, 2, 2}, PXM_S_OK}}) {
    SCOPED_TRACE(testing::Message() << c.rect.x << "," << c.rect.y << "," << c.rect.width << "," << c.rect.height);
    CANVASRect rect = c.rect;
    EXPECT_EQ(Draw(c.canvas, target.context, c.rect), c.expected);
    EXPECT_EQ(DrawWithFlags(c.canvas, target.context, &rect, 0), c.expected);
  }
  EXPECT_EQ(target.At(2, 2), kBackground) << "only the 2 x 2 draw reached the target";
  EXPECT_NE(target.At(0, 0), kBackground);
  CANVASRect rect{0, 0, 4, 4};
  ComPtr<IPXMImageRender> render = colour.As<IPXMImageRender>(pxm::iid::IPXMImageRender);
  EXPECT_EQ(render->Render(target.context, nullptr, nullptr), PXM_E_POINTER);
  EXPECT_EQ(render->Render(nullptr, &rect, nullptr), PXM_E_POINTER);
  // No rectangle: drawn into (0, 0, 0, 0), nothing. Fitting a canvas without area: nothing.
  EXPECT_EQ(DrawWithFlags(colour.Get(), target.context, nullptr, FitToRect), PXM_S_OK);
  EXPECT_EQ(DrawWithFlags(failed.Get(), target.context, &rect, FitToRect), PXM_S_OK);
}

// The transparent colour 0x00BBGGRR leaves out exactly the pixels of that colour; the top byte is
// not read, and only -1 turns masking off.
TEST(CanvasRender, LeavesOutTheTransparentColour) {
  const uint32_t key = Rgbx(0x99, 0x66, 0x33), row[5] = {key, Rgbx(0x98, 0x66, 0x33), Rgbx(0x99, 0x67, 0x33),
                                                          Rgbx(0x99, 0x66, 0x34), 0};
  ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(5, 1);
  std::memcpy(ImageRow(canvas.Get(), 0), row, sizeof row);
  for (const int colour : {-1, 0x00336699, 0x7F336699, static_cast<int>(0xFF000000u)}) {
    SCOPED_TRACE(testing::Message() << std::hex << colour);
    Surface target(5, 2, Coordinates::Flipped, kBackground);
    canvas->put_TransparentColor(colour);
    ASSERT_EQ(Draw(canvas.Get(), target.context, {0, 0, 5, 2}), PXM_S_OK);
    const uint32_t left = colour == -1 ? 5 : (colour & 0xFFFFFF) == 0x336699 ? 0 : 4;
    for (uint32_t x = 0; x < 5; ++x) EXPECT_EQ(target.At(x, 1), x == left ? kBackground : row[x]) << x;
  }
}

}  // namespace
