// Uncompressed rows copied to where the block stores them: in the opposite order for a top-down
// file, and 2-bit indices widened to 4 bits (the block's smallest indexed depth above 1).
#include <cstring>

#include "PXMImageDIB/BitmapDecoders.h"

namespace {

// Out byte i takes the four 2-bit pixels of in byte i / 2, high pair first, as two nibbles each.
void WidenTwoBitRow(uint8_t* out, const uint8_t* in, size_t outBytes) {
  for (size_t i = 0; i < outBytes; ++i) {
    const uint32_t b = (i % 2 ? in[i / 2] : in[i / 2] >> 4) & 0x0F;
    out[i] = static_cast<uint8_t>((b >> 2) << 4 | (b & 3));
  }
}

}  // namespace

void DecodePlainRows(const BitmapFormat& format, PixelData pixels, const DibRows& rows) {
  const uint64_t inLength = format.FileRowLength();
  const bool widen = format.bitsPerPixel == 2;
  for (uint32_t i = 0; i < rows.height; ++i) {
    const uint8_t* in = nullptr;
    const size_t held = pixels.RowBytes(i, inLength, &in);
    uint8_t* out = rows.Row(format.StoredRow(i));
    size_t written = 0;
    if (widen) {
      written = 2 * held < rows.rowLength ? 2 * held : rows.rowLength;
      WidenTwoBitRow(out, in, written);
    } else {
      written = held;
      std::memcpy(out, in, written);
    }
    std::memset(out + written, 0, rows.rowLength - written);
  }
}
