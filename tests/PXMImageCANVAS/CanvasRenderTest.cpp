// Drawing a canvas into another context: result codes, pixels 1:1 and scaled in both user
// spaces, the transparent colour, fitting.
#include <gtest/gtest.h>

#include "RenderTestSupport.h"

namespace {

constexpr uint32_t kBackground = Rgbx(1, 2, 3);

// A colour canvas whose pixel (x, y) of GetImage row y is Pattern(x, y).
uint32_t Pattern(uint32_t x, uint32_t y) { return Rgbx(uint8_t(10 + x), uint8_t(100 + y), uint8_t(x * 7 + y * 13)); }
ComPtr<IPXMImageCANVAS> PatternCanvas(uint32_t w, uint32_t h) {
  ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(w, h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t pixel = Pattern(x, y) | 0xEE000000u;  // the fourth byte is not drawn
      std::memcpy(ImageRow(canvas.Get(), y) + 4 * x, &pixel, 4);
    }
  return canvas;
}

HRESULT Draw(IPXMImageCANVAS* canvas, CGContextRef context, CANVASRect rect, CANVASRect* source = nullptr) {
  return Query<IPXMImageRender>(canvas, pxm::iid::IPXMImageRender)->Render(context, &rect, source);
}
HRESULT DrawWithFlags(IPXMImageCANVAS* canvas, CGContextRef context, CANVASRect* rect, int flags) {
  return Query<IRenderableObject>(canvas, pxm::iid::IRenderableObject)->Render(context, rect, nullptr, flags);
}

TEST(CanvasRender, ResultCodes) {
  Surface target(4, 4, Coordinates::Flipped, kBackground);
  ComPtr<IPXMImageCANVAS> empty = ModuleHost::Get().CreateCanvas();
  ComPtr<IPXMImageCANVAS> failed = ModuleHost::Get().CreateCanvas();
  failed->Create(0, 5, 1, 32, FOURCC_RGB);
  ComPtr<IPXMImageCANVAS> grey = ModuleHost::Get().CreateCanvas();
  grey->Create(4, 4, 1, 8, FOURCC_MONO);  // holds pixels, but no context (see CanvasModelTest)
  ComPtr<IPXMImageCANVAS> colour = PatternCanvas(4, 4);

  struct Case {
    IPXMImageCANVAS* canvas;
    CANVASRect rect;
    HRESULT expected;
  };
  for (const Case& c : {Case{empty.Get(), {0, 0, 1, 100}, PXM_S_OK},  // below 2 × 2: before anything else
                        Case{empty.Get(), {0, 0, 100, 1}, PXM_S_OK}, Case{empty.Get(), {0, 0, -4, 4}, PXM_S_OK},
                        Case{empty.Get(), {0, 0, 2, 2}, PXM_E_FAIL}, Case{failed.Get(), {0, 0, 4, 4}, PXM_E_FAIL},
                        Case{grey.Get(), {0, 0, 4, 4}, PXM_E_FAIL}, Case{colour.Get(), {0, 0, 1, 1}, PXM_S_OK},
                        Case{colour.Get(), {0, 0, 2, 2}, PXM_S_OK}}) {
    SCOPED_TRACE(testing::Message() << c.rect.x << "," << c.rect.y << "," << c.rect.width << "," << c.rect.height);
    EXPECT_EQ(Draw(c.canvas, target.context, c.rect), c.expected);
    CANVASRect rect = c.rect;
    EXPECT_EQ(DrawWithFlags(c.canvas, target.context, &rect, 0), c.expected);
  }
  EXPECT_EQ(target.At(2, 2), kBackground) << "only the 2 × 2 draw reached the target";
  EXPECT_NE(target.At(0, 0), kBackground);

  // Bad pointers: a clear refusal, nothing drawn.
  CANVASRect rect{0, 0, 4, 4};
  ComPtr<IPXMImageRender> render = colour.As<IPXMImageRender>(pxm::iid::IPXMImageRender);
  EXPECT_EQ(render->Render(target.context, nullptr, nullptr), PXM_E_POINTER);
  EXPECT_EQ(render->Render(nullptr, &rect, nullptr), PXM_E_POINTER);
  // Without a rectangle the second Render draws into (0, 0, 0, 0): nothing, result 0.
  EXPECT_EQ(DrawWithFlags(colour.Get(), target.context, nullptr, 0), PXM_S_OK);
  EXPECT_EQ(DrawWithFlags(colour.Get(), target.context, nullptr, FitToRect), PXM_S_OK);
  // Fitting a canvas without area divides by zero; nothing is drawn.
  EXPECT_EQ(DrawWithFlags(failed.Get(), target.context, &rect, FitToRect), PXM_S_OK);
}

class CanvasRenderIn : public testing::TestWithParam<Coordinates> {};

// 1:1 the pixel at (x, y) of user space is the canvas's GetImage row y: upright in flipped
// coordinates, upside down (row 0 at the bottom) in unflipped ones.
TEST_P(CanvasRenderIn, DrawsEveryPixelOneToOne) {
  Surface target(9, 7, GetParam(), kBackground);
  ComPtr<IPXMImageCANVAS> canvas = PatternCanvas(5, 4);
  CANVASRect source{3, 3, 1, 1};  // not used: the whole canvas is drawn
  ASSERT_EQ(Draw(canvas.Get(), target.context, {2, 1, 5, 4}, &source), PXM_S_OK);
  for (uint32_t y = 0; y < 7; ++y)
    for (uint32_t x = 0; x < 9; ++x) {
      const bool inside = x >= 2 && x < 7 && y >= 1 && y < 5;
      ASSERT_EQ(target.At(x, y), inside ? Pattern(x - 2, y - 1) : kBackground) << x << "," << y;
    }
  // The graphics state is the caller's again.
  const CGAffineTransform ctm = CGContextGetCTM(target.context);
  EXPECT_EQ(ctm.d, GetParam() == Coordinates::Flipped ? -1.0 : 1.0);
}

TEST_P(CanvasRenderIn, ScalesToTheRectangle) {
  Surface target(12, 12, GetParam(), kBackground);
  ComPtr<IPXMImageCANVAS> canvas = PatternCanvas(3, 2);
  ASSERT_EQ(Draw(canvas.Get(), target.context, {0, 0, 6, 6}), PXM_S_OK);  // 2× across, 3× down
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 6; ++x) ASSERT_EQ(target.At(x, y), Pattern(x / 2, y / 3)) << x << "," << y;
  EXPECT_EQ(target.At(6, 0), kBackground);
  EXPECT_EQ(target.At(0, 6), kBackground);
}

INSTANTIATE_TEST_SUITE_P(Coordinates, CanvasRenderIn, testing::Values(Coordinates::Flipped, Coordinates::Unflipped),
                         [](const auto& info) { return std::string(Name(info.param)); });

// The transparent colour 0x00BBGGRR leaves out exactly the pixels of that colour; the top byte
// is not read, and only -1 turns masking off.
TEST(CanvasRender, LeavesOutTheTransparentColour) {
  const uint32_t key = Rgbx(0x99, 0x66, 0x33);
  const uint32_t nearKey[] = {Rgbx(0x98, 0x66, 0x33), Rgbx(0x99, 0x67, 0x33), Rgbx(0x99, 0x66, 0x34)};
  ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(5, 1);
  const uint32_t row[5] = {key, nearKey[0], nearKey[1], nearKey[2], Rgbx(0, 0, 0)};
  std::memcpy(ImageRow(canvas.Get(), 0), row, sizeof row);

  struct Case {
    int color;
    uint32_t expected[5];
  };
  for (const Case& c : {Case{-1, {key, nearKey[0], nearKey[1], nearKey[2], 0}},
                        Case{0x00336699, {kBackground, nearKey[0], nearKey[1], nearKey[2], 0}},
                        Case{0x7F336699, {kBackground, nearKey[0], nearKey[1], nearKey[2], 0}},
                        Case{static_cast<int>(0xFF000000u), {key, nearKey[0], nearKey[1], nearKey[2], kBackground}}}) {
    SCOPED_TRACE(testing::Message() << std::hex << c.color);
    Surface target(5, 2, Coordinates::Flipped, kBackground);
    canvas->put_TransparentColor(c.color);
    ASSERT_EQ(Draw(canvas.Get(), target.context, {0, 0, 5, 2}), PXM_S_OK);
    for (uint32_t y = 0; y < 2; ++y)
      for (uint32_t x = 0; x < 5; ++x) EXPECT_EQ(target.At(x, y), c.expected[x]) << x << "," << y;
  }
}

// What the host drew into the canvas through its context is what gets drawn.
TEST(CanvasRender, DrawsWhatTheHostDrewIntoTheCanvas) {
  ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(4, 4);
  CGContextRef own = nullptr;
  canvas->get_CANVAS(&own);
  CGContextSetRGBFillColor(own, 0, 1, 0, 1);
  CGContextFillRect(own, CGRectMake(0, 0, 2, 4));  // the left half, green
  Surface target(4, 4, Coordinates::Flipped, kBackground);
  ASSERT_EQ(Draw(canvas.Get(), target.context, {0, 0, 4, 4}), PXM_S_OK);
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(target.At(x, y), x < 2 ? Rgbx(0, 255, 0) : 0u) << x << "," << y;
}

// Fitting keeps the aspect ratio and centres the canvas on the destination, whatever the sign
// of its size and wherever its centre lies.
TEST(CanvasRender, FitsIntoTheRectangle) {
  struct Case {
    CANVASRect destination;
    CANVASRect drawn;  // in the target's flipped coordinates after its own translation
  };
  ComPtr<IPXMImageCANVAS> canvas = PatternCanvas(4, 2);
  for (const Case& c : {Case{{0, 0, 8, 8}, {0, 2, 8, 4}},      // scale 2 by the width
                        Case{{0, 0, 16, 4}, {4, 0, 8, 4}},     // scale 2 by the height
                        Case{{12, 2, -8, 4}, {12, 2, 8, 4}},   // |width| used: centre (16, 4)
                        Case{{-12, -6, 8, 8}, {-12, -4, 8, 4}}}) {  // centred at (-8, -2)
    SCOPED_TRACE(testing::Message() << c.destination.x << "," << c.destination.y << "," << c.destination.width << ","
                                    << c.destination.height);
    Surface target(40, 20, Coordinates::Flipped, kBackground);
    CGContextTranslateCTM(target.context, 20, 10);  // user (-20, -10) is the top left pixel
    CANVASRect rect = c.destination;
    ASSERT_EQ(DrawWithFlags(canvas.Get(), target.context, &rect, FitToRect), PXM_S_OK);
    for (int32_t y = -10; y < 10; ++y)
      for (int32_t x = -20; x < 20; ++x) {
        const int32_t u = x - c.drawn.x, v = y - c.drawn.y;
        const bool inside = u >= 0 && u < c.drawn.width && v >= 0 && v < c.drawn.height;
        const uint32_t expected = inside ? Pattern(u * 4 / c.drawn.width, v * 2 / c.drawn.height) : kBackground;
        ASSERT_EQ(target.At(x + 20, y + 10), expected) << x << "," << y;
      }
  }
}

}  // namespace
