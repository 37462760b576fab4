// Texts as the interfaces pass them: a view of the caller's characters, and a string's own text.
#pragma once
#include <string>
#include <string_view>

#include "ComPtr.h"

inline tagREFString Ref(std::wstring_view text) { return {static_cast<uint32_t>(text.size()), text.data()}; }
inline std::wstring TextOf(IString* string) {
  tagREFString text{0, nullptr};
  return string->GetText(&text.m_Text, &text.m_Length), std::wstring(text.m_Text, text.m_Length);
}
