// What a bitmap file holds, read from its headers before any pixel is touched: the header's kind,
// how its rows are coded, where its palette and rows lie. The decoders work from this alone.
//
// A bitmap file is a 14-byte file header ("BM", file size, two reserved words, the offset of the
// pixel data), an information header (12 bytes for the core form, else 40 or one of its longer
// versions), optional channel masks, a palette and the pixel data. Rows are padded to 4 bytes and
// stored bottom-up unless the height is negative.
#pragma once
#include <cstddef>
#include <cstdint>

#include "PXMImageDIB/DibHeader.h"
#include "pxm/Types.h"

enum class BitmapHeaderKind {
  Core,    // 12 bytes: 16-bit sizes, 3-byte palette entries, no compression
  Info,    // 40 bytes: bit-field masks, when there are any, follow it
  Os2,     // 64 bytes: the information header's fields, with codes 3 and 4 of its own
  Masked,  // 52, 56, 108 or 124 bytes: the masks lie inside it
};

enum class BitmapRowForm { Plain, BitFields, RunLength8, RunLength4 };

struct ChannelMasks {
  uint32_t red = 0, green = 0, blue = 0, alpha = 0;
};

// Offsets are into the block: the file after its 14-byte file header.
struct BitmapFormat {
  BitmapHeaderKind kind = BitmapHeaderKind::Info;
  BitmapRowForm form = BitmapRowForm::Plain;
  uint32_t headerSize = 0;
  uint32_t width = 0;
  uint32_t height = 0;  // the row count
  bool topDown = false;
  uint32_t bitsPerPixel = 0;
  uint32_t coloursUsed = 0;
  ChannelMasks masks;          // bit fields only
  uint32_t entrySize = 0;      // bytes of a palette entry in the file
  uint32_t paletteAt = 0;      // after the header and any masks that follow it
  uint32_t paletteEntries = 0; // the entries the file holds, at most 256
  uint64_t rowsAt = 0;         // where the pixel data starts

  uint64_t FileRowLength() const { return DibRowLength(bitsPerPixel, width); }
  // Where the file's i-th row goes among rows stored bottom-up.
  uint32_t StoredRow(uint32_t fileRow) const { return topDown ? height - 1 - fileRow : fileRow; }
};

// Reads the headers of a block of `size` bytes; `pixelDataOffset` is the file header's field.
// 0x80070057 for a header, depth, code or mask set that we do not read.
HRESULT ReadBitmapFormat(const uint8_t* block, size_t size, uint32_t pixelDataOffset, BitmapFormat* format);
