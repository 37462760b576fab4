// What the commands share: loading bitmap files into DIB images, describing images, and writing
// any image of the module as a PNG picture, a bitmap file or a stream file.
#pragma once
#include <string>

#include "Drawing.h"
#include "Failure.h"
#include "ModuleSet.h"


// Loads a bitmap file into a new DIB image; a PNG file goes in through a block of its pixels
// (CreateOnDIB), 24-bit, or 32-bit when it has alpha (which the DIB image then ignores).
ComPtr<IPXMImageDIB> LoadBitmap(const ModuleSet& modules, const std::string& path, Failure* failure);

struct Description {
  uint32_t width = 0, height = 0, planes = 0, bitsPerPixel = 0, fourcc = 0;
};
Description Describe(IPXMImage* image);
std::string FourccName(uint32_t fourcc);

// Writes the image by the output's extension: ".png" (drawn upright), ".bmp" (a DIB image's
// block behind a file header) or anything else as a stream file of the image's record.
bool WriteImage(const ModuleSet& modules, IPXMImage* image, const std::string& path, Failure* failure);
