#include "StringComponent.h"

#include <string_view>

#include "HostString.h"

namespace host {

namespace {
constexpr uint32_t kPartClass = 1;
constexpr uint32_t kPartLibrary = 4;
constexpr std::wstring_view kClassName = L"CreatableString";
constexpr std::wstring_view kLibraryName = L"Collections";
}  // namespace

std::span<const InterfaceEntry<StringComponent>> StringComponent::Interfaces() {
  static constexpr InterfaceEntry<StringComponent> kMap[] = {
      {&pxm::iid::IUnknown, AnswerAs<StringComponent, IComponentString>},
      {&pxm::iid::IComponentString, AnswerAs<StringComponent, IComponentString>},
  };
  return kMap;
}

StringComponent* StringComponent::MakeDescribed() {
  StringComponent* component = Make<StringComponent>();
  if (component == nullptr) return nullptr;
  if (component->SetPart(kPartLibrary, static_cast<uint32_t>(kLibraryName.size()), kLibraryName.data()) < 0 ||
      component->SetPart(kPartClass, static_cast<uint32_t>(kClassName.size()), kClassName.data()) < 0) {
    component->Release();
    return nullptr;
  }
  return component;
}

bool StringComponent::PartIs(uint32_t part, std::wstring_view text) const {
  const PodVector<wchar_t>& held = parts_[part];
  return std::wstring_view(held.Data() != nullptr ? held.Data() : L"", held.Size()) == text;
}

HRESULT StringComponent::CreateObject(const IID* iid, void** out) {
  if (out == nullptr) return PXM_E_POINTER;
  *out = nullptr;
  if (!PartIs(kPartLibrary, kLibraryName) || !PartIs(kPartClass, kClassName)) return PXM_E_FAIL;
  return HandOut(Make<HostString>(), iid, out);
}

HRESULT StringComponent::SetPart(uint32_t part, uint32_t length, const wchar_t* text) {
  if (part >= kPartCount) return PXM_E_INVALIDARG;
  if (text == nullptr && length != 0) return PXM_E_POINTER;
  return parts_[part].Assign(text, length) ? PXM_S_OK : PXM_E_OUTOFMEMORY;
}

}  // namespace host
