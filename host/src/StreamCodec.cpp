#include "StreamCodec.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace host {

namespace {

constexpr uint8_t kMagic[4] = {'D', 'V', 'S', 'T'};
constexpr uint32_t kVersion = 1;
// The smallest encodings, to refuse counts that the remaining input cannot hold.
constexpr size_t kMinFolderBytes = 4 + 4;     // content size, entry count
constexpr size_t kMinEntryBytes = 1 + 4 + 4;  // kind, key length, value size

uint64_t FolderBytes(const FolderNode& folder) {
  uint64_t total = kMinFolderBytes + folder.Content().Size();
  for (uint32_t i = 0; i < folder.EntryCount(); ++i) {
    const FolderEntry& entry = folder.Entry(i);
    total += 1 + 4 + uint64_t{4} * entry.key.Size();
    total += entry.kind == EntryKind::Value ? 4 + uint64_t{entry.value.Size()} : FolderBytes(*entry.folder);
  }
  return total;
}

class ByteWriter {
 public:
  explicit ByteWriter(uint8_t* out) : out_(out) {}
  void U8(uint8_t v) { *out_++ = v; }
  void U32(uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) *out_++ = static_cast<uint8_t>(v >> shift);
  }
  void Bytes(const uint8_t* data, uint32_t count) {
    if (count != 0) std::memcpy(out_, data, count);
    out_ += count;
  }

 private:
  uint8_t* out_;
};

void WriteFolder(const FolderNode& folder, ByteWriter& out) {
  out.U32(folder.Content().Size());
  out.Bytes(folder.Content().Data(), folder.Content().Size());
  out.U32(folder.EntryCount());
  for (uint32_t i = 0; i < folder.EntryCount(); ++i) {
    const FolderEntry& entry = folder.Entry(i);
    out.U8(static_cast<uint8_t>(entry.kind));
    out.U32(entry.key.Size());
    for (uint32_t c = 0; c < entry.key.Size(); ++c) out.U32(static_cast<uint32_t>(entry.key[c]));
    if (entry.kind == EntryKind::Value) {
      out.U32(entry.value.Size());
      out.Bytes(entry.value.Data(), entry.value.Size());
    } else {
      WriteFolder(*entry.folder, out);
    }
  }
}

// Bounds-checked little-endian reading of untrusted input.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), left_(size) {}
  size_t Left() const { return left_; }
  bool U8(uint8_t* v) {
    if (left_ < 1) return false;
    *v = *data_++;
    --left_;
    return true;
  }
  bool U32(uint32_t* v) {
    if (left_ < 4) return false;
    *v = uint32_t{data_[0]} | uint32_t{data_[1]} << 8 | uint32_t{data_[2]} << 16 | uint32_t{data_[3]} << 24;
    data_ += 4;
    left_ -= 4;
    return true;
  }
  // The next count bytes, which stay in the input.
  bool Bytes(size_t count, const uint8_t** bytes) {
    if (left_ < count) return false;
    *bytes = data_;
    data_ += count;
    left_ -= count;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t left_;
};

// The key's characters, each a 32-bit value, into a wide text.
HRESULT ReadKey(ByteReader& in, PodVector<wchar_t>* key) {
  uint32_t length = 0;
  if (!in.U32(&length) || length > in.Left() / 4) return PXM_E_INVALIDARG;
  if (!key->Reserve(length)) return PXM_E_OUTOFMEMORY;
  for (uint32_t c = 0; c < length; ++c) {
    uint32_t ch = 0;
    in.U32(&ch);  // cannot fail: the length was checked against what is left
    const wchar_t wide = static_cast<wchar_t>(ch);
    key->Append(&wide, 1);  // cannot fail: reserved
  }
  return PXM_S_OK;
}

HRESULT ReadFolder(ByteReader& in, FolderNode& folder) {
  uint32_t contentSize = 0, entryCount = 0;
  const uint8_t* content = nullptr;
  if (!in.U32(&contentSize) || !in.Bytes(contentSize, &content)) return PXM_E_INVALIDARG;
  if (!folder.Content().Assign(content, contentSize)) return PXM_E_OUTOFMEMORY;
  if (!in.U32(&entryCount) || entryCount > in.Left() / kMinEntryBytes) return PXM_E_INVALIDARG;
  for (uint32_t i = 0; i < entryCount; ++i) {
    uint8_t kind = 0;
    if (!in.U8(&kind) || (kind != uint8_t(EntryKind::Value) && kind != uint8_t(EntryKind::Folder))) {
      return PXM_E_INVALIDARG;
    }
    PodVector<wchar_t> key;
    const HRESULT keyRead = ReadKey(in, &key);
    if (keyRead < 0) return keyRead;
    const std::wstring_view keyText(key.Data() != nullptr ? key.Data() : L"", key.Size());
    if (kind == uint8_t(EntryKind::Value)) {
      uint32_t size = 0;
      const uint8_t* value = nullptr;
      if (!in.U32(&size) || !in.Bytes(size, &value)) return PXM_E_INVALIDARG;
      if (folder.Add(EntryKind::Value, keyText, value, size) == nullptr) return PXM_E_OUTOFMEMORY;
      continue;
    }
    if (folder.Depth() >= FolderNode::kMaxDepth) return PXM_E_INVALIDARG;
    FolderNode* child = FolderNode::Make(folder.Depth() + 1);
    if (child == nullptr) return PXM_E_OUTOFMEMORY;
    // Duplicate keys are kept as written: lookups find the first.
    FolderEntry* entry = folder.Add(EntryKind::Folder, keyText);
    if (entry == nullptr) {
      child->Release();
      return PXM_E_OUTOFMEMORY;
    }
    entry->folder = child;
    const HRESULT hr = ReadFolder(in, *child);
    if (hr < 0) return hr;
  }
  return PXM_S_OK;
}

}  // namespace

HRESULT EncodeStream(const FolderNode& root, uint8_t** bytes, size_t* size) {
  if (bytes == nullptr || size == nullptr) return PXM_E_POINTER;
  *bytes = nullptr;
  *size = 0;
  const uint64_t total = sizeof(kMagic) + 4 + FolderBytes(root);
  if (total > SIZE_MAX) return PXM_E_OUTOFMEMORY;
  uint8_t* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(total)));
  if (block == nullptr) return PXM_E_OUTOFMEMORY;
  ByteWriter out(block);
  out.Bytes(kMagic, sizeof(kMagic));
  out.U32(kVersion);
  WriteFolder(root, out);
  *bytes = block;
  *size = static_cast<size_t>(total);
  return PXM_S_OK;
}

HRESULT DecodeStream(const uint8_t* bytes, size_t size, FolderNode** root) {
  if (root == nullptr) return PXM_E_POINTER;
  *root = nullptr;
  if (bytes == nullptr && size != 0) return PXM_E_POINTER;
  ByteReader in(bytes, size);
  const uint8_t* magic = nullptr;
  uint32_t version = 0;
  if (!in.Bytes(sizeof(kMagic), &magic) || std::memcmp(magic, kMagic, sizeof(kMagic)) != 0 || !in.U32(&version) ||
      version != kVersion) {
    return PXM_E_INVALIDARG;
  }
  FolderNode* folder = FolderNode::Make(0);
  if (folder == nullptr) return PXM_E_OUTOFMEMORY;
  HRESULT hr = ReadFolder(in, *folder);
  if (hr >= 0 && in.Left() != 0) hr = PXM_E_INVALIDARG;  // trailing bytes: not one of ours
  if (hr < 0) {
    folder->Release();
    return hr;
  }
  *root = folder;
  return PXM_S_OK;
}

}  // namespace host
