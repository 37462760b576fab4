// Writing pictures as PNG files.
#pragma once
#include <cstdint>
#include <string>

// Writes width × height pixels of 4 bytes (red, green, blue, unused) as an RGB PNG; rows are
// `stride` bytes apart, the top row first. Written under a temporary name and renamed, so a
// failure leaves nothing under the output name. Returns an error text, empty on success.
std::string WritePng(const std::string& path, uint32_t width, uint32_t height, const uint8_t* rows,
                     int64_t stride);
