#include "FolderView.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "HostIIDs.h"

namespace host {

namespace {

// The key's text; fails for a null key or one that will not give its text.
HRESULT KeyText(IString* key, std::wstring_view* text) {
  if (key == nullptr) return PXM_E_POINTER;
  const wchar_t* chars = nullptr;
  uint32_t length = 0;
  const HRESULT hr = key->GetText(&chars, &length);
  if (hr < 0) return hr;
  if (chars == nullptr && length != 0) return PXM_E_POINTER;
  *text = std::wstring_view(chars != nullptr ? chars : L"", length);
  return PXM_S_OK;
}

}  // namespace

std::span<const InterfaceEntry<FolderView>> FolderView::Interfaces() {
  static constexpr InterfaceEntry<FolderView> kMap[] = {
      {&pxm::iid::IUnknown, AnswerAs<FolderView, IFolderStream>},
      {&pxm::iid::IFolderStream, AnswerAs<FolderView, IFolderStream>},
      {&iid::HostFolderView, AnswerAs<FolderView, IFolderStream>},
  };
  return kMap;
}

HRESULT FolderView::Open(FolderNode* node, IFolderStream** out) {
  FolderView* view = new (std::nothrow) FolderView(node);
  *out = view;
  return view != nullptr ? PXM_S_OK : PXM_E_OUTOFMEMORY;
}

FolderView* FolderView::Of(IUnknown* object) {
  if (object == nullptr) return nullptr;
  void* face = nullptr;
  if (object->QueryInterface(iid::HostFolderView, &face) < 0 || face == nullptr) return nullptr;
  // Only this module's views answer the private identifier, with their IFolderStream.
  FolderView* view = static_cast<FolderView*>(static_cast<IFolderStream*>(face));
  view->Release();
  return view;
}

HRESULT FolderView::Reserve(uint32_t byteCount, uint32_t, uint32_t) {
  return node_->Content().Reserve(byteCount) ? PXM_S_OK : PXM_E_OUTOFMEMORY;
}

HRESULT FolderView::Read(void* buffer, uint32_t byteCount, uint32_t* bytesRead) {
  if (bytesRead != nullptr) *bytesRead = 0;
  if (buffer == nullptr && byteCount != 0) return PXM_E_POINTER;
  const PodVector<uint8_t>& content = node_->Content();
  const uint32_t left = content.Size() - readPosition_;  // content only grows
  const uint32_t count = byteCount < left ? byteCount : left;
  if (count != 0) std::memcpy(buffer, content.Data() + readPosition_, count);
  readPosition_ += count;
  if (bytesRead != nullptr) *bytesRead = count;
  return count == byteCount ? PXM_S_OK : PXM_E_FAIL;
}

HRESULT FolderView::Write(const void* buffer, uint32_t byteCount, uint32_t* bytesWritten) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  if (buffer == nullptr && byteCount != 0) return PXM_E_POINTER;
  if (!node_->Content().Append(static_cast<const uint8_t*>(buffer), byteCount)) return PXM_E_OUTOFMEMORY;
  if (bytesWritten != nullptr) *bytesWritten = byteCount;
  return PXM_S_OK;
}

HRESULT FolderView::CreateFolder(IString* key, uint32_t, IFolderStream** child) {
  if (child == nullptr) return PXM_E_POINTER;
  *child = nullptr;
  std::wstring_view text;
  const HRESULT hr = KeyText(key, &text);
  if (hr < 0) return hr;
  if (node_->Depth() >= FolderNode::kMaxDepth) return PXM_E_INVALIDARG;
  FolderNode* made = FolderNode::Make(node_->Depth() + 1);
  if (made == nullptr) return PXM_E_OUTOFMEMORY;
  IFolderStream* view = nullptr;
  HRESULT result = Open(made, &view);
  if (result >= 0 && !node_->PutChild(text, made)) {
    view->Release();
    view = nullptr;
    result = PXM_E_OUTOFMEMORY;
  }
  made->Release();
  *child = view;
  return result;
}

HRESULT FolderView::WriteValue(IString* key, const void* value, uint32_t byteCount, uint32_t) {
  std::wstring_view text;
  const HRESULT hr = KeyText(key, &text);
  if (hr < 0) return hr;
  if (value == nullptr && byteCount != 0) return PXM_E_POINTER;
  const uint8_t* bytes = static_cast<const uint8_t*>(value);
  FolderEntry* entry = node_->Find(EntryKind::Value, text);
  const bool stored = entry != nullptr ? entry->value.Assign(bytes, byteCount)
                                       : node_->Add(EntryKind::Value, text, bytes, byteCount) != nullptr;
  return stored ? PXM_S_OK : PXM_E_OUTOFMEMORY;
}

HRESULT FolderView::ReadValue(IString* key, void* value, uint32_t byteCount, uint32_t) {
  std::wstring_view text;
  const HRESULT hr = KeyText(key, &text);
  if (hr < 0) return hr;
  if (value == nullptr && byteCount != 0) return PXM_E_POINTER;
  const FolderEntry* entry = node_->Find(EntryKind::Value, text);
  if (entry == nullptr || entry->value.Size() != byteCount) return PXM_E_FAIL;
  if (byteCount != 0) std::memcpy(value, entry->value.Data(), byteCount);
  return PXM_S_OK;
}

HRESULT FolderView::OpenFolder(IString* key, uint32_t, IFolderStream** child) {
  if (child == nullptr) return PXM_E_POINTER;
  *child = nullptr;
  std::wstring_view text;
  const HRESULT hr = KeyText(key, &text);
  if (hr < 0) return hr;
  const FolderEntry* entry = node_->Find(EntryKind::Folder, text);
  if (entry == nullptr) return PXM_E_FAIL;
  return Open(entry->folder, child);
}

}  // namespace host
