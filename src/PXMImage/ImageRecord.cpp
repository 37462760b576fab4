// The image record: header values, the rows of every plane packed without padding into the
// "Data" child's byte content, and the palette in a "Palette" child. Every class writes and reads
// it here, through the image's IPXMImage and IPXMImagePalette operations only.
#include "PXMImage/ImageRecord.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "PXM/HostServices.h"
#include "PXMImage/ImageAccess.h"

namespace {

// The most entries a palette can index: 8 bits per pixel. GetPalette never hands out more for a
// picture, so a larger "Size" in a record is damage and is not loaded, nor saved beyond this.
constexpr uint32_t kMaxPaletteEntries = 256;

// Bytes moved per call when skipping or padding row bytes.
constexpr uint32_t kChunk = 4096;
const uint8_t kZeros[kChunk] = {};

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

bool WriteFolderBytes(IFolderStream* folder, const wchar_t* key, uint32_t keyLength, const void* bytes,
                      uint32_t size) {
  SmartPtr<ICreatableString> name = MakeHostString(key, keyLength);
  if (!name) return false;
  folder->WriteValue(name.Get(), bytes, size, 0);
  return true;
}

HRESULT ReadFolderBytes(IFolderStream* folder, const wchar_t* key, uint32_t keyLength, void* bytes, uint32_t size) {
  SmartPtr<ICreatableString> name = MakeHostString(key, keyLength);
  if (!name) return PXM_E_FAIL;
  return folder->ReadValue(name.Get(), bytes, size, 0);
}

// A child folder made (create) or found (open) under the key; null when there is none.
template <size_t N>
SmartPtr<IFolderStream> ChildFolder(IFolderStream* folder, const wchar_t (&key)[N], bool create) {
  SmartPtr<IFolderStream> child;
  SmartPtr<ICreatableString> name = MakeHostString(key);
  if (!name) return child;
  const HRESULT hr = create ? folder->CreateFolder(name.Get(), 0, child.Receive())
                            : folder->OpenFolder(name.Get(), 0, child.Receive());
  if (!create && PXM_FAILED(hr)) child.Reset();
  return child;
}

void WriteZeros(IFolderStream* out, uint64_t count) {
  while (count) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, kChunk));
    uint32_t written = 0;
    out->Write(kZeros, n, &written);
    count -= n;
  }
}

// Reads exactly count bytes; false when the content ended first. A stream that does not report
// its count is taken at its result.
bool ReadBytes(IFolderStream* in, void* into, uint32_t count) {
  uint32_t got = count;
  return PXM_SUCCEEDED(in->Read(into, count, &got)) && got == count;
}

// Reads and drops count bytes, so that the rows that follow stay in step.
bool SkipBytes(IFolderStream* in, uint64_t count) {
  uint8_t scratch[kChunk];
  while (count) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, kChunk));
    if (!ReadBytes(in, scratch, n)) return false;
    count -= n;
  }
  return true;
}

// Rows that lie back to back, top row first, with nothing between them move in one piece.
bool IsPackedPlane(const PlaneView& plane, uint32_t rows, uint32_t packed) {
  return packed && plane.data && plane.stride > 0 && static_cast<uint32_t>(plane.stride) == packed &&
         uint64_t{packed} * rows <= UINT32_MAX;
}

// How many of a row's bytes are there to take: none when the plane has no pixels to hand out.
uint32_t RowBytesAvailable(const PlaneView& plane, uint32_t packed) {
  return plane.data ? std::min(packed, plane.RowLength()) : 0;
}

// A plane's rows into the record, first row first. Bytes a row does not have (a plane the image
// refused, rows shorter than the packed length) go as zeros, so the record matches its header.
void WritePlane(IFolderStream* out, const PlaneView& plane, uint32_t rows, uint32_t packed) {
  if (!packed) return;  // rows of no bytes: nothing to write, however many there are
  uint32_t written = 0;
  if (IsPackedPlane(plane, rows, packed)) {
    out->Write(plane.data, packed * rows, &written);
    return;
  }
  const uint32_t copy = RowBytesAvailable(plane, packed);
  for (uint32_t y = 0; y < rows; ++y) {
    if (copy) out->Write(plane.Row(y), copy, &written);
    if (copy < packed) WriteZeros(out, packed - copy);
  }
}

// The record's rows of one plane into the image's plane. Nothing lands outside a row of the
// image: row bytes beyond the image's row length and rows beyond its height are read and
// dropped. False when the content ended.
bool ReadPlane(IFolderStream* in, const PlaneView& plane, uint32_t imageRows, uint32_t recordRows, uint32_t packed) {
  const uint32_t rows = plane.data ? std::min(imageRows, recordRows) : 0;
  if (IsPackedPlane(plane, rows, packed)) {
    if (!ReadBytes(in, plane.data, packed * rows)) return false;
  } else {
    const uint32_t copy = RowBytesAvailable(plane, packed);
    for (uint32_t y = 0; y < rows; ++y) {
      if (copy && !ReadBytes(in, plane.Row(y), copy)) return false;
      if (!SkipBytes(in, packed - copy)) return false;
    }
  }
  return SkipBytes(in, uint64_t{recordRows - rows} * packed);
}

// Every plane's rows into one "Data" child, each plane between the transform's two Apply calls
// (a colour image's pixels are stored as the transform makes them; two Apply calls restore them).
HRESULT SaveRows(IPXMImage* image, IFolderStream* folder, const ImageDescription& d) {
  const uint32_t packed = PackedRowLength(d.bitsPerPixel, d.width);
  SmartPtr<IFolderStream> data;
  for (uint32_t p = 0; p < d.planes; ++p) {
    PlaneView plane;
    GetPlane(image, p, &plane);
    if (p == 0) {
      if (!WriteFolderValue(folder, L"Direction", static_cast<uint32_t>(plane.stride))) return PXM_E_FAIL;
      data = ChildFolder(folder, L"Data", true);
      if (!data) return PXM_E_FAIL;
      data->Reserve(plane.size + 8, 4, 0);
    }
    SmartPtr<IPXMTransform> transform = GetTransformComponent();
    const bool apply = d.fourcc != FOURCC_MONO && transform;
    if (apply) transform->Apply(image);
    WritePlane(data.Get(), plane, d.height, packed);
    if (apply) transform->Apply(image);
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

  SmartPtr<IFolderStream> child = ChildFolder(folder, L"Palette", true);
  if (!child) return PXM_E_FAIL;
  if (!WriteFolderValue(child.Get(), L"Size", count)) return PXM_E_FAIL;
  if (!WriteFolderBytes(child.Get(), L"Data", 4, bytes, 4 * count)) return PXM_E_FAIL;
  return PXM_S_OK;
}

void LoadRows(IPXMImage* image, IFolderStream* data, const ImageDescription& record) {
  const uint32_t packed = PackedRowLength(record.bitsPerPixel, record.width);
  // Without bytes to read a plane moves nothing; a record must not make us walk its planes idly.
  if (!packed || !record.height) return;
  uint32_t imageRows = 0;
  image->GetSize(nullptr, &imageRows, nullptr);
  for (uint32_t p = 0; p < record.planes; ++p) {
    PlaneView plane;
    if (PXM_FAILED(GetPlane(image, p, &plane))) return;  // the image has no such plane
    if (!ReadPlane(data, plane, imageRows, record.height, packed)) return;
  }
}

void LoadPalette(IPXMImage* image, IFolderStream* folder) {
  SmartPtr<IPXMImagePalette> palette;
  image->QueryInterface(IID_IPXMImagePalette, palette.ReceiveVoid());
  if (!palette) return;
  SmartPtr<IFolderStream> child = ChildFolder(folder, L"Palette", false);
  if (!child) return;
  uint32_t count = 0;
  if (PXM_FAILED(ReadFolderValue(child.Get(), L"Size", &count)) || count == 0 || count > kMaxPaletteEntries) return;
  // The stored "Data" must be exactly count entries: a read of another size fails.
  uint32_t entries[kMaxPaletteEntries];
  if (PXM_FAILED(ReadFolderBytes(child.Get(), L"Data", 4, entries, 4 * count))) return;
  palette->SetPalette(entries, count, 0);
}

}  // namespace

bool WriteFolderValue(IFolderStream* folder, const wchar_t* key, uint32_t keyLength, uint32_t value) {
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

  // No key can be made without a string component: then the first write fails and nothing is written.
  const bool header = WriteFolderValue(folder, L"Width", d.width) && WriteFolderValue(folder, L"Height", d.height) &&
                      WriteFolderValue(folder, L"BitsPerPixel", d.bitsPerPixel) &&
                      WriteFolderValue(folder, L"NumberPlanes", d.planes) &&
                      WriteFolderValue(folder, L"FOURCC", MapFourcc(d.fourcc, d.bitsPerPixel));
  if (!header) return PXM_E_FAIL;
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

  // The class decides what it makes of the sizes; the rows then go where its GetImage says.
  const HRESULT created =
      image->Create(record.width, record.height, record.planes, record.bitsPerPixel, record.fourcc);
  if (PXM_FAILED(created)) return created;

  SmartPtr<IFolderStream> data = ChildFolder(folder, L"Data", false);
  if (record.planes && record.height) {
    if (!data) return PXM_E_FAIL;
    LoadRows(image, data.Get(), record);
  }
  if (record.bitsPerPixel >= 24 && record.fourcc != FOURCC_MONO) {
    if (SmartPtr<IPXMTransform> transform = GetTransformComponent()) transform->Apply(image);
  }
  LoadPalette(image, folder);
  return created;
}
