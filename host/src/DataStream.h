// The host's data stream: a binary stream whose structured view is a tree of folders.
// Asked for IFolderStream, it hands out a new view of its root folder.
#pragma once
#include <span>

#include "FolderNode.h"
#include "Object.h"
#include "pxm/HostInterfaces.h"

namespace host {

class DataStream final : public Object<DataStream, IDataStream> {
 public:
  static std::span<const InterfaceEntry<DataStream>> Interfaces();
  // A stream over the root folder (keeping a reference to it), or an empty stream when root
  // is null; null without memory.
  static DataStream* Make(FolderNode* root = nullptr);

 private:
  friend class Object<DataStream, IDataStream>;
  explicit DataStream(FolderNode* root) : root_(root) {}
  ~DataStream() { root_->Release(); }
  static HRESULT AnswerFolder(DataStream* self, void** out);

  FolderNode* root_;
};

}  // namespace host
