#include "ChannelSwap.h"

#include <cstddef>
#include <cstring>

// Both loops work on 64-bit little-endian words loaded through memcpy (rows need not be
// aligned) and move bytes with masks and shifts only, in fixed groups of words that the
// compiler packs into vector registers.

namespace host {

namespace {

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

inline void SwapPixel(uint8_t* p) {
  const uint8_t first = p[0];
  p[0] = p[2];
  p[2] = first;
}

// Two 4-byte pixels: bytes 0 and 2 of each trade places, bytes 1 and 3 stay.
inline uint64_t SwapTwo32(uint64_t v) {
  return (v & 0xFF00FF00FF00FF00u) | ((v >> 16) & 0x000000FF000000FFu) | ((v & 0x000000FF000000FFu) << 16);
}

// 3-byte pixels repeat every 24 bytes, three words. Byte i of a row is blue (i % 3 == 0) and
// takes byte i + 2, green (1) stays, red (2) takes byte i - 2. Per word: which bytes come
// from where.
struct Lanes {
  uint64_t stay, fromNext, fromPrevious;
};

constexpr Lanes MakeLanes(int word) {
  Lanes lanes{};
  for (int b = 0; b < 8; ++b) {
    const uint64_t byte = uint64_t{0xFF} << (8 * b);
    switch ((word * 8 + b) % 3) {
      case 0: lanes.fromNext |= byte; break;
      case 1: lanes.stay |= byte; break;
      default: lanes.fromPrevious |= byte; break;
    }
  }
  return lanes;
}

constexpr Lanes kLanes[3] = {MakeLanes(0), MakeLanes(1), MakeLanes(2)};

inline uint64_t Mix(uint64_t same, uint64_t next, uint64_t previous, const Lanes& lanes) {
  return (same & lanes.stay) | (next & lanes.fromNext) | (previous & lanes.fromPrevious);
}

}  // namespace

void SwapRedBlue32(uint8_t* row, uint32_t width) {
  const size_t bytes = size_t{width} * 4;
  size_t x = 0;
  for (; x + 16 <= bytes; x += 16) {
    const uint64_t a = Load64(row + x), b = Load64(row + x + 8);
    Store64(row + x, SwapTwo32(a));
    Store64(row + x + 8, SwapTwo32(b));
  }
  for (; x < bytes; x += 4) SwapPixel(row + x);
}

void SwapRedBlue24(uint8_t* row, uint32_t width) {
  const size_t bytes = size_t{width} * 3;
  size_t x = 0;
  // Blocks of 16 pixels (48 bytes, six words). Every load stays inside its block: the
  // neighbours that the first and last word need lie in the word itself, so they come by
  // shifting. A load that reached into the block just stored would stall on it.
  for (; x + 48 <= bytes; x += 48) {
    uint8_t* p = row + x;
    const uint64_t first = Load64(p), last = Load64(p + 40);
    const uint64_t o0 = Mix(first, Load64(p + 2), first << 16, kLanes[0]);
    const uint64_t o1 = Mix(Load64(p + 8), Load64(p + 10), Load64(p + 6), kLanes[1]);
    const uint64_t o2 = Mix(Load64(p + 16), Load64(p + 18), Load64(p + 14), kLanes[2]);
    const uint64_t o3 = Mix(Load64(p + 24), Load64(p + 26), Load64(p + 22), kLanes[0]);
    const uint64_t o4 = Mix(Load64(p + 32), Load64(p + 34), Load64(p + 30), kLanes[1]);
    const uint64_t o5 = Mix(last, last >> 16, Load64(p + 38), kLanes[2]);
    Store64(p, o0);
    Store64(p + 8, o1);
    Store64(p + 16, o2);
    Store64(p + 24, o3);
    Store64(p + 32, o4);
    Store64(p + 40, o5);
  }
  for (; x < bytes; x += 3) SwapPixel(row + x);
}

}  // namespace host
