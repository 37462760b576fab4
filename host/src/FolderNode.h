// The content of one stream folder: keyed values and named child folders in the order they
// were made, and byte content. Views (FolderView) and parents share a node by reference.
#pragma once
#include <atomic>
#include <cstdint>
#include <string_view>

#include "PodVector.h"

namespace host {

class FolderNode;

enum class EntryKind : uint8_t { Value = 1, Folder = 2 };

struct FolderEntry {
  FolderEntry() = default;
  FolderEntry(const FolderEntry&) = delete;
  FolderEntry& operator=(const FolderEntry&) = delete;
  ~FolderEntry();

  std::wstring_view Key() const;

  EntryKind kind = EntryKind::Value;
  PodVector<wchar_t> key;
  PodVector<uint8_t> value;       // a value's bytes
  FolderNode* folder = nullptr;   // a folder's node, one reference
};

class FolderNode {
 public:
  // Folders nest at most this deep below the root (depth 0); deeper nesting is refused, in
  // memory and in serialised bytes alike.
  static constexpr uint32_t kMaxDepth = 32;

  // A new empty node with one reference; null without memory.
  static FolderNode* Make(uint32_t depth);

  void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release();

  uint32_t Depth() const { return depth_; }
  uint32_t EntryCount() const { return entries_.Size(); }
  FolderEntry& Entry(uint32_t index) { return *entries_[index]; }
  const FolderEntry& Entry(uint32_t index) const { return *entries_[index]; }
  PodVector<uint8_t>& Content() { return content_; }
  const PodVector<uint8_t>& Content() const { return content_; }

  // The first entry of this kind under the key, or null.
  FolderEntry* Find(EntryKind kind, std::wstring_view key);
  // A new entry at the end with its key and, for a value, its bytes; null without memory,
  // leaving the node as it was.
  FolderEntry* Add(EntryKind kind, std::wstring_view key, const uint8_t* value = nullptr, uint32_t size = 0);
  // Puts the child folder under the key, taking a reference to it; a folder already there is
  // replaced in its place. False without memory, leaving the node as it was.
  bool PutChild(std::wstring_view key, FolderNode* child);

 private:
  explicit FolderNode(uint32_t depth) : depth_(depth) {}
  ~FolderNode();

  std::atomic<uint32_t> refs_{1};
  uint32_t depth_;
  PodVector<FolderEntry*> entries_;
  PodVector<uint8_t> content_;
};

}  // namespace host
