// A bitmap file's bytes made into the block of a plain DIB: the header sorted into a kind and a
// row form, the size it claims bounded against the file, then the rows kept where they were read
// or decoded into a new block by the decoder of their form.
#include <cstdlib>
#include <cstring>

#include "PXMImageDIB/BitmapDecoders.h"
#include "PXMImageDIB/LittleEndian.h"

namespace {

// How far a plain header may claim beyond its file (see Believable).
constexpr uint64_t kClaimAllowance = 64 * 1024;

// Bytes a decoded image may take. A plain file's rows are read straight into its block; a header
// that claims far more than the file holds is broken, and what a writer may leave out (palette
// entries, the tail of the rows) stays below twice the file plus the allowance. Sizes and strides
// are 32-bit values.
bool Believable(uint64_t total, uint64_t rowLength, uint64_t fileSize, bool runLength) {
  const uint64_t bound = runLength ? kRunLengthExpansion * fileSize + kRunLengthAllowance : 2 * fileSize + kClaimAllowance;
  return total <= bound && total <= UINT32_MAX - kSpareBytes && rowLength <= INT32_MAX;
}

// Rows that already have a stored layout, where the block's reader looks for them, stay in the
// block they were read into: it is grown to the layout the header claims (zeros for what the file
// lacks), top-down rows are turned over, and the header is made to describe plain bottom-up rows.
HRESULT TakeAsRead(BlockHolder* file, size_t got, uint64_t fileSize, const BitmapFormat& f, DecodedImage* out) {
  const uint64_t rowLength = f.FileRowLength();
  uint64_t total = 0;
  if (__builtin_mul_overflow(rowLength, uint64_t{f.height}, &total) || __builtin_add_overflow(total, f.rowsAt, &total) ||
      !Believable(total, rowLength, fileSize, false))
    return PXM_E_INVALIDARG;
  const size_t size = (total > got ? static_cast<size_t>(total) : got) + kSpareBytes;
  if (size > got + kSpareBytes) {
    uint8_t* grown = static_cast<uint8_t*>(std::realloc(file->block, size));
    if (!grown) return PXM_E_OUTOFMEMORY;
    file->block = grown;
  }
  uint8_t* block = file->block;
  std::memset(block + got, 0, size - got);
  if (f.kind != BitmapHeaderKind::Core) {
    // Masks after a 40-byte header make it the 52- or 56-byte header that holds them.
    Put32(block, f.paletteAt);
    Put32(block + 8, f.height);
    Put32(block + 16, 0);  // uncompressed
    Put32(block + 20, static_cast<uint32_t>(rowLength * f.height));
  }
  if (f.topDown && rowLength) ReverseRows({block + f.rowsAt, rowLength, f.width, f.height, f.bitsPerPixel});
  out->block = file->Release();
  return PXM_S_OK;
}

// Any other file is decoded into a new block with a 40-byte header, its palette (entries the file
// lacks are black) and rows of the stored depth.
HRESULT DecodeIntoNewBlock(const BlockHolder& file, size_t got, uint64_t fileSize, const BitmapFormat& f,
                           PixelData pixels, uint32_t bitsPerPixel, DecodedImage* out) {
  const bool runLength = f.form == BitmapRowForm::RunLength8 || f.form == BitmapRowForm::RunLength4;
  DibLayout layout;
  layout.headerSize = kInfoHeaderSize;
  layout.width = f.width;
  layout.height = f.height;
  layout.bitsPerPixel = bitsPerPixel;
  layout.fourcc = bitsPerPixel == 8 ? FOURCC_MONO : FOURCC_RGB;
  layout.entrySize = kQuadEntry;
  layout.paletteCount = DibPaletteCount(bitsPerPixel, 0);
  layout.rowLength = DibRowLength(bitsPerPixel, f.width);
  const uint64_t total = layout.Total();
  if (!Believable(total, layout.rowLength, fileSize, runLength)) return PXM_E_INVALIDARG;
  BlockHolder decoded{AllocateImageBlock(static_cast<size_t>(total) + kSpareBytes)};
  if (!decoded.block) return PXM_E_OUTOFMEMORY;
  uint8_t* block = decoded.block;
  WriteInfoHeader(block, layout, layout.fourcc == FOURCC_MONO ? 0 : layout.paletteCount);

  uint8_t* palette = block + kInfoHeaderSize;
  std::memset(palette, 0, layout.PaletteSize());
  const uint32_t entries = f.paletteEntries < layout.paletteCount ? f.paletteEntries : layout.paletteCount;
  for (uint32_t i = 0; i < entries; ++i) {
    const size_t at = f.paletteAt + size_t{i} * f.entrySize;
    if (at + 3 > got) break;
    std::memcpy(palette + 4 * size_t{i}, file.block + at, 3);  // blue, green, red
  }

  const DibRows rows{block + layout.PixelOffset(), layout.rowLength, f.width, f.height, bitsPerPixel};
  std::memset(block + total, 0, kSpareBytes);
  if (rows.rowLength && rows.height) {
    // Bit fields of a stored layout are plain rows that lie elsewhere in the file.
    if (f.form == BitmapRowForm::Plain || (f.form == BitmapRowForm::BitFields && bitsPerPixel == f.bitsPerPixel))
      DecodePlainRows(f, pixels, rows);
    else if (f.form == BitmapRowForm::BitFields)
      DecodeBitFieldRows(f, pixels, rows);
    else
      DecodeRunLengthRows(f, pixels, rows);
  }
  out->block = decoded.Release();
  return PXM_S_OK;
}

}  // namespace

HRESULT DecodeBitmap(BlockHolder* file, size_t got, uint64_t fileSize, uint32_t pixelDataOffset, DecodedImage* out) {
  BitmapFormat f;
  const HRESULT hr = ReadBitmapFormat(file->block, got, pixelDataOffset, &f);
  if (PXM_FAILED(hr)) return hr;
  const size_t rowsAt = f.rowsAt < got ? static_cast<size_t>(f.rowsAt) : got;
  const PixelData pixels{file->block + rowsAt, got - rowsAt};

  uint32_t bitsPerPixel = f.bitsPerPixel;
  bool stored = f.form == BitmapRowForm::Plain && bitsPerPixel != 2;
  switch (f.form) {
    case BitmapRowForm::Plain:
      if (bitsPerPixel == 2) bitsPerPixel = 4;
      break;
    case BitmapRowForm::BitFields:
      out->alpha = AnyAlpha(f, pixels);
      // 16-bit rows with alpha become 32-bit ones; 32-bit rows keep theirs in the fourth byte.
      stored = MasksAreStored(f.masks, bitsPerPixel) && (bitsPerPixel == 32 || !out->alpha);
      if (!stored) bitsPerPixel = out->alpha ? 32 : 24;
      break;
    case BitmapRowForm::RunLength8: bitsPerPixel = 8; break;
    case BitmapRowForm::RunLength4: bitsPerPixel = 4; break;
  }
  if (stored && f.rowsAt == f.paletteAt + uint64_t{DibPaletteCount(bitsPerPixel, f.coloursUsed)} * f.entrySize)
    return TakeAsRead(file, got, fileSize, f, out);
  return DecodeIntoNewBlock(*file, got, fileSize, f, pixels, bitsPerPixel, out);
}

