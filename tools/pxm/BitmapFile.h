// Bitmap files: a 14-byte file header in front of a DIB block.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A 24-bit bitmap file from red, green, blue pixels, top row first.
std::vector<uint8_t> EncodeBitmap24(uint32_t width, uint32_t height, const uint8_t* rgbTopDown);

// Writes a DIB block as a bitmap file. paletteBytes is the size of the block's palette area, so
// the file header can point at the first pixel row. Returns an error text, empty on success.
std::string WriteBitmapFile(const std::string& path, const uint8_t* dib, uint32_t dibSize, uint32_t paletteBytes);

// What a bitmap file holds, from its headers: "plain 24-bit", "top-down plain 8-bit", "run-length
// 8-bit", "bit fields 5-6-5 16-bit", "bit fields 4-4-4 + 4 alpha 16-bit", and its header size.
// Empty when the file cannot be read or is no bitmap file.
std::string DescribeBitmapFile(const std::string& path);

// A new DIB block (from malloc, for an image to own) with a 40-byte header and no palette, of
// 24- or 32-bit rows stored bottom-up from red, green, blue (, alpha) pixels, top row first: the
// byte order of a loaded colour image. Null when it cannot be allocated.
uint8_t* NewDibBlock(uint32_t width, uint32_t height, uint32_t bitsPerPixel, const uint8_t* topDown);
