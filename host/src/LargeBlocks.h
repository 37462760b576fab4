// Large blocks for stream content: they start on a huge page and span whole ones, and the last one
// given back is kept for the next request of about its size. The first touch of fresh memory costs
// the kernel's zeroing of every page, about half a copy of the block; a host that saves one document
// after another into new streams then writes into pages that are already there.
#pragma once
#include <cstddef>

namespace host {

constexpr size_t kLargeBlockMin = size_t{4} << 20;  // smaller requests are plain malloc blocks

// A block of at least bytes (>= kLargeBlockMin), or null; *length receives its real length.
void* TakeLargeBlock(size_t bytes, size_t* length);
// Gives back a block from TakeLargeBlock with its length: kept for the next request, or freed.
void GiveLargeBlock(void* block, size_t length);

}  // namespace host
