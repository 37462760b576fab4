// The working pixel: one 32-bit word with red in bits 0-7, green 8-15, blue 16-23, alpha 24-31.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace cg {

static_assert(std::endian::native == std::endian::little, "pixel words are read as little-endian loads");

constexpr uint32_t kOpaqueAlpha = 0xFF000000u;

constexpr uint32_t packPixel(uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha) {
  return red | green << 8 | blue << 16 | alpha << 24;
}

// A 5-bit component as 8 bits, so that 0 and 31 become 0 and 255.
constexpr uint32_t widen5(uint32_t v) { return v << 3 | v >> 2; }

// Byte-wise loads and stores: rows need not be 4-byte aligned.
inline uint32_t load32(const uint8_t* p) {
  uint32_t w;
  std::memcpy(&w, p, 4);
  return w;
}

inline void store32(uint8_t* p, uint32_t w) { std::memcpy(p, &w, 4); }

}  // namespace cg
