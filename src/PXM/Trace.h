// The module's diagnostic hook: takes a wide printf-style format and its arguments, writes nothing.
#pragma once

inline void _TRACE_(const wchar_t* /*format*/, ...) {}
