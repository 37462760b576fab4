// Run-length coded indices (8-bit, and 4-bit with two indices a byte). The stream is pairs: a count
// of 1 to 255 repeats the next byte's index (at 4 bits, its two nibbles in turn); a count of 0
// escapes: 0 ends the line, 1 ends the bitmap, 2 moves right and up by the next two bytes, and 3
// to 255 is an absolute run of that many indices, padded to a 16-bit boundary. The rows are
// cleared first, so pixels the stream skips, or never reaches, are index 0; runs past the end of
// a row are clipped to it.
#include <cstring>

#include "PXMImageDIB/BitmapDecoders.h"
#include "PXMImageDIB/LittleEndian.h"

namespace {

// One row being written: indices at x and on, clipped to the width.
struct RowWriter {
  uint8_t* row;
  uint32_t width;
  bool nibbles;  // 4-bit indices, the high nibble first

  void Put(uint32_t x, uint32_t index) const {
    if (!nibbles) {
      row[x] = static_cast<uint8_t>(index);
      return;
    }
    uint8_t& b = row[x / 2];
    b = static_cast<uint8_t>(x % 2 ? (b & 0xF0) | index : (b & 0x0F) | index << 4);
  }
  // `count` pixels from x of the byte's index (at 4 bits, its nibbles in turn).
  void Repeat(uint32_t x, uint32_t count, uint32_t value) const {
    const uint32_t end = uint64_t{x} + count < width ? x + count : width;
    if (!nibbles) {
      if (x < end) std::memset(row + x, static_cast<int>(value), end - x);
      return;
    }
    for (uint32_t i = x; i < end; ++i) Put(i, (i - x) % 2 ? value & 0x0F : value >> 4);
  }
  void Absolute(uint32_t x, uint32_t count, const uint8_t* in) const {
    const uint32_t end = uint64_t{x} + count < width ? x + count : width;
    if (!nibbles) {
      if (x < end) std::memcpy(row + x, in, end - x);
      return;
    }
    for (uint32_t i = x; i < end; ++i) {
      const uint32_t k = i - x;
      Put(i, k % 2 ? in[k / 2] & 0x0F : in[k / 2] >> 4);
    }
  }
};

}  // namespace

void DecodeRunLengthRows(const BitmapFormat& format, PixelData pixels, const DibRows& rows) {
  std::memset(rows.bits, 0, rows.rowLength * rows.height);
  const bool nibbles = format.form == BitmapRowForm::RunLength4;
  ByteStream stream(pixels.bytes, pixels.size);
  uint32_t x = 0, y = 0;  // y counts the file's rows, in the order it stores them
  const auto advance = [&](uint32_t n) { x = uint64_t{x} + n < rows.width ? x + n : rows.width; };
  while (y < rows.height) {
    const uint32_t count = stream.U8(), value = stream.U8();
    if (stream.Ended()) break;
    const RowWriter writer{rows.Row(format.StoredRow(y)), rows.width, nibbles};
    if (count) {
      writer.Repeat(x, count, value);
      advance(count);
    } else if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      const uint32_t right = stream.U8(), up = stream.U8();
      advance(right);
      y += up;
    } else {
      const uint32_t bytes = nibbles ? (value + 1) / 2 : value;
      const uint8_t* in = stream.Take((bytes + 1) & ~1u);
      if (!in) break;
      writer.Absolute(x, value, in);
      advance(value);
    }
  }
}
