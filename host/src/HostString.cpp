#include "HostString.h"

#include "HostIIDs.h"

namespace host {

std::span<const InterfaceEntry<HostString>> HostString::Interfaces() {
  static constexpr InterfaceEntry<HostString> kMap[] = {
      {&pxm::iid::IUnknown, AnswerAs<HostString, ICreatableString>},
      {&iid::IString, AnswerAs<HostString, ICreatableString>},
      {&pxm::iid::ICreatableString, AnswerAs<HostString, ICreatableString>},
  };
  return kMap;
}

HRESULT HostString::GetText(const wchar_t** text, uint32_t* length) {
  if (text == nullptr || length == nullptr) return PXM_E_POINTER;
  // An empty string still hands out a valid (empty) text.
  *text = text_.Size() != 0 ? text_.Data() : L"";
  *length = text_.Size();
  return PXM_S_OK;
}

HRESULT HostString::SetText(uint32_t length, const wchar_t* text) {
  if (text == nullptr && length != 0) return PXM_E_POINTER;
  return text_.Assign(text, length) ? PXM_S_OK : PXM_E_OUTOFMEMORY;
}

HRESULT HostString::AppendText(uint32_t count, const wchar_t* text) {
  if (text == nullptr && count != 0) return PXM_E_POINTER;
  return text_.Append(text, count) ? PXM_S_OK : PXM_E_OUTOFMEMORY;
}

}  // namespace host
