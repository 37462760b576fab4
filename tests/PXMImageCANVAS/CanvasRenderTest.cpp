// Drawing a canvas into another context: the transparent colour and grey canvases (pixels 1:1,
// scaled and fitted, and result codes: with the DIB's drawing tests).
#include <gtest/gtest.h>

#include "RenderTestSupport.h"

namespace {

constexpr uint32_t kBackground = Rgbx(1, 2, 3);

// The transparent colour 0x00BBGGRR leaves out exactly the pixels of that colour, whatever its
// components (magenta, white and black keys too); the top byte is not read, and only -1 turns
// masking off.
TEST(CanvasRender, LeavesOutTheTransparentColour) {
  for (const uint32_t key : {Rgbx(0x99, 0x66, 0x33), Rgbx(255, 0, 255), Rgbx(255, 255, 255), Rgbx(0, 0, 0)}) {
    const uint32_t row[5] = {key, key ^ 0x000001, key ^ 0x000100, key ^ 0x010000, key ^ 0x808080};  // one step off in red, green, blue
    ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(5, 1);
    std::memcpy(ImageRow(canvas.Get(), 0), row, sizeof row);
    for (const int colour : {-1, int(key), int(key | 0x7F000000u), int(key | 0xFF000000u)}) {
      SCOPED_TRACE(testing::Message() << std::hex << colour);
      Surface target(5, 2, Coordinates::Flipped, kBackground);
      canvas->put_TransparentColor(colour);
      ASSERT_EQ(Draw(canvas.Get(), target.context, {0, 0, 5, 2}), PXM_S_OK);
      for (uint32_t x = 0; x < 5; ++x) EXPECT_EQ(target.At(x, 1), x == 0 && colour != -1 ? kBackground : row[x]) << x;
    }
  }
}

// A grey canvas lends a grey context that takes a drawing, and draws into a colour canvas as grey
// pixels. A grey transparent colour leaves out its level; a colour no grey pixel has leaves out nothing.
TEST(CanvasRender, GreyCanvasTakesADrawingAndDrawsItAsGrey) {
  ComPtr<IPXMImageCANVAS> grey = ModuleHost::Get().CreateCanvas();
  ASSERT_EQ(grey->Create(4, 2, 1, 8, FOURCC_MONO), PXM_S_OK);
  CGContextRef context = nullptr;
  grey->get_CANVAS(&context);
  ASSERT_NE(context, nullptr);
  CGContextSetGrayFillColor(context, 0.6, 1);
  CGContextFillRect(context, CGRectMake(1, 0, 2, 1));  // the device's bottom row: GetImage row 0
  EXPECT_EQ(std::vector<uint8_t>(ImageRow(grey.Get(), 0), ImageRow(grey.Get(), 0) + 4), (std::vector<uint8_t>{0, 153, 153, 0}));
  for (const int colour : {-1, 0x999999, 0x000000, 0x000099}) {
    SCOPED_TRACE(testing::Message() << std::hex << colour);
    grey->put_TransparentColor(colour);
    Surface target(4, 2, Coordinates::Unflipped, kBackground);
    ASSERT_EQ(Draw(grey.Get(), target.context, {0, 0, 4, 2}), PXM_S_OK);
    for (uint32_t y = 0; y < 2; ++y)
      for (uint32_t x = 0; x < 4; ++x) {
        const uint8_t level = y == 0 && (x == 1 || x == 2) ? 153 : 0;
        EXPECT_EQ(target.At(x, y), colour == level * 0x010101 ? kBackground : Rgbx(level, level, level)) << x << "," << y;
      }
  }
}

}  // namespace
