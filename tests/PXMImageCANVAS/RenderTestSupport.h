// What the drawing and copy tests share: canvas pixels as words, and colour canvases of the module
// as drawing destinations (Surface) whose pixels are read back where the test drew them.
#pragma once
#include <CoreGraphics/CoreGraphics.h>
#include <gtest/gtest.h>

#include <cstring>

#include "ModuleHost.h"
#include "TestImage.h"

// A canvas pixel as a word: red in the low byte, then green, blue and the fourth byte, as the
// bytes lie in memory. The fourth byte carries no colour: checks compare the other three (kRgbMask).
constexpr uint32_t Rgbx(uint8_t r, uint8_t g, uint8_t b, uint8_t x = 0) { return uint32_t{r} | uint32_t{g} << 8 | uint32_t{b} << 16 | uint32_t{x} << 24; }
constexpr uint32_t kRgbMask = 0x00FFFFFF;
inline uint32_t LoadPixel(const uint8_t* p) { uint32_t word; std::memcpy(&word, p, sizeof word); return word; }

inline uint8_t* ImageRow(IPXM* image, uint32_t y) { return view::Probe(image, 0).Row(y); }  // GetImage's row y


inline HRESULT Draw(IUnknown* image, CGContextRef context, CANVASRect destination, CANVASRect* source = nullptr) {
  return Query<IPXMImageRender>(image, pxm::iid::IPXMImageRender)->Render(context, &destination, source);
}
inline HRESULT DrawWithFlags(IUnknown* image, CGContextRef context, CANVASRect* destination, int flags) {
  return Query<IRenderableObject>(image, pxm::iid::IRenderableObject)->Render(context, destination, nullptr, flags);
}

inline ComPtr<IPXMImageCANVAS> MakeColourCanvas(uint32_t w, uint32_t h) {
  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  EXPECT_EQ(canvas->Create(w, h, 1, 32, FOURCC_RGB), PXM_S_OK);
  return canvas;
}

// The user space a test draws in. Flipped: origin at the top left, y down, as the module's hosts
// draw. Unflipped: Core Graphics' own, y up.
enum class Coordinates { Flipped, Unflipped };

struct Surface {
  ComPtr<IPXMImageCANVAS> canvas;
  CGContextRef context = nullptr;
  uint32_t width, height;
  Coordinates coordinates;

  Surface(uint32_t w, uint32_t h, Coordinates c, uint32_t background = 0)
      : canvas(MakeColourCanvas(w, h)), width(w), height(h), coordinates(c) {
    canvas->get_CANVAS(&context);
    EXPECT_NE(context, nullptr);
    Fill(background);
    if (c == Coordinates::Flipped) CGContextTranslateCTM(context, 0, h), CGContextScaleCTM(context, 1, -1);
  }
  void Fill(uint32_t pixel) { for (uint32_t i = 0; i < width * height; ++i) std::memcpy(BufferRow(i / width) + 4 * (i % width), &pixel, 4); }
  // Row y of the context's memory, the device's top row first.
  uint8_t* BufferRow(uint32_t y) const { return static_cast<uint8_t*>(CGBitmapContextGetData(context)) + size_t{y} * CGBitmapContextGetBytesPerRow(context); }
  // The pixel whose cell in user space is [x, x + 1) x [y, y + 1): in flipped coordinates buffer
  // row y, in unflipped ones row y from the bottom, which is the canvas's GetImage row y.
  uint32_t At(uint32_t x, uint32_t y) const {
    return LoadPixel((coordinates == Coordinates::Flipped ? BufferRow(y) : ImageRow(canvas.Get(), y)) + 4 * x) & kRgbMask;
  }
};
