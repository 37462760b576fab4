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

// Among the header sizes the block's reader knows.
BitmapHeaderKind KindOf(uint32_t headerSize) {
  switch (headerSize) {
    case kCoreHeaderSize: return BitmapHeaderKind::Core;
    case kInfoHeaderSize: return BitmapHeaderKind::Info;
    case 64: return BitmapHeaderKind::Os2;
    default: return BitmapHeaderKind::Masked;
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
  // The fields every header shares, read as the block's own reader reads them.
  DibLayout layout;
  if (!ReadDibLayout(block, size, &layout)) return PXM_E_INVALIDARG;
  const FieldReader header(block, size);
  BitmapFormat f;
  f.headerSize = layout.headerSize;
  f.kind = KindOf(f.headerSize);
  f.width = layout.width;
  f.height = layout.height;
  f.topDown = layout.topDown;
  f.bitsPerPixel = layout.bitsPerPixel;
  f.coloursUsed = layout.coloursUsed;
  f.entrySize = layout.entrySize;
  const uint32_t compression = f.kind == BitmapHeaderKind::Core ? kRgb : header.U32(16);
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
