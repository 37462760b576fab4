// The module's C API (include/duvirovurozad/DuvirovurozAd.h).
#include "duvirovurozad/DuvirovurozAd.h"

#include <cstdlib>

#include "DataStream.h"
#include "FolderView.h"
#include "StreamCodec.h"
#include "StreamFile.h"
#include "Transform.h"

using namespace host;

namespace {

// The folder node behind one of our folder views or data streams, with a reference for the
// caller; null for anything else.
FolderNode* NodeOf(IUnknown* object) {
  if (object == nullptr) return nullptr;
  IFolderStream* view = nullptr;
  if (object->QueryInterface(pxm::iid::IFolderStream, reinterpret_cast<void**>(&view)) < 0 || view == nullptr) {
    return nullptr;
  }
  FolderView* ours = FolderView::Of(view);
  FolderNode* node = ours != nullptr ? &ours->Node() : nullptr;
  if (node != nullptr) node->AddRef();
  view->Release();
  return node;
}

HRESULT HandOutStream(FolderNode* root, IDataStream** stream) {
  DataStream* made = DataStream::Make(root);
  *stream = made;
  return made != nullptr ? PXM_S_OK : PXM_E_OUTOFMEMORY;
}

}  // namespace

DUVIROVUROZAD_API HRESULT DuvirovurozAdCreateDataStream(IDataStream** stream) {
  if (stream == nullptr) return PXM_E_POINTER;
  return HandOutStream(nullptr, stream);
}

DUVIROVUROZAD_API HRESULT DuvirovurozAdStreamToBytes(IDataStream* stream, uint8_t** bytes, size_t* size) {
  if (stream == nullptr || bytes == nullptr || size == nullptr) return PXM_E_POINTER;
  *bytes = nullptr;
  *size = 0;
  FolderNode* root = NodeOf(stream);
  if (root == nullptr) return PXM_E_INVALIDARG;
  const HRESULT hr = EncodeStream(*root, bytes, size);
  root->Release();
  return hr;
}

DUVIROVUROZAD_API void DuvirovurozAdFreeBytes(uint8_t* bytes) { std::free(bytes); }

DUVIROVUROZAD_API HRESULT DuvirovurozAdStreamFromBytes(const uint8_t* bytes, size_t size, IDataStream** stream) {
  if (stream == nullptr) return PXM_E_POINTER;
  *stream = nullptr;
  FolderNode* root = nullptr;
  HRESULT hr = DecodeStream(bytes, size, &root);
  if (hr < 0) return hr;
  hr = HandOutStream(root, stream);
  root->Release();
  return hr;
}

DUVIROVUROZAD_API HRESULT DuvirovurozAdWriteStreamFile(IDataStream* stream, const char* path) {
  if (path == nullptr) return PXM_E_POINTER;
  uint8_t* bytes = nullptr;
  size_t size = 0;
  HRESULT hr = DuvirovurozAdStreamToBytes(stream, &bytes, &size);
  if (hr < 0) return hr;
  hr = WriteFileAtomically(path, bytes, size);
  std::free(bytes);
  return hr;
}

DUVIROVUROZAD_API HRESULT DuvirovurozAdReadStreamFile(const char* path, IDataStream** stream) {
  if (stream == nullptr) return PXM_E_POINTER;
  *stream = nullptr;
  if (path == nullptr) return PXM_E_POINTER;
  uint8_t* bytes = nullptr;
  size_t size = 0;
  HRESULT hr = ReadWholeFile(path, &bytes, &size);
  if (hr < 0) return hr;
  hr = DuvirovurozAdStreamFromBytes(bytes, size, stream);
  std::free(bytes);
  return hr;
}

DUVIROVUROZAD_API HRESULT DuvirovurozAdListFolder(IUnknown* folder, DuvirovurozAdEntry* entries, uint32_t capacity,
                                                  uint32_t* count, uint32_t* contentSize) {
  if (folder == nullptr || count == nullptr || (entries == nullptr && capacity != 0)) return PXM_E_POINTER;
  FolderNode* node = NodeOf(folder);
  if (node == nullptr) return PXM_E_INVALIDARG;
  *count = node->EntryCount();
  if (contentSize != nullptr) *contentSize = node->Content().Size();
  for (uint32_t i = 0; i < node->EntryCount() && i < capacity; ++i) {
    const FolderEntry& entry = node->Entry(i);
    const bool isValue = entry.kind == EntryKind::Value;
    entries[i] = DuvirovurozAdEntry{isValue ? DuvirovurozAdValue : DuvirovurozAdFolder, entry.key.Size(),
                                    entry.Key().data(),
                                    isValue ? entry.value.Size() : entry.folder->Content().Size(),
                                    isValue ? entry.value.Data() : nullptr};
  }
  node->Release();
  return PXM_S_OK;
}

DUVIROVUROZAD_API HRESULT DuvirovurozAdOpenEntry(IUnknown* folder, uint32_t index, IFolderStream** child) {
  if (child == nullptr) return PXM_E_POINTER;
  *child = nullptr;
  if (folder == nullptr) return PXM_E_POINTER;
  FolderNode* node = NodeOf(folder);
  if (node == nullptr) return PXM_E_INVALIDARG;
  HRESULT hr = PXM_E_INVALIDARG;
  if (index < node->EntryCount() && node->Entry(index).kind == EntryKind::Folder) {
    hr = FolderView::Open(node->Entry(index).folder, child);
  }
  node->Release();
  return hr;
}

DUVIROVUROZAD_API int64_t DuvirovurozAdLiveObjects(void) { return LiveObjectCounter().load(); }

DUVIROVUROZAD_API uint64_t DuvirovurozAdTransformApplyCount(void) { return TransformApplyCounter().load(); }
