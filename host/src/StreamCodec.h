// A folder tree to bytes and back; the byte format is described in STREAM_FORMAT.md.
#pragma once
#include <cstddef>
#include <cstdint>

#include "FolderNode.h"
#include "pxm/Result.h"

namespace host {

// The tree below root as a new malloc'ed block (free it with std::free).
HRESULT EncodeStream(const FolderNode& root, uint8_t** bytes, size_t* size);

// A new root (one reference) from untrusted bytes. Damaged, truncated or too deeply nested
// input gives 0x80070057; nothing is allocated beyond what the remaining input justifies.
HRESULT DecodeStream(const uint8_t* bytes, size_t size, FolderNode** root);

}  // namespace host
