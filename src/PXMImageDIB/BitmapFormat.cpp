#include "PXMImageDIB/BitmapFormat.h"

#include <bit>

#include "PXMImageDIB/LittleEndian.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;

enum Compression : uint32_t {
  kRgb = 0,
  kRunLength8 = 1,
  kRunLength4 = 2,
  kBitFields = 3,      // Huffman coding after the 64-byte header
  kAlphaBitFields = 6,
};

bool KindOf(uint32_t headerSize, BitmapHeaderKind* kind) {
  switch (headerSize) {
    case kCoreHeaderSize: return *kind = BitmapHeaderKind::Core, true;
    case kInfoHeaderSize: return *kind = BitmapHeaderKind::Info, true;
    case 64: return *kind = BitmapHeaderKind::Os2, true;
    case 52:
    case 56:
    case 108:
    case 124: return *kind = BitmapHeaderKind::Masked, true;
    default: return false;
  }
}

// The row form of a code at a depth; false for what we refuse: Huffman and 24-bit run-length
// coding (the 64-byte header's 3 and 4), embedded JPEG and PNG (4 and 5), CMYK forms, and codes
// at depths they do not apply to.
bool FormOf(BitmapHeaderKind kind, uint32_t compression, uint32_t bits, BitmapRowForm* form) {
  switch (compression) {
    case kRgb:
      *form = BitmapRowForm::Plain;
      return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case kRunLength8: return *form = BitmapRowForm::RunLength8, bits == 8;
    case kRunLength4: return *form = BitmapRowForm::RunLength4, bits == 4;
    case kBitFields:
    case kAlphaBitFields:
      *form = BitmapRowForm::BitFields;
      return kind != BitmapHeaderKind::Os2 && kind != BitmapHeaderKind::Core && (bits == 16 || bits == 32);
    default: return false;
  }
}

// Masks past the pixel's bits are cut to them; an empty colour mask or two masks sharing a bit
// describe no picture.
bool ValidMasks(ChannelMasks* m, uint32_t bits) {
  const uint32_t pixel = bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
  m->red &= pixel;
  m->green &= pixel;
  m->blue &= pixel;
  m->alpha &= pixel;
  if (!m->red || !m->green || !m->blue) return false;
  const uint32_t all = m->red | m->green | m->blue | m->alpha;
  return std::popcount(all) == std::popcount(m->red) + std::popcount(m->green) + std::popcount(m->blue) +
                                   std::popcount(m->alpha);
}

}  // namespace

HRESULT ReadBitmapFormat(const uint8_t* block, size_t size, uint32_t pixelDataOffset, BitmapFormat* format) {
  const FieldReader header(block, size);
  BitmapFormat f;
  f.headerSize = header.U32(0);
  if (!KindOf(f.headerSize, &f.kind)) return PXM_E_INVALIDARG;

  uint32_t compression = kRgb;
  if (f.kind == BitmapHeaderKind::Core) {
    f.width = header.U16(4);
    f.height = header.U16(6);
    f.bitsPerPixel = header.U16(10);
    f.entrySize = kTripleEntry;
  } else {
    f.width = header.U32(4);
    f.height = header.Magnitude32(8);
    f.topDown = header.U32(8) & 0x80000000u;
    f.bitsPerPixel = header.U16(14);
    compression = header.U32(16);
    f.coloursUsed = header.U32(32);
    f.entrySize = kQuadEntry;
  }
  if (!FormOf(f.kind, compression, f.bitsPerPixel, &f.form)) return PXM_E_INVALIDARG;

  f.paletteAt = f.headerSize;
  if (f.form == BitmapRowForm::BitFields) {
    // After a 40-byte header the masks follow it (three, or four with the alpha code); the longer
    // headers hold them, the alpha mask from 56 bytes on.
    const bool alpha = f.kind == BitmapHeaderKind::Info ? compression == kAlphaBitFields : f.headerSize >= 56;
    f.masks = {header.U32(40), header.U32(44), header.U32(48), alpha ? header.U32(52) : 0};
    if (f.kind == BitmapHeaderKind::Info) f.paletteAt += alpha ? 16 : 12;
    if (!ValidMasks(&f.masks, f.bitsPerPixel)) return PXM_E_INVALIDARG;
  }

  // Indexed rows have the depth's full palette unless the colours-used count says fewer; rows read
  // where the file header says, unless that lies inside the headers or past the file. Then the rows
  // are taken to follow a palette of the count the block's own reader assumes.
  const uint32_t full = f.bitsPerPixel <= 8 ? 1u << f.bitsPerPixel : 0;
  const uint32_t listed = f.coloursUsed && f.coloursUsed < full ? f.coloursUsed : full;
  const uint32_t assumed = f.bitsPerPixel == 2 ? full : DibPaletteCount(f.bitsPerPixel, f.coloursUsed);
  const uint64_t offset = uint64_t{pixelDataOffset} - kFileHeaderSize;
  if (pixelDataOffset >= kFileHeaderSize + f.paletteAt && offset <= size) {
    f.rowsAt = offset;
    const uint64_t room = (offset - f.paletteAt) / f.entrySize;
    f.paletteEntries = room < listed ? static_cast<uint32_t>(room) : listed;
  } else {
    f.rowsAt = f.paletteAt + uint64_t{assumed} * f.entrySize;
    f.paletteEntries = assumed;
  }
  *format = f;
  return PXM_S_OK;
}
