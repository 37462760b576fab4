// The image record in a host folder, the binary persistence through a data stream's folder
// view, and the fill: shared by every image class, reaching the image only through IPXMImage.
#pragma once
#include "pxm/ImageInterfaces.h"

HRESULT FillImage(IPXMImage* image, int value);
HRESULT SaveImageRecord(IPXMImage* image, IFolderStream* folder);
HRESULT LoadImageRecord(IPXMImage* image, IFolderStream* folder);

// IDataPersist: the record written through the stream's folder view. A canvas passes its
// transparent colour, which goes in front of the record.
HRESULT SaveToDataStream(IPXMImage* image, IDataStream* stream, int32_t* transparentColor);
HRESULT LoadFromDataStream(IPXMImage* image, IDataStream* stream, int32_t* transparentColor);

// 32-bit values of a folder, stored as four little-endian bytes under a key made as a new host
// string for the one call and released after it. Both return PXM_E_FAIL when the key could not
// be made (then nothing is written or read), else the folder's result.
HRESULT WriteFolderValue(IFolderStream* folder, const wchar_t* key, uint32_t keyLength, uint32_t value);
HRESULT ReadFolderValue(IFolderStream* folder, const wchar_t* key, uint32_t keyLength, uint32_t* value);
template <size_t N>
HRESULT WriteFolderValue(IFolderStream* folder, const wchar_t (&key)[N], uint32_t value) {
  return WriteFolderValue(folder, key, N - 1, value);
}
template <size_t N>
HRESULT ReadFolderValue(IFolderStream* folder, const wchar_t (&key)[N], uint32_t* value) {
  return ReadFolderValue(folder, key, N - 1, value);
}
