// Load(IString*): a bitmap file made into one block that the image then owns. The file is read
// with two reads, its 14-byte file header and then everything after it. Plain rows where the
// block's reader expects them stay where they were read: the block is the file. Every other form
// (rows elsewhere, top-down, bit fields, run-length, 2-bit) is decoded into plain bottom-up rows
// of a stored depth, so the rest of the module only ever meets an ordinary DIB.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "PXM/HostServices.h"
#include "PXM/REFString.h"
#include "PXMImageDIB/BitmapDecoders.h"
#include "PXMImageDIB/BitmapFormat.h"
#include "PXMImageDIB/DibBlock.h"
#include "PXMImageDIB/LittleEndian.h"
#include "PXMImageDIB/PXMImageDIB.h"

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint64_t kClaimAllowance = 64 * 1024;

// The path in the current locale's multibyte encoding, each separator ('\' or '/') as '/'.
class NativePath {
 public:
  NativePath() = default;
  NativePath(const NativePath&) = delete;
  NativePath& operator=(const NativePath&) = delete;
  ~NativePath() { std::free(m_Text); }

  // S_OK; E_FAIL when a character cannot be converted (what came before it is kept, for the
  // message); E_OUTOFMEMORY. The text ends at its length or at a null character.
  HRESULT Convert(const wchar_t* text, uint32_t length) {
    const size_t capacity = size_t{length} * MB_CUR_MAX + 1;
    m_Text = static_cast<char*>(std::malloc(capacity));
    if (!m_Text) return PXM_E_OUTOFMEMORY;
    std::mbstate_t state{};
    size_t used = 0;
    HRESULT hr = PXM_S_OK;
    for (uint32_t i = 0; i < length && text[i] != L'\0'; ++i) {
      const wchar_t c = text[i] == L'\\' ? L'/' : text[i];
      const size_t n = std::wcrtomb(m_Text + used, c, &state);
      if (n == static_cast<size_t>(-1)) {
        hr = PXM_E_FAIL;
        break;
      }
      used += n;
    }
    m_Text[used] = '\0';
    return hr;
  }
  const char* Text() const { return m_Text ? m_Text : ""; }

 private:
  char* m_Text = nullptr;
};

// Frees a block that never reached the image.
struct BlockHolder {
  uint8_t* block = nullptr;
  ~BlockHolder() { std::free(block); }
  uint8_t* Release() {
    uint8_t* b = block;
    block = nullptr;
    return b;
  }
};

// What a file decodes to: the block the image takes, and whether its rows carry alpha.
struct DecodedImage {
  uint8_t* block = nullptr;
  bool alpha = false;
};

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

// Reads the open file, all of it after the 14-byte file header with one read into one block, and
// makes of it the block of a plain DIB.
HRESULT ReadBitmapFile(std::FILE* file, DecodedImage* out) {
  if (std::fseek(file, 0, SEEK_END) != 0) return PXM_E_INVALIDARG;
  const long end = std::ftell(file);
  if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0) return PXM_E_INVALIDARG;
  const uint64_t fileSize = static_cast<uint64_t>(end);

  uint8_t fileHeader[kFileHeaderSize];
  if (std::fread(fileHeader, 1, kFileHeaderSize, file) != kFileHeaderSize) return PXM_E_INVALIDARG;
  if (fileHeader[0] != 'B' || fileHeader[1] != 'M') return PXM_E_INVALIDARG;

  const size_t rest = fileSize > kFileHeaderSize ? static_cast<size_t>(fileSize - kFileHeaderSize) : 0;
  if (rest > SIZE_MAX - kSpareBytes) return PXM_E_OUTOFMEMORY;
  BlockHolder holder{AllocateImageBlock(rest + kSpareBytes)};
  if (!holder.block) return PXM_E_OUTOFMEMORY;
  const size_t got = std::fread(holder.block, 1, rest, file);

  BitmapFormat f;
  const HRESULT hr = ReadBitmapFormat(holder.block, got, FieldReader(fileHeader, kFileHeaderSize).U32(10), &f);
  if (PXM_FAILED(hr)) return hr;
  const size_t rowsAt = f.rowsAt < got ? static_cast<size_t>(f.rowsAt) : got;
  const PixelData pixels{holder.block + rowsAt, got - rowsAt};

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
    return TakeAsRead(&holder, got, fileSize, f, out);
  return DecodeIntoNewBlock(holder, got, fileSize, f, pixels, bitsPerPixel, out);
}

}  // namespace

HRESULT CPXMImageDIB::Load(IString* path) {
  const wchar_t* text = nullptr;
  uint32_t length = 0;
  if (!path || PXM_FAILED(path->GetText(&text, &length)) || !text) {
    text = nullptr;
    length = 0;
  }

  // The path goes through a host string with every separator written as '/'. Without a string
  // component no host string can be made: the given text is used directly, and its separators
  // are mapped while it is converted.
  SmartPtr<ICreatableString> hostPath(CREFString::CreateString());
  if (hostPath) {
    for (uint32_t i = 0; i < length; ++i) {
      const wchar_t c = text[i] == L'\\' ? L'/' : text[i];
      hostPath->AppendText(1, &c);
    }
    const wchar_t* hostText = nullptr;
    uint32_t hostLength = 0;
    if (PXM_SUCCEEDED(hostPath->GetText(&hostText, &hostLength)) && (hostText || hostLength == 0)) {
      text = hostText;
      length = hostLength;
    }
  }

  NativePath native;
  const HRESULT converted = native.Convert(text, length);
  if (converted == PXM_E_OUTOFMEMORY) return converted;
  std::FILE* file = converted == PXM_S_OK ? std::fopen(native.Text(), "rb") : nullptr;
  if (!file) {
    std::printf("CPXMImageDIB::%s fopen error %s\n", "Load", native.Text());
    return PXM_E_FAIL;
  }
  DecodedImage image;
  const HRESULT hr = ReadBitmapFile(file, &image);
  std::fclose(file);
  if (PXM_FAILED(hr)) return hr;  // the previous image stays

  CreateOnDIB(image.block, nullptr, 1);  // the header was read above: the block is taken
  if (m_FOURCC == FOURCC_MONO) return PXM_S_OK;
  if (image.alpha && m_BitsPerPixel == 32) m_FOURCC = FOURCC_ARGB;

  // Colour rows go once through the host's transform; without one they stay as read.
  if (SmartPtr<IPXMTransform> transform = GetTransformComponent())
    transform->Apply(static_cast<IPXMImageDIB*>(this));
  return PXM_S_OK;
}
