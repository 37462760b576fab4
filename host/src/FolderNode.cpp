#include "FolderNode.h"

#include <new>

namespace host {

FolderEntry::~FolderEntry() {
  if (folder != nullptr) folder->Release();
}

std::wstring_view FolderEntry::Key() const {
  return std::wstring_view(key.Data() != nullptr ? key.Data() : L"", key.Size());
}

FolderNode* FolderNode::Make(uint32_t depth) {
  if (depth > kMaxDepth) return nullptr;
  return new (std::nothrow) FolderNode(depth);
}

void FolderNode::Release() {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

FolderNode::~FolderNode() {
  for (uint32_t i = 0; i < entries_.Size(); ++i) delete entries_[i];
}

FolderEntry* FolderNode::Find(EntryKind kind, std::wstring_view key) {
  for (uint32_t i = 0; i < entries_.Size(); ++i) {
    FolderEntry* entry = entries_[i];
    if (entry->kind == kind && entry->Key() == key) return entry;
  }
  return nullptr;
}

FolderEntry* FolderNode::Add(EntryKind kind, std::wstring_view key, const uint8_t* value, uint32_t size) {
  if (key.size() > UINT32_MAX) return nullptr;
  FolderEntry* entry = new (std::nothrow) FolderEntry();
  if (entry == nullptr) return nullptr;
  entry->kind = kind;
  if (!entry->key.Assign(key.data(), static_cast<uint32_t>(key.size())) || !entry->value.Assign(value, size) ||
      !entries_.Append(entry)) {
    delete entry;
    return nullptr;
  }
  return entry;
}

bool FolderNode::PutChild(std::wstring_view key, FolderNode* child) {
  FolderEntry* entry = Find(EntryKind::Folder, key);
  if (entry == nullptr) entry = Add(EntryKind::Folder, key);
  if (entry == nullptr) return false;
  child->AddRef();
  // Views of a replaced child keep it alive, detached from this folder.
  if (entry->folder != nullptr) entry->folder->Release();
  entry->folder = child;
  return true;
}

}  // namespace host
