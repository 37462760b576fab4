// Drawing images the way this module's hosts do: into a colour canvas, in flipped coordinates
// (origin at the top left), so every picture comes out upright.
#pragma once
#include <cstdint>
#include <string>

#include "ModuleSet.h"

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};
// "RRGGBB" → colour; false when the text is not six hex digits.
bool ParseRgb(const std::string& text, Rgb* colour);
// The canvas's transparent-colour encoding, 0x00BBGGRR.
inline int TransparentValue(Rgb c) { return c.r | c.g << 8 | c.b << 16; }

// A colour canvas of the given size, filled with the background.
ComPtr<IPXMImageCANVAS> MakeCanvas(const ModuleSet& modules, uint32_t width, uint32_t height, Rgb background,
                                   HRESULT* result);
// Fills the canvas with a checkerboard of two greys, squares of `cell` pixels.
void DrawCheckerboard(IPXMImageCANVAS* canvas, uint32_t cell);

// Renders an image (anything answering IPXMImageRender / IRenderableObject) into the canvas's
// context through a flipped CTM: destination rectangle in top-left-origin coordinates.
HRESULT RenderFlipped(IPXMImageCANVAS* target, IUnknown* image, CANVASRect destination, const CANVASRect* source,
                      bool fit);
// The same without the flip: the target then holds the picture as a canvas copy of it would, its
// top row in the canvas's last buffer row, ready to be drawn upright in flipped coordinates.
HRESULT RenderAsCanvasCopy(IPXMImageCANVAS* target, IUnknown* image, CANVASRect destination,
                           const CANVASRect* source);

// Writes a colour canvas as a PNG. Returns an error text, empty on success.
std::string WriteCanvasPng(IPXMImageCANVAS* canvas, const std::string& path);
