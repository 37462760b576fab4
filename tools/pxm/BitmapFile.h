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
