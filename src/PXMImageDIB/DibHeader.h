// The layout of a DIB block: information header, palette area, pixel rows. One reader serves
// both the caller's blocks (CreateOnDIB) and the bytes read from a bitmap file, so the object and
// the file loader always agree on where the palette and the rows are.
#pragma once
#include <cstddef>
#include <cstdint>

// Bytes of a palette entry in the block: 4 (blue, green, red, 0) after an information header and
// in blocks we make ourselves, 3 (blue, green, red) after the 12-byte core header.
inline constexpr uint32_t kQuadEntry = 4;
inline constexpr uint32_t kTripleEntry = 3;
inline constexpr uint32_t kCoreHeaderSize = 12;
inline constexpr uint32_t kInfoHeaderSize = 40;
inline constexpr uint32_t kMaxPaletteEntries = 256;

// Bytes in one stored row: rows are padded to 4 bytes; depths are grouped as the block stores them.
constexpr uint64_t DibRowLength(uint32_t bitsPerPixel, uint32_t width) {
  const uint64_t w = width;
  if (bitsPerPixel < 8) return (bitsPerPixel * w + 31) / 32 * 4;
  if (bitsPerPixel == 8) return (w + 3) & ~uint64_t{3};
  if (bitsPerPixel <= 16) return (2 * w + 3) & ~uint64_t{3};
  if (bitsPerPixel <= 24) return (3 * w + 3) & ~uint64_t{3};
  return 4 * w;
}

// Palette entries of a depth: 2 at 1 bit, 16 at 4 bits, at 8 bits the colours-used count (0: 256,
// never more than 256), none otherwise.
constexpr uint32_t DibPaletteCount(uint32_t bitsPerPixel, uint32_t coloursUsed) {
  switch (bitsPerPixel) {
    case 1: return 2;
    case 4: return 16;
    case 8: return coloursUsed == 0 || coloursUsed > kMaxPaletteEntries ? kMaxPaletteEntries : coloursUsed;
    default: return 0;
  }
}

// Whether the first field of a header names a form we read: the core header or one of the
// information headers (40 bytes and its longer versions, same fields at the same offsets).
bool IsKnownDibHeaderSize(uint32_t headerSize);

// Whether a block may hold rows of this depth: 1 to 32 bits per pixel.
bool IsStoredDibDepth(uint32_t bitsPerPixel);

struct DibLayout {
  uint32_t headerSize = 0;
  uint32_t width = 0;
  uint32_t height = 0;  // rows stored top-down (negative height) are taken as bottom-up
  bool topDown = false;  // what the sign of the height said
  uint32_t bitsPerPixel = 0;
  uint32_t fourcc = 0;
  uint32_t entrySize = 0;
  uint32_t coloursUsed = 0;  // the header's own count (the core header has none: 0)
  uint32_t paletteCount = 0;
  uint64_t rowLength = 0;

  uint64_t PaletteSize() const { return uint64_t{entrySize} * paletteCount; }
  uint64_t PixelOffset() const { return headerSize + PaletteSize(); }
  // Header, palette and rows; UINT64_MAX when that does not fit 64 bits.
  uint64_t Total() const {
    uint64_t total = 0;
    if (__builtin_mul_overflow(rowLength, uint64_t{height}, &total) ||
        __builtin_add_overflow(total, PixelOffset(), &total))
      return UINT64_MAX;
    return total;
  }
};

// A block whose header the caller vouches for: its fields are read without a bound.
inline constexpr size_t kTrustedHeader = SIZE_MAX;

// Writes the 40-byte information header of a bottom-up, uncompressed block.
void WriteInfoHeader(uint8_t* block, const DibLayout& layout, uint32_t coloursUsed);

// Reads the header at the start of the block, of which `available` bytes may be read; fields past
// them read as 0. False, with nothing written, when the header size or the depth is not one we read.
bool ReadDibLayout(const uint8_t* block, size_t available, DibLayout* layout);
