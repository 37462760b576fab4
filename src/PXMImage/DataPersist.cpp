// IDataPersist of every class: the image record written into, and read from, the structured view
// that a host data stream hands out. A canvas keeps its transparent colour in front of the record.
#include "PXM/SmartPtr.h"
#include "PXMImage/ImageRecord.h"

namespace {

// The stream's folder view; only whether a pointer comes back counts, not the result.
SmartPtr<IFolderStream> FolderView(IDataStream* stream) {
  SmartPtr<IFolderStream> folder;
  if (stream) stream->QueryInterface(IID_IFolderStream, folder.ReceiveVoid());
  return folder;
}

}  // namespace

HRESULT SaveToDataStream(IPXMImage* image, IDataStream* stream, int32_t* transparentColor) {
  SmartPtr<IFolderStream> folder = FolderView(stream);
  if (!folder) return PXM_E_FAIL;
  // The key is spelled without the "s": that is the name streams already hold.
  if (transparentColor) {
    const HRESULT hr = WriteFolderValue(folder.Get(), L"TranparentColor", static_cast<uint32_t>(*transparentColor));
    if (PXM_FAILED(hr)) return hr;
  }
  return SaveImageRecord(image, folder.Get());
}

HRESULT LoadFromDataStream(IPXMImage* image, IDataStream* stream, int32_t* transparentColor) {
  SmartPtr<IFolderStream> folder = FolderView(stream);
  if (!folder) return PXM_E_FAIL;
  // A stream without the colour (one saved from another class) loads all the same and leaves it.
  uint32_t color = 0;
  if (transparentColor && PXM_SUCCEEDED(ReadFolderValue(folder.Get(), L"TranparentColor", &color)))
    *transparentColor = static_cast<int32_t>(color);
  return LoadImageRecord(image, folder.Get());
}
