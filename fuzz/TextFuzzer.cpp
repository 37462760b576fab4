// Wide text through every CREFString operation. The first bytes choose the separator, the set
// and the flags; the rest is the text, two bytes to a character, in a block of exactly its size.
// Every view an operation hands back, and the view itself, must stay inside the text.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "PXM/REFString.h"

namespace {

const wchar_t* g_Begin;
const wchar_t* g_End;

void Inside(const tagREFString& view, const char* what) {
  if (view.m_Length == 0) return;
  if (view.m_Text < g_Begin || view.m_Text > g_End || view.m_Length > static_cast<size_t>(g_End - view.m_Text)) {
    std::fprintf(stderr, "%s left the text\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const wchar_t separator = static_cast<wchar_t>(data[0] < 0x80 ? data[0] : data[0] + 0x100);
  const uint8_t flags = data[1];
  const size_t setLength = data[2] % 4;
  data += 3;
  size -= 3;
  const size_t length = size / 2;
  std::unique_ptr<wchar_t[]> text(new wchar_t[length ? length : 1]);
  for (size_t i = 0; i < length; ++i) text[i] = static_cast<wchar_t>(data[2 * i] | data[2 * i + 1] << 8);
  g_Begin = text.get();
  g_End = text.get() + length;
  // The set and the searched text are the first characters of the text itself.
  const tagREFString set{static_cast<uint32_t>(setLength < length ? setLength : length), text.get()};
  const bool a = flags & 1, b = flags & 2, c = flags & 4;

  for (int op = 0; op < 10; ++op) {
    CREFString view(text.get(), static_cast<uint32_t>(length));
    CREFString out1, out2;
    switch (op) {
      case 0: view.GetLine(&out1, a, separator, b); break;
      case 1: view.GetLineCRLF(&out1, a, b); break;
      case 2: view.GetReverseLine(&out1, separator, a, b); break;
      case 3: view.GetLineRight(&out1, separator, a, b, c); break;
      case 4: view.Crop(&out1, separator, a, b); break;
      case 5: view.Split(&out1, &out2, CREFString(set), flags >> 3 & 1); break;
      case 6: view.GetFirstWord(&out1, a); break;
      case 7: view.GetWord(&out1, a, set); break;
      case 8: view.Contains(set); break;
      case 9: view.ContainsChar(set); break;
    }
    Inside(view, "the view");
    Inside(out1, "an out-view");
    Inside(out2, "the second out-view");
    // Consuming again from what is left, until nothing is: every step stays inside.
    for (int step = 0; step < 64 && view.m_Length; ++step) {
      const HRESULT hr = op % 2 ? view.GetFirstWord(&out1, true) : view.GetLine(&out1, true, separator, b);
      Inside(view, "the consumed view");
      Inside(out1, "a consumed out-view");
      if (PXM_FAILED(hr)) break;
    }
  }
  return 0;
}
