#include "PXM/REFString.h"

// Placeholder until the text scanning operations are written.
HRESULT CREFString::GetLine(CREFString*, bool, wchar_t, bool) { return PXM_E_NOTIMPL; }
HRESULT CREFString::GetLineCRLF(CREFString*, bool, bool) { return PXM_E_NOTIMPL; }
HRESULT CREFString::GetReverseLine(CREFString*, wchar_t, bool, bool) { return PXM_E_NOTIMPL; }
HRESULT CREFString::GetLineRight(CREFString*, wchar_t, bool, bool, bool) { return PXM_E_NOTIMPL; }
HRESULT CREFString::Crop(CREFString*, wchar_t, bool, bool) { return PXM_E_NOTIMPL; }
HRESULT CREFString::Split(CREFString*, CREFString*, CREFString, int) { return PXM_E_NOTIMPL; }
HRESULT CREFString::GetFirstWord(CREFString*, bool) { return PXM_E_NOTIMPL; }
HRESULT CREFString::GetWord(CREFString*, bool, tagREFString) { return PXM_E_NOTIMPL; }
HRESULT CREFString::Contains(tagREFString) { return PXM_E_NOTIMPL; }
HRESULT CREFString::ContainsChar(tagREFString) { return PXM_E_NOTIMPL; }
