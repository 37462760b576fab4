// The host's string object: wide text that callers set, extend and read.
#pragma once
#include <span>

#include "Object.h"
#include "PodVector.h"
#include "pxm/HostInterfaces.h"

namespace host {

class HostString final : public Object<HostString, ICreatableString> {
 public:
  static std::span<const InterfaceEntry<HostString>> Interfaces();

  HRESULT GetText(const wchar_t** text, uint32_t* length) override;
  HRESULT SetText(uint32_t length, const wchar_t* text) override;
  HRESULT AppendText(uint32_t count, const wchar_t* text) override;

 private:
  PodVector<wchar_t> text_;
};

}  // namespace host
