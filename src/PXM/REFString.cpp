// CREFString's scanning operations: lines, fields and words cut off the front or back of a view.
//
// Every operation works on a std::wstring_view of its inputs. A view whose text is null counts as
// empty whatever its length says, so a null text is never read. Results are computed first and
// written last: the view is updated before the out-views, and out-views are written in argument
// order. An out-view that is the view itself therefore ends up holding the out value (the
// consumed view is lost), and when both out-views of Split are one object, it holds the tail.
// Where an operation only clears an out-view's length, its text pointer is left as it was.
//
// Positions travel back in the result code, a signed 32-bit value. A position (or GetWord's
// position + 1) above 2^31 - 1 would read as a failure code, so such a call fails outright and
// changes nothing.
#include "PXM/REFString.h"

#include <cctype>
#include <cstdint>
#include <string_view>

namespace {

constexpr size_t npos = std::wstring_view::npos;

std::wstring_view Chars(const tagREFString& text) {
  return text.m_Text ? std::wstring_view(text.m_Text, text.m_Length) : std::wstring_view();
}

void Put(CREFString* out, const wchar_t* text, size_t length) {
  if (out) {
    out->m_Text = text;
    out->m_Length = static_cast<uint32_t>(length);
  }
}

void ClearLength(CREFString* out) {
  if (out) out->m_Length = 0;
}

// The first character of the text that is in the set. A lone separator, the usual case, is
// found with the vectorised single-character search.
size_t FirstOf(std::wstring_view text, std::wstring_view set) {
  return set.size() == 1 ? text.find(set[0]) : text.find_first_of(set);
}

bool FitsResult(size_t value) { return value <= static_cast<size_t>(INT32_MAX); }

// The narrow classification of the current locale, asked only for values 0..255: a wide
// character beyond that range (or negative) is never a digit, space or punctuation.
bool IsNarrow(wchar_t c) { return static_cast<uint32_t>(c) <= 255u; }
bool IsDigit(wchar_t c) { return IsNarrow(c) && std::isdigit(static_cast<int>(c)); }
bool IsSpace(wchar_t c) { return IsNarrow(c) && std::isspace(static_cast<int>(c)); }
bool IsPunct(wchar_t c) { return IsNarrow(c) && std::ispunct(static_cast<int>(c)); }

size_t SkipDigits(std::wstring_view text, size_t i) {
  while (i < text.size() && IsDigit(text[i])) ++i;
  return i;
}

// The end of a number whose digits start at `i`: digits, then a fraction only when the '.' is
// followed by a digit, then an exponent only after a fraction and only with a sign and a digit.
size_t NumberEnd(std::wstring_view text, size_t i) {
  i = SkipDigits(text, i);
  if (i + 1 < text.size() && text[i] == L'.' && IsDigit(text[i + 1])) {
    i = SkipDigits(text, i + 1);
    if (i + 2 < text.size() && (text[i] == L'e' || text[i] == L'E') &&
        (text[i + 1] == L'+' || text[i + 1] == L'-') && IsDigit(text[i + 2])) {
      i = SkipDigits(text, i + 2);
    }
  }
  return i;
}

// A name runs up to white space or punctuation; '_' inside a name belongs to it.
size_t NameEnd(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && !IsSpace(text[i]) && (text[i] == L'_' || !IsPunct(text[i]))) ++i;
  return i;
}

bool IsLineBreak(wchar_t c) { return c == L'\n' || c == L'\r'; }

}  // namespace

HRESULT CREFString::GetLine(CREFString* line, bool consume, wchar_t separator, bool dropSeparator) {
  const std::wstring_view text = Chars(*this);
  if (text.empty()) {
    ClearLength(line);
    return PXM_E_FAIL;
  }
  const size_t at = text.find(separator);
  const size_t n = at == npos ? text.size() : at + 1;
  const size_t lineLength = at != npos && dropSeparator ? n - 1 : n;
  HRESULT result;
  if (consume) {
    Advance(static_cast<uint32_t>(n));
    result = m_Length ? PXM_S_OK : PXM_S_FALSE;
  } else {
    result = n < text.size() ? PXM_S_OK : PXM_E_FAIL;
  }
  Put(line, text.data(), lineLength);
  return result;
}

HRESULT CREFString::GetLineCRLF(CREFString* line, bool dropTerminator, bool consume) {
  const std::wstring_view text = Chars(*this);
  if (text.empty()) {
    ClearLength(line);
    return PXM_E_FAIL;
  }
  // "\r\n" and "\n\r" are one terminator; "\n\n" is two, with an empty line between them.
  size_t at = text.find_first_of(L"\r\n");
  size_t terminator = 0;
  if (at == npos) {
    at = text.size();
  } else {
    terminator = 1;
    if (at + 1 < text.size() && text[at + 1] != text[at] && IsLineBreak(text[at + 1])) terminator = 2;
  }
  HRESULT result = PXM_S_OK;
  if (consume) {
    Advance(static_cast<uint32_t>(at + terminator));
    if (!m_Length) result = PXM_S_FALSE;
  }
  Put(line, text.data(), dropTerminator ? at : at + terminator);
  return result;
}

HRESULT CREFString::GetReverseLine(CREFString* head, wchar_t separator, bool consume, bool dropSeparator) {
  const std::wstring_view text = Chars(*this);
  const size_t at = text.rfind(separator);
  if (at == npos || at == 0) {
    Put(head, text.data(), 0);
    return PXM_E_FAIL;
  }
  if (consume) Advance(static_cast<uint32_t>(dropSeparator ? at + 1 : at));
  Put(head, text.data(), at);
  return PXM_S_OK;
}

HRESULT CREFString::GetLineRight(CREFString* tail, wchar_t separator, bool cut, bool dropSeparator,
                                 bool wholeWhenAbsent) {
  const std::wstring_view text = Chars(*this);
  if (text.empty()) return PXM_E_FAIL;
  const size_t at = text.rfind(separator);
  if (at != npos) {
    // The separator stays on exactly one side unless it is dropped from both.
    const size_t tailStart = dropSeparator ? at + 1 : at;
    if (cut) m_Length = static_cast<uint32_t>(dropSeparator ? at : at + 1);
    Put(tail, text.data() + tailStart, text.size() - tailStart);
    return PXM_S_OK;
  }
  if (wholeWhenAbsent) {
    if (cut) m_Length = 0;
    Put(tail, text.data(), text.size());
    return PXM_S_OK;
  }
  ClearLength(tail);
  return PXM_E_FAIL;
}

HRESULT CREFString::Crop(CREFString* tail, wchar_t separator, bool cut, bool dropSeparator) {
  if (Chars(*this).empty()) {
    ClearLength(tail);
    return PXM_E_FAIL;
  }
  return CREFString::GetLineRight(tail, separator, cut, dropSeparator, false);
}

HRESULT CREFString::Split(CREFString* head, CREFString* tail, CREFString separators, int stopAtControl) {
  const std::wstring_view text = Chars(*this);
  const std::wstring_view set = Chars(separators);
  size_t at = npos;
  if (!set.empty()) {
    // Control characters are below 32 as signed values, so 0x80000000 and up count too.
    for (size_t i = 0; i < text.size(); ++i) {
      if ((stopAtControl && static_cast<int32_t>(text[i]) < 32) || set.find(text[i]) != npos) {
        at = i;
        break;
      }
    }
  }
  if (at == npos) {
    Put(head, text.data(), text.size());
    ClearLength(tail);
    return PXM_E_FAIL;
  }
  Put(head, text.data(), at);
  Put(tail, text.data() + at, text.size() - at);
  return PXM_S_OK;
}

HRESULT CREFString::GetFirstWord(CREFString* word, bool consume) {
  const std::wstring_view text = Chars(*this);
  if (text.empty()) {
    ClearLength(word);
    return PXM_E_FAIL;
  }
  size_t begin = 0;  // the word within the token
  size_t end;
  size_t taken;  // the token's length: what consuming drops
  const wchar_t first = text[0];
  if (first == L'"') {
    const size_t close = text.find(L'"', 1);
    if (close == npos) {
      end = taken = text.size();  // unclosed: the whole view, opening quote included
    } else {
      begin = 1;
      end = close;
      taken = close + 1;
    }
  } else if (first == L'-' && text.size() > 1 && IsDigit(text[1])) {
    end = taken = NumberEnd(text, 1);
  } else if (IsDigit(first)) {
    end = taken = NumberEnd(text, 0);
  } else if (IsPunct(first) && first != L'-') {
    end = taken = 1;
  } else {
    end = taken = NameEnd(text);  // a lone '-' ends the name at once
    if (!end) return PXM_E_FAIL;
  }
  if (consume) Advance(static_cast<uint32_t>(taken));
  Put(word, text.data() + begin, end - begin);
  return PXM_S_OK;
}

HRESULT CREFString::GetWord(CREFString* word, bool consume, tagREFString separators) {
  const std::wstring_view text = Chars(*this);
  if (text.empty()) {
    ClearLength(word);
    return PXM_E_FAIL;
  }
  const size_t at = FirstOf(text, Chars(separators));
  if (at != npos && !FitsResult(at + 1)) return PXM_E_FAIL;
  const size_t length = at == npos ? text.size() : at;
  if (consume) Advance(static_cast<uint32_t>(length));  // the separator stays at the front
  Put(word, text.data(), length);
  return at == npos ? PXM_S_OK : static_cast<HRESULT>(at + 1);
}

HRESULT CREFString::Contains(tagREFString text) {
  const std::wstring_view needle = Chars(text);
  if (needle.empty()) return PXM_E_FAIL;
  const size_t at = Chars(*this).find(needle);
  return at != npos && FitsResult(at) ? static_cast<HRESULT>(at) : PXM_E_FAIL;
}

HRESULT CREFString::ContainsChar(tagREFString set) {
  const size_t at = FirstOf(Chars(*this), Chars(set));
  return at != npos && FitsResult(at) ? static_cast<HRESULT>(at) : PXM_E_FAIL;
}
