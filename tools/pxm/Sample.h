// The built-in sample: a 24-bit colour chart whose layout shows orientation at a glance, with an
// area of one solid colour meant to be left out when drawn.
//
//   +-----------------------------------+
//   | grey ramp, black (left) to white  |   top band: rows 0 .. kBand-1
//   +-----------------+-----------------+
//   |      red        |      green      |
//   |        +--------+--------+        |   the key area (magenta) in the middle
//   |        |     magenta     |        |
//   |        +--------+--------+        |
//   |      blue       |     yellow      |
//   +-----------------+-----------------+
#pragma once
#include <cstdint>
#include <vector>

namespace sample {

inline constexpr uint32_t kWidth = 320;
inline constexpr uint32_t kHeight = 200;
inline constexpr uint32_t kBand = 40;
// The key area, in pixels from the top left: [kKeyLeft, kKeyRight) × [kKeyTop, kKeyBottom).
inline constexpr uint32_t kKeyLeft = 110, kKeyRight = 210, kKeyTop = 90, kKeyBottom = 150;
inline constexpr uint32_t kKeyColour = 0xFF00FF;  // RRGGBB

// The colour of the sample at (x, y), y counted from the top, as RRGGBB.
uint32_t ColourAt(uint32_t x, uint32_t y);

// The sample as the bytes of a 24-bit bitmap file (40-byte header, rows bottom-up).
std::vector<uint8_t> BitmapFile();

}  // namespace sample
