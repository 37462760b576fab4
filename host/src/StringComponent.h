// The string component: makes host strings once it is described as the creatable string of
// the collections ("Collections" in part 4, "CreatableString" in part 1).
#pragma once
#include <span>
#include <string_view>

#include "Object.h"
#include "PodVector.h"
#include "pxm/HostInterfaces.h"

namespace host {

class StringComponent final : public Object<StringComponent, IComponentString> {
 public:
  static std::span<const InterfaceEntry<StringComponent>> Interfaces();
  // A component already described, as the collection hands it out; null without memory.
  static StringComponent* MakeDescribed();

  HRESULT CreateObject(const IID* iid, void** out) override;
  HRESULT SetPart(uint32_t part, uint32_t length, const wchar_t* text) override;

  static constexpr uint32_t kPartCount = 8;

 private:
  bool PartIs(uint32_t part, std::wstring_view text) const;

  PodVector<wchar_t> parts_[kPartCount];
};

}  // namespace host
