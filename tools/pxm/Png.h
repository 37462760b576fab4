// Reading and writing pictures as PNG files.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Writes width × height pixels of 4 bytes (red, green, blue, unused) as an RGB PNG; rows are
// `stride` bytes apart, the top row first. Written under a temporary name and renamed, so a
// failure leaves nothing under the output name. Returns an error text, empty on success.
std::string WritePng(const std::string& path, uint32_t width, uint32_t height, const uint8_t* rows,
                     int64_t stride);

// A PNG picture: red, green, blue (and alpha, when the file has any) bytes, top row first.
struct PngPicture {
  uint32_t width = 0, height = 0;
  bool alpha = false;
  std::vector<uint8_t> pixels;
};
bool IsPngFile(const std::string& path);
// Reads a PNG file of at most 2^28 pixels. Returns an error text, empty on success.
std::string ReadPng(const std::string& path, PngPicture* picture);
