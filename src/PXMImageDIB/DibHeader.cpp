#include "PXMImageDIB/DibHeader.h"

#include "pxm/Types.h"

namespace {

// Little-endian fields of a byte range; a field that reaches past the range reads as 0, the
// value a zeroed tail would give.
class FieldReader {
 public:
  FieldReader(const uint8_t* bytes, size_t available) : m_Bytes(bytes), m_Available(available) {}

  uint32_t U16(size_t offset) const { return Fits(offset, 2) ? m_Bytes[offset] | m_Bytes[offset + 1] << 8 : 0; }
  uint32_t U32(size_t offset) const {
    if (!Fits(offset, 4)) return 0;
    return uint32_t{m_Bytes[offset]} | uint32_t{m_Bytes[offset + 1]} << 8 | uint32_t{m_Bytes[offset + 2]} << 16 |
           uint32_t{m_Bytes[offset + 3]} << 24;
  }
  // The magnitude of a signed 32-bit field: a top-down height counts as its row count.
  uint32_t Magnitude32(size_t offset) const {
    const uint32_t v = U32(offset);
    return v & 0x80000000u ? 0u - v : v;
  }

 private:
  bool Fits(size_t offset, size_t width) const { return offset <= m_Available && width <= m_Available - offset; }

  const uint8_t* m_Bytes;
  size_t m_Available;
};

void Put16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}
void Put32(uint8_t* at, uint32_t value) {
  Put16(at, value);
  Put16(at + 2, value >> 16);
}

}  // namespace

bool IsKnownDibHeaderSize(uint32_t headerSize) {
  switch (headerSize) {
    case kCoreHeaderSize:
    case kInfoHeaderSize:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
      return true;
    default:
      return false;
  }
}

bool ReadDibLayout(const uint8_t* block, size_t available, DibLayout* layout) {
  const FieldReader header(block, available);
  const uint32_t headerSize = header.U32(0);
  if (!IsKnownDibHeaderSize(headerSize)) return false;

  DibLayout l;
  l.headerSize = headerSize;
  uint32_t coloursUsed = 0;
  if (headerSize == kCoreHeaderSize) {
    // 16-bit width, height and depth; 3-byte palette entries; no colours-used field.
    l.width = header.U16(4);
    l.height = header.U16(6);
    l.bitsPerPixel = header.U16(10);
    l.entrySize = kTripleEntry;
  } else {
    l.width = header.U32(4);
    l.height = header.Magnitude32(8);
    l.bitsPerPixel = header.U16(14);
    l.entrySize = kQuadEntry;
    coloursUsed = header.U32(32);
  }
  // Rows hold at most 4 bytes a pixel: a deeper depth would describe rows longer than the block's.
  if (l.bitsPerPixel > 32) return false;
  // Only an information header marks 8-bit rows as grey; the core header is always plain colour.
  l.fourcc = l.bitsPerPixel == 8 && headerSize != kCoreHeaderSize ? FOURCC_MONO : FOURCC_RGB;
  l.paletteCount = DibPaletteCount(l.bitsPerPixel, coloursUsed);
  l.rowLength = DibRowLength(l.bitsPerPixel, l.width);
  *layout = l;
  return true;
}

void WriteInfoHeader(uint8_t* block, const DibLayout& layout, uint32_t coloursUsed) {
  Put32(block + 0, kInfoHeaderSize);
  Put32(block + 4, layout.width);
  Put32(block + 8, layout.height);  // positive: rows stored bottom-up
  Put16(block + 12, 1);             // planes
  Put16(block + 14, layout.bitsPerPixel);
  Put32(block + 16, 0);  // uncompressed
  Put32(block + 20, static_cast<uint32_t>(layout.rowLength * layout.height));
  Put32(block + 24, 0);  // no resolution
  Put32(block + 28, 0);
  Put32(block + 32, coloursUsed);
  Put32(block + 36, 0);  // all colours important
}
