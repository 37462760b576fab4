#include "Drawing.h"

#include <CoreGraphics/CoreGraphics.h>

#include <cstdlib>

#include "Png.h"

bool ParseRgb(const std::string& text, Rgb* colour) {
  if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
  const unsigned long v = std::strtoul(text.c_str(), nullptr, 16);
  *colour = {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  return true;
}

ComPtr<IPXMImageCANVAS> MakeCanvas(const ModuleSet& modules, uint32_t width, uint32_t height, Rgb background,
                                   HRESULT* result) {
  ComPtr<IPXMImageCANVAS> canvas = modules.Create<IPXMImageCANVAS>(L"PXMImageCANVAS", pxm::iid::IPXMImageCANVAS);
  *result = canvas ? canvas->Create(width, height, 1, 32, FOURCC_RGB) : PXM_E_FAIL;
  if (PXM_FAILED(*result)) {
    canvas.Reset();
    return canvas;
  }
  // Fill value bytes in memory order: red, green, blue, unused.
  canvas->Equal(background.r | background.g << 8 | background.b << 16);
  return canvas;
}

void DrawCheckerboard(IPXMImageCANVAS* canvas, uint32_t cell) {
  CGContext* context = nullptr;
  uint32_t width = 0, height = 0;
  canvas->get_CANVAS(&context);
  canvas->GetSize(&width, &height, nullptr);
  if (!context) return;
  for (uint32_t y = 0; y < height; y += cell)
    for (uint32_t x = 0; x < width; x += cell) {
      const CGFloat grey = ((x / cell + y / cell) % 2) ? 0.6 : 0.85;
      CGContextSetRGBFillColor(context, grey, grey, grey, 1.0);
      CGContextFillRect(context, CGRectMake(x, y, cell, cell));
    }
}

namespace {

HRESULT Render(IPXMImageCANVAS* target, IUnknown* image, CANVASRect destination, const CANVASRect* source, bool fit,
               bool flipped) {
  CGContext* context = nullptr;
  uint32_t height = 0;
  target->get_CANVAS(&context);
  target->GetSize(nullptr, &height, nullptr);
  if (!context) return PXM_E_FAIL;
  CGContextSaveGState(context);
  if (flipped) {
    CGContextTranslateCTM(context, 0, height);
    CGContextScaleCTM(context, 1, -1);
  }
  HRESULT hr = PXM_E_NOINTERFACE;
  if (fit || !source) {
    ComPtr<IRenderableObject> renderable;
    image->QueryInterface(pxm::iid::IRenderableObject, renderable.Out());
    if (renderable) hr = renderable->Render(context, &destination, nullptr, fit ? FitToRect : 0);
  } else {
    ComPtr<IPXMImageRender> render;
    image->QueryInterface(pxm::iid::IPXMImageRender, render.Out());
    CANVASRect cut = *source;
    if (render) hr = render->Render(context, &destination, &cut);
  }
  CGContextRestoreGState(context);
  return hr;
}

}  // namespace

HRESULT RenderFlipped(IPXMImageCANVAS* target, IUnknown* image, CANVASRect destination, const CANVASRect* source,
                      bool fit) {
  return Render(target, image, destination, source, fit, true);
}

HRESULT RenderAsCanvasCopy(IPXMImageCANVAS* target, IUnknown* image, CANVASRect destination,
                           const CANVASRect* source) {
  return Render(target, image, destination, source, false, false);
}

std::string WriteCanvasPng(IPXMImageCANVAS* canvas, const std::string& path) {
  uint32_t width = 0, height = 0, size = 0;
  uint8_t* data = nullptr;
  int32_t stride = 0;
  canvas->GetSize(&width, &height, nullptr);
  if (PXM_FAILED(canvas->GetImage(0, &size, &data, &stride)) || !data) return "the canvas holds no pixels";
  // GetImage hands out the canvas's rows bottom row first; the PNG wants the top row first.
  const uint8_t* top = data + int64_t(height - 1) * stride;
  return WritePng(path, width, height, top, -int64_t(stride));
}
