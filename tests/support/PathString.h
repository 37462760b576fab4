// A host string of the tests' own, holding a path (or any text) for calls that take an IString.
// It lives on the caller's stack, so its references are not counted.
#pragma once
#include <filesystem>
#include <string>

#include "pxm/PXM.h"

class PathString final : public IString {
 public:
  explicit PathString(std::wstring text) : m_Text(std::move(text)) {}
  explicit PathString(const std::filesystem::path& path) : m_Text(path.wstring()) {}
  HRESULT QueryInterface(const IID&, void** out) override { return out ? void(*out = nullptr) : void(), PXM_E_NOINTERFACE; }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  HRESULT GetText(const wchar_t** text, uint32_t* length) override { return *text = m_Text.c_str(), *length = uint32_t(m_Text.size()), PXM_S_OK; }

 private:
  std::wstring m_Text;
};
