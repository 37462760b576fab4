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
#include "PXMImageDIB/DibBlock.h"
#include "PXMImageDIB/LittleEndian.h"
#include "PXMImageDIB/PXMImageDIB.h"

namespace {

constexpr size_t kFileHeaderSize = 14;

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
  // The file's block is not moved to start its rows on a line: the read then puts every byte a few
  // bytes past the place it has in its page of the file, and the kernel's copy into it ran at half
  // speed (a 12 MiB file read in 1.45 ms, against 0.79 ms into a block that starts on a page).
  BlockHolder holder{AllocateImageBlock(rest + kSpareBytes)};
  if (!holder.block) return PXM_E_OUTOFMEMORY;
  const size_t got = std::fread(holder.block, 1, rest, file);

  return DecodeBitmap(&holder, got, fileSize, FieldReader(fileHeader, kFileHeaderSize).U32(10), out);
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
