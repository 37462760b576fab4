#include "PXMImageDIB/DibHeader.h"

#include "PXMImageDIB/LittleEndian.h"
#include "pxm/Types.h"

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

bool IsStoredDibDepth(uint32_t bitsPerPixel) { return bitsPerPixel >= 1 && bitsPerPixel <= 32; }

bool ReadDibLayout(const uint8_t* block, size_t available, DibLayout* layout) {
  const FieldReader header(block, available);
  const uint32_t headerSize = header.U32(0);
  if (!IsKnownDibHeaderSize(headerSize)) return false;

  DibLayout l;
  l.headerSize = headerSize;
  if (headerSize == kCoreHeaderSize) {
    // 16-bit width, height and depth; 3-byte palette entries; no colours-used field.
    l.width = header.U16(4);
    l.height = header.U16(6);
    l.bitsPerPixel = header.U16(10);
    l.entrySize = kTripleEntry;
  } else {
    l.width = header.U32(4);
    l.height = header.Magnitude32(8);
    l.topDown = header.U32(8) & 0x80000000u;
    l.bitsPerPixel = header.U16(14);
    l.entrySize = kQuadEntry;
    l.coloursUsed = header.U32(32);
  }
  // Rows are laid out by the depth's row rule, which gives every depth up to 32 bits room for its
  // pixels; a deeper one would be described to readers as longer rows than the block holds.
  if (!IsStoredDibDepth(l.bitsPerPixel)) return false;
  // Only an information header marks 8-bit rows as grey; the core header is always plain colour.
  l.fourcc = l.bitsPerPixel == 8 && headerSize != kCoreHeaderSize ? FOURCC_MONO : FOURCC_RGB;
  l.paletteCount = DibPaletteCount(l.bitsPerPixel, l.coloursUsed);
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
