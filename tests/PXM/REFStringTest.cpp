// CREFString's scanning operations. Each text lives in a heap block of exactly its length, so a read past the view trips AddressSanitizer;
// where it matters, the view is a prefix of a longer text whose next character would change the answer if read.
#include <gtest/gtest.h>

#include <cctype>
#include <cwchar>
#include <memory>

#include "PXM/REFString.h"
#include "Text.h"

constexpr size_t kAll = std::wstring::npos;
constexpr int kCleared = -1, kUntouched = -2;  // an out-view's marker with its length cleared, or as it was
const wchar_t kMarker[99] = {};

// op: L GetLine ';', C GetLineCRLF, R GetReverseLine '/', T GetLineRight '/', W the same whole when absent, K Crop '/', F GetFirstWord, G
// GetWord " ,;", S Split "=" stopping at controls when b (E: with an empty set), N Contains and H ContainsChar of the out text; in lower
// case the out-view is the view itself. view: characters of the text in the view; a: consume (cut for T, W, K), b: drop the separator. The
// out-view starts at outAt in the text (or is the marker, cleared or untouched), the view afterwards at viewAt.
struct Case { char op; std::wstring text; size_t view; bool a, b; HRESULT result; int outAt; std::wstring out; int viewAt; std::wstring rest; };

void Check(const Case& c) {
  SCOPED_TRACE(testing::Message() << c.op << " \"" << c.text << "\" view " << c.view << " " << c.a << c.b);
  std::unique_ptr<wchar_t[]> chars(c.text.empty() ? nullptr : new wchar_t[c.text.size()]);
  std::copy(c.text.begin(), c.text.end(), chars.get());
  CREFString view(chars.get(), uint32_t(std::min(c.view, c.text.size()))), out(kMarker, 99), tail(kMarker, 99);
  const char op = char(std::toupper(c.op));
  CREFString& o = op == c.op ? out : view;  // a lower-case op: the out-view is the view itself
  const HRESULT hr = op == 'L' ? view.GetLine(&o, c.a, L';', c.b) : op == 'C' ? view.GetLineCRLF(&o, c.b, c.a) : op == 'R' ? view.GetReverseLine(&o, L'/', c.a, c.b)
                     : op == 'T' ? view.GetLineRight(&o, L'/', c.a, c.b, false) : op == 'W' ? view.GetLineRight(&o, L'/', c.a, c.b, true)
                     : op == 'K' ? view.Crop(&o, L'/', c.a, c.b) : op == 'F' ? view.GetFirstWord(&o, c.a) : op == 'G' ? view.GetWord(&o, c.a, Ref(L" ,;"))
                     : op == 'N' ? view.Contains(Ref(c.out.c_str())) : op == 'H' ? view.ContainsChar(Ref(c.out.c_str()))
                                 : view.Split(&o, &tail, CREFString(L"=", op == 'S'), c.b);
  EXPECT_EQ(hr, c.result);
  const bool marker = c.outAt < 0;  // the marker's characters are zeros
  EXPECT_TRUE(o.m_Text == (marker ? kMarker : chars.get() + c.outAt) && view.m_Text == chars.get() + c.viewAt) << "where the out-view and the view start";
  EXPECT_EQ(std::wstring(o.m_Text, o.m_Length), marker ? std::wstring(c.outAt == kCleared ? 0 : 99, 0) : c.out);
  EXPECT_EQ(std::wstring(view.m_Text, view.m_Length), c.rest);
  EXPECT_EQ(std::wstring(tail.m_Text, tail.m_Length), op != 'S' && op != 'E' ? std::wstring(99, 0) : hr == PXM_S_OK ? c.text.substr(c.out.size()) : L"");
}

TEST(REFString, LinesWordsFieldsOccurrencesAndEmptyViews) {
  const wchar_t high = wchar_t(0x80000000u), wide20 = wchar_t(0xFFFFFF20u);
  const Case cases[] = {
      // Without consume a line reaching the end is delivered but the call fails; a ';' past the view is not seen.
      {'L', L"a;b", kAll, false, false, 0, 0, L"a;", 0, L"a;b"}, {'L', L"a;b", kAll, true, true, 0, 0, L"a", 2, L"b"}, {'L', L"b;", kAll, true, true, 1, 0, L"b", 2, L""},
      {'L', L"ab;c", 2, true, true, 1, 0, L"ab", 2, L""}, {'L', L"abc;", kAll, false, true, PXM_E_FAIL, 0, L"abc", 0, L"abc;"},
      // "\n", "\r", "\r\n" and "\n\r" end a line, two alike are two lines; a '\n' past the view is not seen; without consume no terminator succeeds.
      {'C', L"x\r\ny", kAll, true, true, 0, 0, L"x", 3, L"y"}, {'C', L"x\n\ry", kAll, true, false, 0, 0, L"x\n\r", 3, L"y"},
      {'C', L"xy", kAll, true, true, 1, 0, L"xy", 2, L""}, {'C', L"x\n\ny", kAll, true, true, 0, 0, L"x", 2, L"\ny"},
      {'C', L"x\r\ny", 2, true, false, 1, 0, L"x\r", 2, L""}, {'C', L"xy", kAll, false, true, 0, 0, L"xy", 0, L"xy"},
      {'R', L"a/b/c", kAll, true, true, 0, 0, L"a/b", 4, L"c"}, {'R', L"a/b/c", kAll, true, false, 0, 0, L"a/b", 3, L"/c"},
      {'R', L"/c", kAll, true, true, PXM_E_FAIL, 0, L"", 0, L"/c"}, {'R', L"abc", kAll, true, true, PXM_E_FAIL, 0, L"", 0, L"abc"},
      // From the last separator on, the view keeping its start. Without one: the whole view (W), or failure with the length cleared; an empty
      // view: GetLineRight writes nothing.
      {'T', L"a/b/c", kAll, false, false, 0, 3, L"/c", 0, L"a/b/c"}, {'T', L"a/b/c", kAll, true, false, 0, 3, L"/c", 0, L"a/b/"},
      {'K', L"/abc", kAll, true, true, 0, 1, L"abc", 0, L""}, {'W', L"a/b/c", kAll, true, true, 0, 4, L"c", 0, L"a/b"},
      {'W', L"abc", kAll, true, true, 0, 0, L"abc", 0, L""}, {'K', L"", kAll, true, true, PXM_E_FAIL, kCleared, L"", 0, L""},
      {'T', L"abc", kAll, true, true, PXM_E_FAIL, kCleared, L"", 0, L"abc"}, {'K', L"abc", kAll, true, true, PXM_E_FAIL, kCleared, L"", 0, L"abc"},
      {'T', L"", kAll, true, true, PXM_E_FAIL, kUntouched, L"", 0, L""},
      // Numbers, quoted words, one punctuation character, names; every token ends with the view. An empty name fails and writes nothing.
      {'F', L"-12.5e+3x", kAll, true, 0, 0, 0, L"-12.5e+3", 8, L"x"}, {'F', L"1.2.3", kAll, true, 0, 0, 0, L"1.2", 3, L".3"},
      {'F', L"12e+3", kAll, true, 0, 0, 0, L"12", 2, L"e+3"}, {'F', L"1.5e-x", kAll, true, 0, 0, 0, L"1.5", 3, L"e-x"},
      {'F', L"1.5e-3;", kAll, true, 0, 0, 0, L"1.5e-3", 6, L";"}, {'F', L"12.x", kAll, true, 0, 0, 0, L"12", 2, L".x"},
      {'F', L"\"ab c\" d", kAll, true, 0, 0, 1, L"ab c", 6, L" d"}, {'F', L"\"ab c", kAll, true, 0, 0, 0, L"\"ab c", 5, L""},
      {'F', L"_name", kAll, true, 0, 0, 0, L"_", 1, L"name"}, {'F', L"a_b c", kAll, false, 0, 0, 0, L"a_b", 0, L"a_b c"},
      {'F', L"ab-1", kAll, true, 0, 0, 0, L"ab", 2, L"-1"}, {'F', L"1.5e+3", 5, true, 0, 0, 0, L"1.5", 3, L"e+"}, {'F', L"\"ab\"", 3, true, 0, 0, 0, L"\"ab", 3, L""},
      {'F', L"12.5", 3, true, 0, 0, 0, L"12", 2, L"."}, {'F', L" a", kAll, true, 0, PXM_E_FAIL, kUntouched, L"", 0, L" a"},
      {'F', L"-x", kAll, true, 0, PXM_E_FAIL, kUntouched, L"", 0, L"-x"}, {'F', L"-1", 1, true, 0, PXM_E_FAIL, kUntouched, L"", 0, L"-"},
      // Wide characters whose low byte is a digit, space or punctuation are no such thing.
      {'F', L"\x0131x", kAll, true, 0, 0, 0, L"\x0131x", 2, L""}, {'F', L"1\x0130", kAll, true, 0, 0, 0, L"1", 1, L"\x0130"},
      {'F', {L'a', wide20, L'b'}, kAll, true, 0, 0, 0, {L'a', wide20, L'b'}, 3, L""},
      // GetWord returns the separator's position + 1, or 0 when there is none.
      {'G', L"a;b,c", kAll, true, 0, 2, 0, L"a", 1, L";b,c"}, {'G', L"abcd", kAll, true, 0, 0, 0, L"abcd", 4, L""}, {'G', L";ab", kAll, true, 0, 1, 0, L"", 0, L";ab"},
      // Split at the first "=" or, asked to, control character (below 32, or negative as 32 bits).
      {'S', L"key=value", kAll, 0, 0, 0, 0, L"key", 0, L"key=value"}, {'S', L"key", kAll, 0, 1, PXM_E_FAIL, 0, L"key", 0, L"key"},
      {'S', L"a\tb=", kAll, 0, 1, 0, 0, L"a", 0, L"a\tb="}, {'S', {L'a', high, L'b'}, kAll, 0, 1, 0, 0, L"a", 0, {L'a', high, L'b'}},
      {'S', L"a=b", 1, 0, 0, PXM_E_FAIL, 0, L"a", 0, L"a"}, {'E', L"a\tb", kAll, 0, 1, PXM_E_FAIL, 0, L"a\tb", 0, L"a\tb"},
      // An out-view that is the view itself holds the out value.
      {'l', L"ab;cd", kAll, true, true, 0, 0, L"ab", 0, L"ab"}, {'w', L"ab;cd/e=f", kAll, true, true, 0, 6, L"e=f", 6, L"e=f"},
      {'g', L"ab;cd", kAll, true, 0, 3, 0, L"ab", 0, L"ab"}, {'s', L"key=v", kAll, 0, 0, 0, 0, L"key", 0, L"key"},
      // The first occurrence of the out text (N; the first here lies inside a failed partial match), or of one of its characters (H), in the view.
      {'N', L"aaab", kAll, 0, 0, 1, kUntouched, L"aab", 0, L"aaab"}, {'N', L"abababc", kAll, 0, 0, 2, kUntouched, L"ababc", 0, L"abababc"},
      {'N', L"abc", 2, 0, 0, PXM_E_FAIL, kUntouched, L"bc", 0, L"ab"}, {'N', L"abc", kAll, 0, 0, PXM_E_FAIL, kUntouched, L"", 0, L"abc"},
      {'H', L"abc", kAll, 0, 0, 2, kUntouched, L"xc", 0, L"abc"}, {'H', L"abc", 2, 0, 0, PXM_E_FAIL, kUntouched, L"c", 0, L"ab"},
  };
  for (const Case& c : cases) Check(c);
  // Over an empty view (a null text, a pointer with length 0, a null text of any length) every operation fails, consuming nothing; null
  // out-views are skipped.
  const wchar_t one[] = {L'x'}, text[] = L"a;b/c d";
  for (CREFString empty : {CREFString(), CREFString(one, 0), CREFString(nullptr, 5)}) {
    CREFString before = empty, out, tail;
    EXPECT_EQ(empty.GetLine(&out, true, L';', true) & empty.GetLineCRLF(&out, true, true) & empty.GetReverseLine(&out, L'/', true, true) &
                  empty.GetLineRight(&out, L'/', true, true, true) & empty.Crop(&out, L'/', true, true) & empty.Split(&out, &tail, CREFString(L"=", 1), 1) &
                  empty.GetFirstWord(&out, true) & empty.GetWord(&out, true, Ref(L" ")) & empty.Contains(Ref(L"a")) & empty.ContainsChar(Ref(L"a")),
              PXM_E_FAIL);
    EXPECT_TRUE(empty.m_Text == before.m_Text && empty.m_Length == before.m_Length);
  }
  CREFString view(text, 7);
  EXPECT_EQ(view.GetLine(nullptr, true, L';', false), PXM_S_OK);  // the consuming calls one at a time, in order
  EXPECT_EQ(view.GetReverseLine(nullptr, L'/', false, false) | view.GetLineRight(nullptr, L'/', false, false, false) | view.Split(nullptr, nullptr, CREFString(L" ", 1), 0),
            PXM_S_OK);
  EXPECT_TRUE(view.GetFirstWord(nullptr, true) == PXM_S_OK && view.GetWord(nullptr, true, Ref(L" ")) == 3) << "the word b, then up to the space";
  EXPECT_TRUE(view.GetLineCRLF(nullptr, true, true) == PXM_S_FALSE && view.m_Text == text + 7) << "the rest, which ends without a line break";
}

