// The image record: header values, the rows of every plane packed without padding into the
// "Data" child's byte content, and the palette in a "Palette" child. Every class writes and reads
// it here, through the image's IPXMImage and IPXMImagePalette operations only.
//
// Streams and records are untrusted. Save stops at the first failing stream call and returns its
// result (a write that stores fewer bytes than asked is PXM_E_FAIL); an image that cannot hand out
// the rows it reports (a canvas whose buffer could not be had) leaves its header and no rows, and
// fails. Load costs what the record carries, not what its header claims: rows whose bytes the
// "Data" child does not hold fail with PXM_E_INVALIDARG. The first rows are read before the image
// is made anew, so a record that ends within them (or has no "Data" child) leaves the previous
// image; one that ends later leaves the image empty (0 x 0), never of the claimed size with rows
// nothing wrote. Row bytes an image has beyond the record's packed rows are zero.
#include "PXMImage/ImageRecord.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <new>

#include "PXM/HostServices.h"
#include "PXMImage/ImageAccess.h"

namespace {

// The most entries a palette can index: 8 bits per pixel. GetPalette never hands out more for a
// picture, so a larger "Size" in a record is damage and is not loaded, nor saved beyond this.
constexpr uint32_t kMaxPaletteEntries = 256;

// Bytes moved per call when skipping or padding row bytes.
constexpr uint32_t kChunk = 4096;
const uint8_t kZeros[kChunk] = {};

// Row bytes read before the image is made anew: a record must show this much of its claim first.
constexpr uint32_t kStagedBytes = 64 * 1024;

// Rows are stored without padding: 10 pixels at 24 bits take 30 bytes, at 1 bit 1 byte (the last
// 2 pixels are not stored). Unsigned 32-bit arithmetic, like every size in the record.
uint32_t PackedRowLength(uint32_t bitsPerPixel, uint32_t width) { return bitsPerPixel * width / 8; }

// At 24 bits and more the blue-first codes are stored as their red-first counterparts; Save and
// Load map alike.
uint32_t MapFourcc(uint32_t fourcc, uint32_t bitsPerPixel) {
  if (bitsPerPixel < 24) return fourcc;
  if (fourcc == FOURCC_ABGR) return FOURCC_ARGB;
  if (fourcc == FOURCC_BGR) return FOURCC_RGB;
  return fourcc;
}

void PutLittleEndian(uint32_t value, uint8_t (&bytes)[4]) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLittleEndian(const uint8_t (&bytes)[4]) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

HRESULT WriteFolderBytes(IFolderStream* folder, const wchar_t* key, uint32_t keyLength, const void* bytes,
                         uint32_t size) {
  SmartPtr<ICreatableString> name = MakeHostString(key, keyLength);
  if (!name) return PXM_E_FAIL;
  return folder->WriteValue(name.Get(), bytes, size, 0);
}

HRESULT ReadFolderBytes(IFolderStream* folder, const wchar_t* key, uint32_t keyLength, void* bytes, uint32_t size) {
  SmartPtr<ICreatableString> name = MakeHostString(key, keyLength);
  if (!name) return PXM_E_FAIL;
  return folder->ReadValue(name.Get(), bytes, size, 0);
}

// A new child folder under the key: the folder's failure, or PXM_E_FAIL when no child came back.
template <size_t N>
HRESULT CreateChild(IFolderStream* folder, const wchar_t (&key)[N], SmartPtr<IFolderStream>* child) {
  SmartPtr<ICreatableString> name = MakeHostString(key);
  if (!name) return PXM_E_FAIL;
  const HRESULT hr = folder->CreateFolder(name.Get(), 0, child->Receive());
  if (PXM_FAILED(hr)) return hr;
  return *child ? PXM_S_OK : PXM_E_FAIL;
}

// The child folder under the key; null when there is none.
template <size_t N>
SmartPtr<IFolderStream> OpenChild(IFolderStream* folder, const wchar_t (&key)[N]) {
  SmartPtr<IFolderStream> child;
  SmartPtr<ICreatableString> name = MakeHostString(key);
  if (name && PXM_FAILED(folder->OpenFolder(name.Get(), 0, child.Receive()))) child.Reset();
  return child;
}

// Appends count bytes. A stream that does not report its count is taken at its result.
HRESULT WriteBytes(IFolderStream* out, const void* bytes, uint32_t count) {
  uint32_t written = count;
  const HRESULT hr = out->Write(bytes, count, &written);
  if (PXM_FAILED(hr)) return hr;
  return written == count ? PXM_S_OK : PXM_E_FAIL;
}

HRESULT WriteZeros(IFolderStream* out, uint64_t count) {
  for (HRESULT hr = PXM_S_OK; count; count -= std::min<uint64_t>(count, kChunk))
    if (PXM_FAILED(hr = WriteBytes(out, kZeros, static_cast<uint32_t>(std::min<uint64_t>(count, kChunk))))) return hr;
  return PXM_S_OK;
}

// Reads exactly count bytes; false when the content ended first. A stream that does not report
// its count is taken at its result.
bool ReadBytes(IFolderStream* in, void* into, uint32_t count) {
  uint32_t got = count;
  return PXM_SUCCEEDED(in->Read(into, count, &got)) && got == count;
}

// The "Data" child's byte content, its first bytes read ahead into a buffer of our own.
class RowSource {
 public:
  explicit RowSource(IFolderStream* in) : m_In(in) {}
  RowSource(const RowSource&) = delete;
  RowSource& operator=(const RowSource&) = delete;
  ~RowSource() { delete[] m_Staged; }

  // Reads the first count bytes ahead: PXM_E_INVALIDARG when the content ends first.
  HRESULT Stage(uint32_t count) {
    if (count == 0) return PXM_S_OK;
    m_Staged = new (std::nothrow) uint8_t[count];
    if (!m_Staged) return PXM_E_OUTOFMEMORY;
    m_StagedSize = count;
    return ReadBytes(m_In, m_Staged, count) ? PXM_S_OK : PXM_E_INVALIDARG;
  }
  // The next count bytes, the staged ones first; false when the content ended.
  bool Read(void* into, uint32_t count) {
    const uint32_t staged = std::min(count, m_StagedSize - m_StagedUsed);
    if (staged) {
      std::memcpy(into, m_Staged + m_StagedUsed, staged);
      m_StagedUsed += staged;
    }
    return staged == count || ReadBytes(m_In, static_cast<uint8_t*>(into) + staged, count - staged);
  }
  // Reads and drops count bytes, so that the rows that follow stay in step.
  bool Skip(uint64_t count) {
    uint8_t scratch[kChunk];
    for (; count; count -= std::min<uint64_t>(count, kChunk))
      if (!Read(scratch, static_cast<uint32_t>(std::min<uint64_t>(count, kChunk)))) return false;
    return true;
  }

 private:
  IFolderStream* m_In;
  uint8_t* m_Staged = nullptr;
  uint32_t m_StagedSize = 0;
  uint32_t m_StagedUsed = 0;
};

// Rows that lie back to back, top row first, with nothing between them move in one piece.
bool IsPackedPlane(const PlaneView& plane, uint32_t rows, uint32_t packed) {
  return packed && plane.data && plane.stride > 0 && static_cast<uint32_t>(plane.stride) == packed &&
         uint64_t{packed} * rows <= UINT32_MAX;
}

// A plane's rows into the record, first row first. Rows shorter than the packed length (a canvas
// that reports more bits than its pixels hold) are completed with zeros, so the record matches
// its header.
HRESULT WritePlane(IFolderStream* out, const PlaneView& plane, uint32_t rows, uint32_t packed) {
  if (!packed) return PXM_S_OK;  // rows of no bytes: nothing to write, however many there are
  if (IsPackedPlane(plane, rows, packed)) return WriteBytes(out, plane.data, packed * rows);
  const uint32_t copy = std::min(packed, plane.RowLength());
  for (uint32_t y = 0; y < rows; ++y) {
    HRESULT hr = WriteBytes(out, plane.Row(y), copy);
    if (PXM_SUCCEEDED(hr) && copy < packed) hr = WriteZeros(out, packed - copy);
    if (PXM_FAILED(hr)) return hr;
  }
  return PXM_S_OK;
}

// The record's rows of one plane into the image's plane; the rest of each image row is zeroed.
// Nothing lands outside a row of the image: row bytes beyond the image's row length and rows
// beyond its height are read and dropped. False when the content ended.
bool ReadPlane(RowSource& in, const PlaneView& plane, uint32_t imageRows, uint32_t recordRows, uint32_t packed) {
  const uint32_t rows = plane.data ? std::min(imageRows, recordRows) : 0;
  if (IsPackedPlane(plane, rows, packed)) {
    if (!in.Read(plane.data, packed * rows)) return false;
  } else {
    const uint32_t length = plane.RowLength();
    const uint32_t copy = std::min(packed, length);
    for (uint32_t y = 0; y < rows; ++y) {
      uint8_t* row = plane.Row(y);
      if (!in.Read(row, copy) || !in.Skip(packed - copy)) return false;
      if (copy < length) std::memset(row + copy, 0, length - copy);
    }
  }
  return in.Skip(uint64_t{recordRows - rows} * packed);
}

// Every plane's rows into one "Data" child, each plane between the transform's two Apply calls
// (a colour image's pixels are stored as the transform makes them; two Apply calls restore them).
HRESULT SaveRows(IPXMImage* image, IFolderStream* folder, const ImageDescription& d) {
  const uint32_t packed = PackedRowLength(d.bitsPerPixel, d.width);
  SmartPtr<IFolderStream> data;
  for (uint32_t p = 0; p < d.planes; ++p) {
    PlaneView plane;
    // Rows the image reports but cannot hand out are not invented.
    const bool got = PXM_SUCCEEDED(GetPlane(image, p, &plane));
    const uint32_t readable = std::min(packed, plane.RowLength());
    if (!got || (packed && d.height && (!readable || !HoldsRows(plane, d.height, readable)))) return PXM_E_FAIL;
    if (p == 0) {
      HRESULT hr = WriteFolderValue(folder, L"Direction", static_cast<uint32_t>(plane.stride));
      if (PXM_SUCCEEDED(hr)) hr = CreateChild(folder, L"Data", &data);
      if (PXM_FAILED(hr)) return hr;
      data->Reserve(plane.size + 8, 4, 0);  // advice: the stream may take its memory at once
    }
    SmartPtr<IPXMTransform> transform = GetTransformComponent();
    const bool apply = d.fourcc != FOURCC_MONO && transform;
    if (apply) transform->Apply(image);
    const HRESULT hr = WritePlane(data.Get(), plane, d.height, packed);
    if (apply) transform->Apply(image);
    if (PXM_FAILED(hr)) return hr;
  }
  return PXM_S_OK;
}

HRESULT SavePalette(IPXMImage* image, IFolderStream* folder) {
  SmartPtr<IPXMImagePalette> palette;
  image->QueryInterface(IID_IPXMImagePalette, palette.ReceiveVoid());
  if (!palette) return PXM_S_OK;
  uint32_t* entries = nullptr;
  uint32_t count = 0;
  if (PXM_FAILED(palette->GetPalette(&entries, &count)) || count == 0 || !entries) return PXM_S_OK;
  count = std::min(count, kMaxPaletteEntries);

  // Entries go as 4 bytes each, as GetPalette hands them out (a DIB hands out 4-byte entries
  // whatever the form in its block).
  uint8_t bytes[4 * kMaxPaletteEntries];
  std::memcpy(bytes, entries, 4 * count);

  SmartPtr<IFolderStream> child;
  HRESULT hr = CreateChild(folder, L"Palette", &child);
  if (PXM_SUCCEEDED(hr)) hr = WriteFolderValue(child.Get(), L"Size", count);
  if (PXM_SUCCEEDED(hr)) hr = WriteFolderBytes(child.Get(), L"Data", 4, bytes, 4 * count);
  return hr;
}

// The record's rows into the image just made for it. False when the content ended first.
bool LoadRows(IPXMImage* image, RowSource& data, const ImageDescription& record) {
  const uint32_t packed = PackedRowLength(record.bitsPerPixel, record.width);
  uint32_t imageRows = 0;
  image->GetSize(nullptr, &imageRows, nullptr);
  for (uint32_t p = 0; p < record.planes; ++p) {
    PlaneView plane;
    // A plane the image does not have still has its bytes in the record.
    if (PXM_FAILED(GetPlane(image, p, &plane)) || !HoldsRows(plane, imageRows, 1)) plane = PlaneView{};
    if (!ReadPlane(data, plane, imageRows, record.height, packed)) return false;
  }
  return true;
}

void LoadPalette(IPXMImage* image, IFolderStream* folder) {
  SmartPtr<IPXMImagePalette> palette;
  image->QueryInterface(IID_IPXMImagePalette, palette.ReceiveVoid());
  if (!palette) return;
  SmartPtr<IFolderStream> child = OpenChild(folder, L"Palette");
  if (!child) return;
  uint32_t count = 0;
  if (PXM_FAILED(ReadFolderValue(child.Get(), L"Size", &count)) || count == 0 || count > kMaxPaletteEntries) return;
  // The stored "Data" must be exactly count entries: a read of another size fails.
  uint32_t entries[kMaxPaletteEntries];
  if (PXM_FAILED(ReadFolderBytes(child.Get(), L"Data", 4, entries, 4 * count))) return;
  palette->SetPalette(entries, count, 0);
}

}  // namespace

HRESULT WriteFolderValue(IFolderStream* folder, const wchar_t* key, uint32_t keyLength, uint32_t value) {
  uint8_t bytes[4];
  PutLittleEndian(value, bytes);
  return WriteFolderBytes(folder, key, keyLength, bytes, 4);
}

HRESULT ReadFolderValue(IFolderStream* folder, const wchar_t* key, uint32_t keyLength, uint32_t* value) {
  uint8_t bytes[4];
  const HRESULT hr = ReadFolderBytes(folder, key, keyLength, bytes, 4);
  if (PXM_SUCCEEDED(hr)) *value = GetLittleEndian(bytes);
  return hr;
}

HRESULT SaveImageRecord(IPXMImage* image, IFolderStream* folder) {
  if (!image || !folder) return PXM_E_POINTER;
  ImageDescription d;
  image->GetPixelDescriptor(&d.bitsPerPixel, &d.fourcc, nullptr);
  const HRESULT result = image->GetSize(&d.width, &d.height, &d.planes);

  const std::pair<const wchar_t*, uint32_t> header[] = {
      {L"Width", d.width}, {L"Height", d.height}, {L"BitsPerPixel", d.bitsPerPixel}, {L"NumberPlanes", d.planes},
      {L"FOURCC", MapFourcc(d.fourcc, d.bitsPerPixel)}};
  for (const auto& [key, value] : header) {
    const HRESULT hr = WriteFolderValue(folder, key, static_cast<uint32_t>(std::wcslen(key)), value);
    if (PXM_FAILED(hr)) return hr;
  }
  if (d.planes) {
    const HRESULT rows = SaveRows(image, folder, d);
    if (PXM_FAILED(rows)) return rows;
  }
  const HRESULT palette = SavePalette(image, folder);
  return PXM_FAILED(palette) ? palette : result;
}

HRESULT LoadImageRecord(IPXMImage* image, IFolderStream* folder) {
  if (!image || !folder) return PXM_E_POINTER;
  ImageDescription record;
  record.bitsPerPixel = 24;
  // All five are read whatever each gives; any failure leaves the image untouched.
  HRESULT header = ReadFolderValue(folder, L"Width", &record.width);
  header |= ReadFolderValue(folder, L"Height", &record.height);
  header |= ReadFolderValue(folder, L"BitsPerPixel", &record.bitsPerPixel);
  header |= ReadFolderValue(folder, L"NumberPlanes", &record.planes);
  header |= ReadFolderValue(folder, L"FOURCC", &record.fourcc);
  if (PXM_FAILED(header)) return header;
  record.fourcc = MapFourcc(record.fourcc, record.bitsPerPixel);

  // What the rows need, checked before anything changes. Rows of pixels must carry bytes: a packed
  // length that wraps 32 bits, or rounds to nothing, describes none of them.
  const bool pixels = record.width && record.height && record.planes;
  const uint64_t rowBits = uint64_t{record.bitsPerPixel} * record.width;
  if (pixels && (rowBits > UINT32_MAX || rowBits < 8)) return PXM_E_INVALIDARG;
  const uint64_t planeBytes = uint64_t{record.height} * PackedRowLength(record.bitsPerPixel, record.width);
  const uint64_t firstBytes =
      planeBytes >= kStagedBytes ? kStagedBytes
                                 : std::min<uint64_t>(kStagedBytes, planeBytes * std::min<uint64_t>(record.planes, kStagedBytes));
  SmartPtr<IFolderStream> data = OpenChild(folder, L"Data");
  if (pixels && !data) return PXM_E_INVALIDARG;
  RowSource rows(data.Get());
  if (pixels) {
    const HRESULT staged = rows.Stage(static_cast<uint32_t>(firstBytes));
    if (PXM_FAILED(staged)) return staged;
  }

  // The class decides what it makes of the sizes; the rows then go where its GetImage says.
  const HRESULT created =
      image->Create(record.width, record.height, record.planes, record.bitsPerPixel, record.fourcc);
  if (PXM_FAILED(created)) return created;
  if (pixels && !LoadRows(image, rows, record)) {
    image->Create(0, 0, 0, record.bitsPerPixel, record.fourcc);  // no rows that nothing wrote
    return PXM_E_INVALIDARG;
  }
  if (record.bitsPerPixel >= 24 && record.fourcc != FOURCC_MONO) {
    if (SmartPtr<IPXMTransform> transform = GetTransformComponent()) transform->Apply(image);
  }
  LoadPalette(image, folder);
  return created;
}
