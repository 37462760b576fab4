// A view of one stream folder, as the host's IFolderStream: the folder's entries and byte
// content, with a read position of its own in that content.
#pragma once
#include <span>

#include "FolderNode.h"
#include "Object.h"
#include "pxm/HostInterfaces.h"

namespace host {

class FolderView final : public Object<FolderView, IFolderStream> {
 public:
  static std::span<const InterfaceEntry<FolderView>> Interfaces();
  // A new view of the node (which it keeps a reference to) with its read position at the
  // start, handed out as IFolderStream; null stored and 0x8007000E without memory.
  static HRESULT Open(FolderNode* node, IFolderStream** out);
  // This module's folder view behind the object (no reference added: the caller's keeps it
  // alive), or null for a foreign or non-folder object.
  static FolderView* Of(IUnknown* object);

  FolderNode& Node() { return *node_; }

  HRESULT Reserve(uint32_t byteCount, uint32_t unit, uint32_t flags) override;
  HRESULT Read(void* buffer, uint32_t byteCount, uint32_t* bytesRead) override;
  HRESULT Write(const void* buffer, uint32_t byteCount, uint32_t* bytesWritten) override;
  HRESULT CreateFolder(IString* key, uint32_t flags, IFolderStream** child) override;
  HRESULT WriteValue(IString* key, const void* value, uint32_t byteCount, uint32_t flags) override;
  HRESULT ReadValue(IString* key, void* value, uint32_t byteCount, uint32_t flags) override;
  HRESULT OpenFolder(IString* key, uint32_t flags, IFolderStream** child) override;

 private:
  friend class Object<FolderView, IFolderStream>;
  explicit FolderView(FolderNode* node) : node_(node) { node_->AddRef(); }
  ~FolderView() { node_->Release(); }

  FolderNode* node_;
  uint32_t readPosition_ = 0;
};

}  // namespace host
