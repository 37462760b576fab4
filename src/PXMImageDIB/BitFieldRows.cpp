// 16- and 32-bit pixels whose channels lie where masks say. Each channel is cut to its top 8 bits
// and widened to a byte by repeating its bits (5 bits v: v << 3 | v >> 2), so full intensity
// stays full; the result is blue, green, red bytes, and alpha when the rows keep it.
#include <bit>
#include <cstring>

#include "PXMImageDIB/BitmapDecoders.h"
#include "PXMImageDIB/DibCopyKernels.h"

namespace {

uint32_t Pixel(const uint8_t* at, uint32_t bytes) {
  uint32_t p = at[0] | at[1] << 8;
  if (bytes == 4) p |= uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
  return p;
}

struct Channel {
  uint32_t mask = 0, shift = 0, drop = 0;
  uint8_t widened[256] = {};

  explicit Channel(uint32_t m) : mask(m) {
    if (!m) return;  // no alpha: every pixel reads 0
    shift = std::countr_zero(m);
    const uint32_t span = 32 - std::countl_zero(m) - shift;
    drop = span > 8 ? span - 8 : 0;
    const int bits = static_cast<int>(span - drop);
    for (uint32_t v = 0; v < 1u << bits; ++v) {
      uint32_t out = 0;
      for (int at = 8 - bits;; at -= bits) {
        out |= at >= 0 ? v << at : v >> -at;
        if (at <= 0) break;
      }
      widened[v] = static_cast<uint8_t>(out);
    }
  }
  uint8_t Of(uint32_t pixel) const { return widened[((pixel & mask) >> shift) >> drop]; }
};

// The one layout that is neither stored nor 5-5-5 but common enough to have its own kernel.
bool Is565(const ChannelMasks& m) { return m.red == 0xF800 && m.green == 0x07E0 && m.blue == 0x001F && !m.alpha; }

}  // namespace

bool MasksAreStored(const ChannelMasks& m, uint32_t bitsPerPixel) {
  if (bitsPerPixel == 16)
    return m.red == 0x7C00 && m.green == 0x03E0 && m.blue == 0x001F && (m.alpha == 0 || m.alpha == 0x8000);
  return m.red == 0x00FF0000 && m.green == 0x0000FF00 && m.blue == 0x000000FF &&
         (m.alpha == 0 || m.alpha == 0xFF000000);
}

bool AnyAlpha(const BitmapFormat& format, PixelData pixels) {
  if (!format.masks.alpha) return false;
  const uint32_t bytes = format.bitsPerPixel / 8;
  for (uint32_t i = 0; i < format.height; ++i) {
    const uint8_t* row = nullptr;
    const size_t held = pixels.RowBytes(i, format.FileRowLength(), &row);
    const size_t count = held / bytes < format.width ? held / bytes : format.width;
    for (size_t x = 0; x < count; ++x)
      if (Pixel(row + x * bytes, bytes) & format.masks.alpha) return true;
    if (held < format.FileRowLength()) break;  // the file ends in this row
  }
  return false;
}

void DecodeBitFieldRows(const BitmapFormat& format, PixelData pixels, const DibRows& rows) {
  const uint32_t inBytes = format.bitsPerPixel / 8, outBytes = rows.bitsPerPixel / 8;
  const Channel blue(format.masks.blue), green(format.masks.green), red(format.masks.red),
      alpha(outBytes == 4 ? format.masks.alpha : 0);
  const bool fast = Is565(format.masks) && outBytes == 3;
  for (uint32_t i = 0; i < rows.height; ++i) {
    const uint8_t* in = nullptr;
    const size_t held = pixels.RowBytes(i, format.FileRowLength(), &in);
    const uint32_t count = static_cast<uint32_t>(held / inBytes < rows.width ? held / inBytes : rows.width);
    uint8_t* out = rows.Row(format.StoredRow(i));
    if (fast && count) {
      Widen565To24(out, in, count);
    } else {
      for (uint32_t x = 0; x < count; ++x) {
        const uint32_t p = Pixel(in + size_t{x} * inBytes, inBytes);
        uint8_t* o = out + size_t{x} * outBytes;
        o[0] = blue.Of(p);
        o[1] = green.Of(p);
        o[2] = red.Of(p);
        if (outBytes == 4) o[3] = alpha.Of(p);
      }
    }
    const size_t written = size_t{count} * outBytes;
    std::memset(out + written, 0, rows.rowLength - written);
  }
}
