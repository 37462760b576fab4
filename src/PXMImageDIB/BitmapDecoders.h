// The decoders that turn a bitmap file's pixel data into plain DIB rows, one per row form. Each
// writes every byte of every row it is given, padding included: what the file does not say is 0.
#pragma once
#include <cstddef>
#include <cstdint>

#include "PXMImageDIB/BitmapFormat.h"
#include "PXMImageDIB/DibBlock.h"

// What a file decodes to: the block the image takes, and whether its rows carry alpha.
struct DecodedImage {
  uint8_t* block = nullptr;
  bool alpha = false;
};

// Makes of a file's bytes after its 14-byte header (`got` were read into `file`, of a file of
// `fileSize` bytes; `pixelDataOffset` is the file header's field) the block of a plain DIB: the
// file's own block, taken from `file`, or a new one (`file` then keeps the file's, for its holder
// to free). 0x80070057 for what we do not read or a claim beyond the file's bound, 0x8007000E when
// no block can be had.
HRESULT DecodeBitmap(BlockHolder* file, size_t got, uint64_t fileSize, uint32_t pixelDataOffset, DecodedImage* out);

// Rows stored bottom-up: row 0 is the bottom row of the picture.
struct DibRows {
  uint8_t* bits = nullptr;
  uint64_t rowLength = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 0;
  uint8_t* Row(uint32_t y) const { return bits + y * rowLength; }
};

// The file's pixel data: from where its rows start to the end of what was read.
struct PixelData {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  // The bytes of the file's i-th row that the file holds (at most `length`), and where they start.
  size_t RowBytes(uint32_t i, uint64_t length, const uint8_t** row) const {
    const uint64_t at = uint64_t{i} * length;
    *row = bytes + (at < size ? at : size);
    return at < size ? static_cast<size_t>(size - at < length ? size - at : length) : 0;
  }
};

// Plain rows at the file's depth (2-bit rows widened to 4-bit indices), in either row order.
void DecodePlainRows(const BitmapFormat& format, PixelData pixels, const DibRows& rows);

// Rows in place in the block they were read into, top row first, put bottom-up.
void ReverseRows(const DibRows& rows);

// Whether the masks already describe a stored layout: 16-bit 5-5-5, or 32-bit blue, green, red
// bytes with alpha in the fourth byte or none. Such rows stay as read.
bool MasksAreStored(const ChannelMasks& masks, uint32_t bitsPerPixel);
// Whether any pixel's alpha is nonzero: an alpha channel that is zero throughout is no alpha.
bool AnyAlpha(const BitmapFormat& format, PixelData pixels);
// 16- or 32-bit pixels of any masks into 24-bit rows, or 32-bit rows with alpha.
void DecodeBitFieldRows(const BitmapFormat& format, PixelData pixels, const DibRows& rows);

// A run-length file can claim any size (an early end, or a delta, covers any number of pixels),
// and a genuine one decodes to about 128 times its bytes (two bytes repeat one index 255 times).
// Its decoded image may be at most this many times the file, plus the allowance below for small
// pictures coded sparsely; beyond it the file is refused before anything is allocated.
inline constexpr uint64_t kRunLengthExpansion = 128;
inline constexpr uint64_t kRunLengthAllowance = uint64_t{1} << 20;
// Run-length coded 8- or 4-bit indices; pixels the stream never sets are index 0.
void DecodeRunLengthRows(const BitmapFormat& format, PixelData pixels, const DibRows& rows);
