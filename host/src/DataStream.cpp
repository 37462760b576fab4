#include "DataStream.h"

#include "FolderView.h"
#include "HostIIDs.h"

namespace host {

std::span<const InterfaceEntry<DataStream>> DataStream::Interfaces() {
  static constexpr InterfaceEntry<DataStream> kMap[] = {
      {&pxm::iid::IUnknown, AnswerAs<DataStream, IDataStream>},
      {&iid::IDataStream, AnswerAs<DataStream, IDataStream>},
      {&pxm::iid::IFolderStream, AnswerFolder},
  };
  return kMap;
}

HRESULT DataStream::AnswerFolder(DataStream* self, void** out) {
  IFolderStream* view = nullptr;
  const HRESULT hr = FolderView::Open(self->root_, &view);
  *out = view;
  return hr;
}

DataStream* DataStream::Make(FolderNode* root) {
  if (root != nullptr) {
    root->AddRef();
  } else {
    root = FolderNode::Make(0);
    if (root == nullptr) return nullptr;
  }
  DataStream* stream = new (std::nothrow) DataStream(root);
  if (stream == nullptr) root->Release();
  return stream;
}

}  // namespace host
