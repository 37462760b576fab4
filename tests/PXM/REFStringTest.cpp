// CREFString's scanning operations over texts of the test's own. Each text lives in a heap block
// of exactly its length, so a read past the view trips AddressSanitizer; where it matters, the
// view is a prefix of a longer text whose next character would change the answer if read.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <fstream>
#include <memory>
#include <string>

#include "PXM/REFString.h"

namespace {

constexpr uint32_t kMarkerLength = 99;
const wchar_t kMarkerText[kMarkerLength] = {};

// An out-view that was never written, to tell "untouched" and "length cleared" apart.
CREFString Marker() { return CREFString(kMarkerText, kMarkerLength); }

// A text in a block of exactly its own length; the view may cover only its first characters.
struct Text {
  explicit Text(const std::wstring& text, size_t viewLength = std::wstring::npos)
      : chars(text.empty() ? nullptr : new wchar_t[text.size()]),
        view(chars.get(), static_cast<uint32_t>(std::min(viewLength, text.size()))),
        end(view.m_Text + view.m_Length) {
    std::copy(text.begin(), text.end(), chars.get());
  }
  const wchar_t* Begin() const { return chars.get(); }
  const wchar_t* End() const { return end; }  // where the view first ended

  std::unique_ptr<wchar_t[]> chars;
  CREFString view;
  const wchar_t* end;
};

std::wstring Str(const tagREFString& view) { return std::wstring(view.m_Text, view.m_Length); }
tagREFString Ref(const wchar_t* text) { return tagREFString{static_cast<uint32_t>(std::wcslen(text)), text}; }

// The view holds `expected` starting at `at`.
void ExpectView(const tagREFString& view, const wchar_t* at, const std::wstring& expected, const char* what) {
  EXPECT_EQ(view.m_Text, at) << what << " starts elsewhere";
  EXPECT_EQ(Str(view), expected) << what;
}
void ExpectUntouched(const tagREFString& out) {
  EXPECT_EQ(out.m_Text, kMarkerText);
  EXPECT_EQ(out.m_Length, kMarkerLength);
}
void ExpectLengthCleared(const tagREFString& out) {
  EXPECT_EQ(out.m_Text, kMarkerText) << "only the length is cleared";
  EXPECT_EQ(out.m_Length, 0u);
}
// The view lost characters at the front only: it still ends where the text ends.
void ExpectRest(const Text& text, const std::wstring& rest) {
  ExpectView(text.view, text.End() - rest.size(), rest, "rest of the view");
}

const wchar_t kHigh = static_cast<wchar_t>(0x80000000u);  // negative as a signed 32-bit value
const wchar_t kMinusOne = static_cast<wchar_t>(0xFFFFFFFFu);

// ---- GetLine ------------------------------------------------------------------------------------

struct LineCase {
  std::wstring text;
  bool consume;
  bool drop;
  std::wstring line;
  std::wstring rest;  // the view afterwards
  HRESULT result;
};

TEST(GetLine, CutsUpToAndIncludingTheFirstSeparator) {
  const LineCase cases[] = {
      {L"a;b", false, false, L"a;", L"a;b", PXM_S_OK},
      {L"a;b", false, true, L"a", L"a;b", PXM_S_OK},
      {L"a;b", true, false, L"a;", L"b", PXM_S_OK},
      {L"a;b;c", true, true, L"a", L"b;c", PXM_S_OK},
      {L"b", true, false, L"b", L"", PXM_S_FALSE},
      {L"b;", true, true, L"b", L"", PXM_S_FALSE},
      {L";b", true, true, L"", L"b", PXM_S_OK},
      {L";", true, false, L";", L"", PXM_S_FALSE},
      // Without consume, a line that reaches the end is still delivered but the call fails.
      {L"abc", false, false, L"abc", L"abc", PXM_E_FAIL},
      {L"abc;", false, false, L"abc;", L"abc;", PXM_E_FAIL},
      {L"abc;", false, true, L"abc", L"abc;", PXM_E_FAIL},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "text \"" << c.text << "\" consume " << c.consume << " drop " << c.drop);
    Text text(c.text);
    CREFString line = Marker();
    EXPECT_EQ(text.view.GetLine(&line, c.consume, L';', c.drop), c.result);
    ExpectView(line, text.Begin(), c.line, "line");
    ExpectRest(text, c.rest);
  }
}

TEST(GetLine, ConsumesLineByLineUntilNothingIsLeft) {
  Text text(L"a;b");
  CREFString line;
  EXPECT_EQ(text.view.GetLine(&line, true, L';', false), PXM_S_OK);
  EXPECT_EQ(Str(line), L"a;");
  EXPECT_EQ(text.view.GetLine(&line, true, L';', false), PXM_S_FALSE);
  EXPECT_EQ(Str(line), L"b");
  EXPECT_EQ(text.view.m_Length, 0u);
  EXPECT_EQ(text.view.m_Text, text.End());
  line = Marker();
  EXPECT_EQ(text.view.GetLine(&line, true, L';', false), PXM_E_FAIL);
  ExpectLengthCleared(line);
  EXPECT_EQ(text.view.m_Text, text.End());
}

TEST(GetLine, StopsAtTheViewsEnd) {
  Text text(L"ab;c", 2);  // the separator lies just past the view
  CREFString line;
  EXPECT_EQ(text.view.GetLine(&line, true, L';', true), PXM_S_FALSE);
  EXPECT_EQ(Str(line), L"ab");
}

// ---- GetLineCRLF ---------------------------------------------------------------------------------

TEST(GetLineCRLF, PairsUnlikeLineBreaksIntoOneTerminator) {
  const LineCase cases[] = {
      {L"x\r\ny", true, true, L"x", L"y", PXM_S_OK},
      {L"x\n\ry", true, true, L"x", L"y", PXM_S_OK},
      {L"x\n\ny", true, true, L"x", L"\ny", PXM_S_OK},
      {L"x\r\ry", true, true, L"x", L"\ry", PXM_S_OK},
      {L"x\r\ny", true, false, L"x\r\n", L"y", PXM_S_OK},
      {L"x\n\n", true, false, L"x\n", L"\n", PXM_S_OK},
      {L"\ny", true, true, L"", L"y", PXM_S_OK},
      {L"x\r", true, true, L"x", L"", PXM_S_FALSE},
      {L"x\r\n", true, false, L"x\r\n", L"", PXM_S_FALSE},
      {L"xy", true, true, L"xy", L"", PXM_S_FALSE},
      // Without consume the call succeeds even when the line reaches the end.
      {L"xy", false, false, L"xy", L"xy", PXM_S_OK},
      {L"x\n\ry", false, true, L"x", L"x\n\ry", PXM_S_OK},
      {L"x\r\n", false, false, L"x\r\n", L"x\r\n", PXM_S_OK},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case with line \"" << c.line << "\" consume " << c.consume);
    Text text(c.text);
    CREFString line = Marker();
    EXPECT_EQ(text.view.GetLineCRLF(&line, c.drop, c.consume), c.result);
    ExpectView(line, text.Begin(), c.line, "line");
    ExpectRest(text, c.rest);
  }
}

TEST(GetLineCRLF, TerminatorEndsWithTheView) {
  Text text(L"x\r\ny", 2);  // the '\n' that would pair with '\r' lies past the view
  CREFString line;
  EXPECT_EQ(text.view.GetLineCRLF(&line, false, true), PXM_S_FALSE);
  EXPECT_EQ(Str(line), L"x\r");
}

// ---- GetReverseLine -------------------------------------------------------------------------------

TEST(GetReverseLine, TakesEverythingBeforeTheLastSeparator) {
  const LineCase cases[] = {
      {L"a/b/c", true, true, L"a/b", L"c", PXM_S_OK},
      {L"a/b/c", true, false, L"a/b", L"/c", PXM_S_OK},
      {L"a/b/c", false, true, L"a/b", L"a/b/c", PXM_S_OK},
      {L"a/", true, true, L"a", L"", PXM_S_OK},  // nothing left, still 0
      {L"/c", true, true, L"", L"/c", PXM_E_FAIL},
      {L"abc", true, true, L"", L"abc", PXM_E_FAIL},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "text \"" << c.text << "\" consume " << c.consume << " drop " << c.drop);
    Text text(c.text);
    CREFString head = Marker();
    EXPECT_EQ(text.view.GetReverseLine(&head, L'/', c.consume, c.drop), c.result);
    ExpectView(head, text.Begin(), c.line, "head");
    ExpectRest(text, c.rest);
  }
}

// ---- GetLineRight and Crop ----------------------------------------------------------------------

struct RightCase {
  std::wstring text;
  bool cut;
  bool drop;
  std::wstring tail;
  std::wstring kept;  // the view afterwards, still starting where it started
};

TEST(GetLineRight, TakesEverythingFromTheLastSeparator) {
  const RightCase cases[] = {
      {L"a/b/c", false, false, L"/c", L"a/b/c"},
      {L"a/b/c", false, true, L"c", L"a/b/c"},
      {L"a/b/c", true, false, L"/c", L"a/b/"},
      {L"a/b/c", true, true, L"c", L"a/b"},
      {L"abc/", true, true, L"", L"abc"},
      {L"/abc", true, true, L"abc", L""},
      {L"/", true, false, L"/", L"/"},
  };
  for (const RightCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "text \"" << c.text << "\" cut " << c.cut << " drop " << c.drop);
    for (bool whole : {false, true}) {
      Text text(c.text);
      CREFString tail = Marker();
      EXPECT_EQ(text.view.GetLineRight(&tail, L'/', c.cut, c.drop, whole), PXM_S_OK);
      ExpectView(tail, text.End() - c.tail.size(), c.tail, "tail");
      ExpectView(text.view, text.Begin(), c.kept, "kept view");
    }
  }
}

TEST(GetLineRight, WithoutTheSeparatorTakesAllOrFails) {
  for (bool cut : {false, true}) {
    Text text(L"abc");
    CREFString tail = Marker();
    EXPECT_EQ(text.view.GetLineRight(&tail, L'/', cut, true, true), PXM_S_OK);
    ExpectView(tail, text.Begin(), L"abc", "tail");
    ExpectView(text.view, text.Begin(), cut ? L"" : L"abc", "view");

    Text absent(L"abc");
    tail = Marker();
    EXPECT_EQ(absent.view.GetLineRight(&tail, L'/', cut, true, false), PXM_E_FAIL);
    ExpectLengthCleared(tail);
    ExpectView(absent.view, absent.Begin(), L"abc", "view");
  }
}

TEST(Crop, IsGetLineRightWithoutWholeWhenAbsent) {
  Text text(L"a/b");
  CREFString tail = Marker();
  EXPECT_EQ(text.view.Crop(&tail, L'/', true, true), PXM_S_OK);
  ExpectView(tail, text.End() - 1, L"b", "tail");
  ExpectView(text.view, text.Begin(), L"a", "view");

  Text absent(L"abc");
  tail = Marker();
  EXPECT_EQ(absent.view.Crop(&tail, L'/', true, false), PXM_E_FAIL);
  ExpectLengthCleared(tail);
  ExpectView(absent.view, absent.Begin(), L"abc", "view");
}

TEST(GetLineRight, SeparatorBeforeTheViewIsNotSeen) {
  Text text(L"/abc");
  text.view = CREFString(text.Begin() + 1, 3);
  CREFString tail;
  EXPECT_EQ(text.view.GetLineRight(&tail, L'/', false, false, false), PXM_E_FAIL);
}

// ---- Split ----------------------------------------------------------------------------------------

struct SplitCase {
  std::wstring text;
  std::wstring separators;
  int stopAtControl;
  size_t at;  // npos: not found
};

TEST(Split, CutsAtTheFirstSeparatorOrControlCharacter) {
  const size_t none = std::wstring::npos;
  const SplitCase cases[] = {
      {L"key=value", L"=", 0, 3},
      {L"=value", L"=", 0, 0},
      {L"key=", L"=", 0, 3},
      {L"a b=c", L"=\x20", 0, 1},
      {L"key", L"=", 0, none},
      {L"key", L"", 1, none},
      {L"a\tb=", L"=", 0, 3},
      {L"a\tb=", L"=", 1, 1},
      {L"a\tb", L"", 1, none},  // control characters count only alongside a set
      {L"a\x1f", L"=", 1, 1},
      {L"a b", L"=", 1, none},  // 32 is not a control character
      {std::wstring{L'a', static_cast<wchar_t>(0x7FFFFFFF), L'b'}, L"=", 1, none},
      {std::wstring{L'a', kHigh, L'b'}, L"=", 1, 1},
      {std::wstring{L'a', kMinusOne, L'b'}, L"=", 1, 1},
      {std::wstring{L'a', kHigh, L'b'}, L"=", 0, none},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case with set \"" << c.separators << "\", expected at " << c.at);
    Text text(c.text);
    Text set(c.separators);
    CREFString head = Marker();
    CREFString tail = Marker();
    const HRESULT result = text.view.Split(&head, &tail, set.view, c.stopAtControl);
    if (c.at == none) {
      EXPECT_EQ(result, PXM_E_FAIL);
      ExpectView(head, text.Begin(), c.text, "head");
      ExpectLengthCleared(tail);
    } else {
      EXPECT_EQ(result, PXM_S_OK);
      ExpectView(head, text.Begin(), c.text.substr(0, c.at), "head");
      ExpectView(tail, text.Begin() + c.at, c.text.substr(c.at), "tail");
    }
    ExpectView(text.view, text.Begin(), c.text, "view");
  }
}

// ---- GetFirstWord ---------------------------------------------------------------------------------

struct WordCase {
  std::wstring text;
  std::wstring word;
  size_t at;     // where the word starts in the text
  size_t taken;  // characters a consuming call drops
};

TEST(GetFirstWord, TakesOneToken) {
  const WordCase cases[] = {
      // numbers
      {L"-12.5e+3x", L"-12.5e+3", 0, 8},
      {L"12.x", L"12", 0, 2},
      {L"12.", L"12", 0, 2},
      {L"1.2.3", L"1.2", 0, 3},
      {L"12.5e3", L"12.5", 0, 4},  // exponent without sign
      {L"1.5e12x", L"1.5", 0, 3},
      {L"12e+3", L"12", 0, 2},     // exponent only after a fraction
      {L"1.5e+", L"1.5", 0, 3},
      {L"1.5e-x", L"1.5", 0, 3},
      {L"1.5E-07z", L"1.5E-07", 0, 7},
      {L"-7", L"-7", 0, 2},
      {L"007 x", L"007", 0, 3},
      // quoted words
      {L"\"ab c\" d", L"ab c", 1, 6},
      {L"\"\"x", L"", 1, 2},
      {L"\"ab c", L"\"ab c", 0, 5},  // no closing quote: the whole view
      // punctuation
      {L",x", L",", 0, 1},
      {L"_name", L"_", 0, 1},
      {L".5", L".", 0, 1},
      // names
      {L"abc", L"abc", 0, 3},
      {L"a_b c", L"a_b", 0, 3},
      {L"abc,def", L"abc", 0, 3},
      {L"ab-1", L"ab", 0, 2},
      {L"x1.5", L"x1", 0, 2},
      {L"ab\"c\"", L"ab", 0, 2},
      {L"a\x4e00z b", L"a\x4e00z", 0, 3},
      {L"\x0131x", L"\x0131x", 0, 2},  // its low byte is '1', yet it is no digit
      // Wide characters whose low byte is a digit, space or punctuation stay in the token.
      {L"1\x0130", L"1", 0, 1},
      {L"a\x0120\x012c", L"a\x0120\x012c", 0, 3},
      {std::wstring{L'a', static_cast<wchar_t>(0xFFFFFF20u), L'b'},
       std::wstring{L'a', static_cast<wchar_t>(0xFFFFFF20u), L'b'}, 0, 3},
      {std::wstring{L'a', L'\0', L'b'}, std::wstring{L'a', L'\0', L'b'}, 0, 3},
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case with word \"" << c.word << "\" taken " << c.taken);
    for (bool consume : {false, true}) {
      Text text(c.text);
      CREFString word = Marker();
      EXPECT_EQ(text.view.GetFirstWord(&word, consume), PXM_S_OK);
      ExpectView(word, text.Begin() + c.at, c.word, "word");
      ExpectRest(text, consume ? c.text.substr(c.taken) : c.text);
    }
  }
}

TEST(GetFirstWord, AnEmptyNameFailsAndWritesNothing) {
  for (const wchar_t* chars : {L" a", L"\ta", L"-x", L"-", L"--1", L"- 1"}) {
    SCOPED_TRACE(testing::Message() << "text \"" << chars << "\"");
    Text text(chars);
    CREFString word = Marker();
    EXPECT_EQ(text.view.GetFirstWord(&word, true), PXM_E_FAIL);
    ExpectUntouched(word);
    ExpectView(text.view, text.Begin(), chars, "view");
  }
}

TEST(GetFirstWord, TokensEndWithTheView) {
  const struct {
    const wchar_t* chars;
    size_t viewLength;
    const wchar_t* word;  // null: the call fails
    uint32_t left;        // characters left in the view
  } cases[] = {
      {L"1.5e+3", 3, L"1.5", 0}, {L"1.5e+3", 5, L"1.5", 2}, {L"1.5", 2, L"1", 1},
      {L"-1", 1, nullptr, 1},    {L"\"ab\"", 3, L"\"ab", 0}, {L"abcd", 2, L"ab", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "text \"" << c.chars << "\" cut to " << c.viewLength);
    Text text(c.chars, c.viewLength);
    CREFString word;
    const HRESULT result = text.view.GetFirstWord(&word, true);
    EXPECT_EQ(text.view.m_Length, c.left);
    if (!c.word) {
      EXPECT_EQ(result, PXM_E_FAIL);
      continue;
    }
    EXPECT_EQ(result, PXM_S_OK) << "a token that takes the whole view still returns 0";
    EXPECT_EQ(Str(word), c.word);
  }
}

// ---- GetWord --------------------------------------------------------------------------------------

TEST(GetWord, ReturnsTheSeparatorsPositionPlusOne) {
  const struct {
    const wchar_t* chars;
    const wchar_t* separators;
    const wchar_t* word;
    HRESULT result;
  } cases[] = {
      {L"ab cd", L" ", L"ab", 3},   {L"abcd", L" ", L"abcd", 0}, {L" ab", L" ", L"", 1},
      {L"ab ", L" ", L"ab", 3},     {L"ab cd", L"", L"ab cd", 0}, {L"a,b;c", L";,", L"a", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "text \"" << c.chars << "\" set \"" << c.separators << "\"");
    for (bool consume : {false, true}) {
      Text text(c.chars);
      CREFString word = Marker();
      EXPECT_EQ(text.view.GetWord(&word, consume, Ref(c.separators)), c.result);
      ExpectView(word, text.Begin(), c.word, "word");
      const std::wstring chars = c.chars;
      ExpectRest(text, consume ? chars.substr(std::wcslen(c.word)) : chars);
    }
  }
}

// ---- Contains and ContainsChar --------------------------------------------------------------------

TEST(Contains, FindsTheFirstOccurrence) {
  const struct {
    const wchar_t* chars;
    const wchar_t* needle;
    HRESULT result;
  } cases[] = {
      {L"abcabc", L"cab", 2},
      {L"aab", L"ab", 1},  // starts inside a failed partial match
      {L"aaab", L"aab", 1},
      {L"abababc", L"ababc", 2},
      {L"abc", L"abc", 0},
      {L"abc", L"c", 2},
      {L"abc", L"abcd", PXM_E_FAIL},  // longer than the view
      {L"abc", L"bd", PXM_E_FAIL},
      {L"abc", L"", PXM_E_FAIL},
      {L"", L"a", PXM_E_FAIL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "text \"" << c.chars << "\" needle \"" << c.needle << "\"");
    Text text(c.chars);
    Text needle(c.needle);
    EXPECT_EQ(text.view.Contains(needle.view), c.result);
  }
  Text cut(L"abc", 2);
  EXPECT_EQ(cut.view.Contains(Ref(L"bc")), PXM_E_FAIL) << "an occurrence running past the view";
}

TEST(ContainsChar, FindsTheFirstCharacterOfTheSet) {
  const struct {
    const wchar_t* chars;
    const wchar_t* set;
    HRESULT result;
  } cases[] = {
      {L"abc", L"xc", 2},         {L"abc", L"cba", 0},        {L"abc", L"xyz", PXM_E_FAIL},
      {L"abc", L"", PXM_E_FAIL},  {L"", L"a", PXM_E_FAIL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "text \"" << c.chars << "\" set \"" << c.set << "\"");
    Text text(c.chars);
    Text set(c.set);
    EXPECT_EQ(text.view.ContainsChar(set.view), c.result);
  }
}

// ---- What every operation shares ------------------------------------------------------------------

// Every operation over the empty view, given both as a null text and as a pointer with length 0,
// and over a null text whatever length it claims: nothing is read and nothing is consumed.
TEST(REFString, EmptyViewsFail) {
  const wchar_t one[] = {L'x'};
  for (CREFString empty : {CREFString(), CREFString(one, 0), CREFString(nullptr, 5)}) {
    const CREFString before = empty;
    CREFString out = Marker();
    CREFString tail = Marker();
    EXPECT_EQ(empty.GetLine(&out, true, L';', true), PXM_E_FAIL);
    ExpectLengthCleared(out);
    out = Marker();
    EXPECT_EQ(empty.GetLineCRLF(&out, true, true), PXM_E_FAIL);
    ExpectLengthCleared(out);
    out = Marker();
    EXPECT_EQ(empty.GetReverseLine(&out, L'/', true, true), PXM_E_FAIL);
    EXPECT_EQ(out.m_Length, 0u);
    out = Marker();
    EXPECT_EQ(empty.GetLineRight(&out, L'/', true, true, true), PXM_E_FAIL);
    ExpectUntouched(out);
    EXPECT_EQ(empty.Crop(&out, L'/', true, true), PXM_E_FAIL);
    ExpectLengthCleared(out);
    out = Marker();
    EXPECT_EQ(empty.Split(&out, &tail, CREFString(L"=", 1), 1), PXM_E_FAIL);
    EXPECT_EQ(out.m_Length, 0u);
    ExpectLengthCleared(tail);
    out = Marker();
    EXPECT_EQ(empty.GetFirstWord(&out, true), PXM_E_FAIL);
    ExpectLengthCleared(out);
    out = Marker();
    EXPECT_EQ(empty.GetWord(&out, true, Ref(L" ")), PXM_E_FAIL);
    ExpectLengthCleared(out);
    EXPECT_EQ(empty.Contains(Ref(L"a")), PXM_E_FAIL);
    EXPECT_EQ(empty.ContainsChar(Ref(L"a")), PXM_E_FAIL);
    EXPECT_EQ(empty.m_Text, before.m_Text);
    EXPECT_EQ(empty.m_Length, before.m_Length);
  }
}

// Null out-views are skipped; the view and the result are as with out-views.
TEST(REFString, NullOutViewsAreNotWritten) {
  Text text(L"a;b/c d");
  CREFString& view = text.view;
  EXPECT_EQ(view.GetLine(nullptr, true, L';', false), PXM_S_OK);
  EXPECT_EQ(Str(view), L"b/c d");
  EXPECT_EQ(view.GetReverseLine(nullptr, L'/', false, false), PXM_S_OK);
  EXPECT_EQ(view.GetLineRight(nullptr, L'/', false, false, false), PXM_S_OK);
  EXPECT_EQ(view.Crop(nullptr, L'x', false, false), PXM_E_FAIL);
  EXPECT_EQ(view.Split(nullptr, nullptr, CREFString(L" ", 1), 0), PXM_S_OK);
  EXPECT_EQ(view.Split(nullptr, nullptr, CREFString(L"x", 1), 0), PXM_E_FAIL);
  EXPECT_EQ(view.GetFirstWord(nullptr, true), PXM_S_OK);
  EXPECT_EQ(Str(view), L"/c d");
  EXPECT_EQ(view.GetWord(nullptr, true, Ref(L" ")), 3);
  EXPECT_EQ(Str(view), L" d");
  EXPECT_EQ(view.GetLineCRLF(nullptr, true, true), PXM_S_FALSE);
  EXPECT_EQ(view.m_Length, 0u);
  EXPECT_EQ(view.GetLine(nullptr, true, L';', false), PXM_E_FAIL);
  EXPECT_EQ(view.GetFirstWord(nullptr, true), PXM_E_FAIL);
}

// An out-view that is the view itself receives the out value: the view is written first.
TEST(REFString, AnOutViewAliasingTheViewHoldsTheOutValue) {
  Text line(L"ab;cd");
  EXPECT_EQ(line.view.GetLine(&line.view, true, L';', true), PXM_S_OK);
  ExpectView(line.view, line.Begin(), L"ab", "line");

  Text crlf(L"ab\r\ncd");
  EXPECT_EQ(crlf.view.GetLineCRLF(&crlf.view, true, true), PXM_S_OK);
  ExpectView(crlf.view, crlf.Begin(), L"ab", "line");

  Text head(L"a/b/c");
  EXPECT_EQ(head.view.GetReverseLine(&head.view, L'/', true, true), PXM_S_OK);
  ExpectView(head.view, head.Begin(), L"a/b", "head");

  Text tail(L"a/b/c");
  EXPECT_EQ(tail.view.GetLineRight(&tail.view, L'/', true, true, false), PXM_S_OK);
  ExpectView(tail.view, tail.End() - 1, L"c", "tail");

  Text split(L"key=value");
  CREFString other;
  EXPECT_EQ(split.view.Split(&split.view, &other, CREFString(L"=", 1), 0), PXM_S_OK);
  ExpectView(split.view, split.Begin(), L"key", "head");
  ExpectView(other, split.Begin() + 3, L"=value", "tail");
  Text both(L"key=value");
  EXPECT_EQ(both.view.Split(&both.view, &both.view, CREFString(L"=", 1), 0), PXM_S_OK);
  ExpectView(both.view, both.Begin() + 3, L"=value", "one object for head and tail: the tail");

  Text word(L"\"ab\" c");
  EXPECT_EQ(word.view.GetFirstWord(&word.view, true), PXM_S_OK);
  ExpectView(word.view, word.Begin() + 1, L"ab", "word");

  Text field(L"ab cd");
  EXPECT_EQ(field.view.GetWord(&field.view, true, Ref(L" ")), 3);
  ExpectView(field.view, field.Begin(), L"ab", "word");
}

// Read faults on a huge-page reservation map the shared huge zero page, which makes an 8 GiB
// text of zero characters cheap to scan; with small pages it would take a minute.
bool HugeZeroPagesAvailable() {
  std::ifstream enabled("/sys/kernel/mm/transparent_hugepage/enabled");
  std::ifstream zeroPage("/sys/kernel/mm/transparent_hugepage/use_zero_page");
  std::string mode;
  int useZeroPage = 0;
  std::getline(enabled, mode);
  zeroPage >> useZeroPage;
  return useZeroPage == 1 && !mode.empty() && mode.find("[never]") == std::string::npos;
}

// A position from 2^31 - 1 on cannot come back in a result code: such a call fails and changes
// nothing.
TEST(REFString, PositionsBeyondTheResultRangeFail) {
  if (!HugeZeroPagesAvailable()) GTEST_SKIP() << "no huge zero page to back an 8 GiB text";
  constexpr size_t kLength = (size_t{1} << 31) + 1;
  const size_t bytes = kLength * sizeof(wchar_t);
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (block == MAP_FAILED) GTEST_SKIP() << "no room for an 8 GiB reservation";
  madvise(block, bytes, MADV_HUGEPAGE);
  wchar_t* chars = static_cast<wchar_t*>(block);
  chars[INT32_MAX] = L'x';
  chars[size_t{1} << 31] = L'y';
  CREFString view(chars, static_cast<uint32_t>(kLength));

  EXPECT_EQ(view.ContainsChar(Ref(L"x")), INT32_MAX) << "the last position that fits";
  EXPECT_EQ(view.Contains(Ref(L"xy")), INT32_MAX);
  EXPECT_EQ(view.ContainsChar(Ref(L"y")), PXM_E_FAIL);
  EXPECT_EQ(view.Contains(Ref(L"y")), PXM_E_FAIL);
  CREFString word = Marker();
  EXPECT_EQ(view.GetWord(&word, true, Ref(L"x")), PXM_E_FAIL) << "position + 1 does not fit";
  ExpectUntouched(word);
  EXPECT_EQ(view.m_Text, chars);
  EXPECT_EQ(view.m_Length, kLength);
  munmap(block, bytes);
}

}  // namespace
