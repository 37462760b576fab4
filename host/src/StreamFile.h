// Whole files in and out, for the stream API.
#pragma once
#include <cstddef>
#include <cstdint>

#include "pxm/Result.h"

namespace host {

// Writes the bytes to a temporary file beside path and renames it to path, so that path
// never holds a partly written file. 0x80004005 on any file error, leaving no temporary.
HRESULT WriteFileAtomically(const char* path, const uint8_t* bytes, size_t size);

// The whole file in a new malloc'ed block (free it with std::free).
HRESULT ReadWholeFile(const char* path, uint8_t** bytes, size_t* size);

}  // namespace host
