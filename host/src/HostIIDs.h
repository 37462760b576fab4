// Identifiers the host answers beyond those the module names.
#pragma once
#include "pxm/IID.h"

namespace host::iid {
inline constexpr IID IString = pxm::IIDFromName("IString");
inline constexpr IID IDataStream = pxm::IIDFromName("IDataStream");
// Private: answered only by this module's folder views, so that the stream API can reach
// their contents; no other component uses this name.
inline constexpr IID HostFolderView = pxm::IIDFromName("DuvirovurozAdFolderView");
}  // namespace host::iid
