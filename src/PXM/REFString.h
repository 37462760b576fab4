// A non-owning view of host wide text, with operations that cut lines, words and fields off
// the front or back of the view, and the factory of host string objects.
//
// Consuming operations advance the view: the text pointer moves forward by n characters and
// the length drops by n. Out-views are written only when not null. Results: 0 success,
// 1 success with nothing left, 0x80004005 failure (a failed operation leaves the view as it was
// unless stated otherwise).
#pragma once
#include "pxm/HostInterfaces.h"

class CREFString : public tagREFString {
 public:
  constexpr CREFString() : tagREFString{0, nullptr} {}
  constexpr CREFString(const wchar_t* text, uint32_t length) : tagREFString{length, text} {}
  constexpr explicit CREFString(const tagREFString& text) : tagREFString(text) {}

  // A new, empty host string holding one reference for the caller, or null when no string
  // component can be had (from the collection, else from the sibling module).
  static ICreatableString* CreateString();

  // The line up to and including the first separator.
  virtual HRESULT GetLine(CREFString* line, bool consume, wchar_t separator, bool dropSeparator);
  // The line up to the first "\n", "\r", "\r\n" or "\n\r".
  virtual HRESULT GetLineCRLF(CREFString* line, bool dropTerminator, bool consume);
  // Everything before the last separator.
  virtual HRESULT GetReverseLine(CREFString* head, wchar_t separator, bool consume, bool dropSeparator);
  // Everything from the last separator on.
  virtual HRESULT GetLineRight(CREFString* tail, wchar_t separator, bool cut, bool dropSeparator,
                               bool wholeWhenAbsent);
  virtual HRESULT Crop(CREFString* tail, wchar_t separator, bool cut, bool dropSeparator);
  // Head and tail around the first character of the set (or control character).
  virtual HRESULT Split(CREFString* head, CREFString* tail, CREFString separators, int stopAtControl);
  // One token from the front: a number, a quoted word, a punctuation character or a name.
  virtual HRESULT GetFirstWord(CREFString* word, bool consume);
  // The characters up to the first one of the set; returns its position + 1, or 0 when none.
  virtual HRESULT GetWord(CREFString* word, bool consume, tagREFString separators);
  // Position of the first occurrence of the text.
  virtual HRESULT Contains(tagREFString text);
  // Position of the first character that is in the set.
  virtual HRESULT ContainsChar(tagREFString set);

 protected:
  void Advance(uint32_t n) {
    m_Text += n;
    m_Length -= n;
  }
};
