// Memory for image pixels: malloc-compatible blocks, from 4 KiB on starting on a cache line, large
// ones laid out so that huge pages back all of them. Whoever owns a block gives it back with
// FreeImageBlock (a block a caller handed over with ownership, which came from malloc, too).
#pragma once
#include <cstddef>
#include <cstdint>

// A new block of the given size, or null; its content is undefined (it may hold an earlier image).
uint8_t* AllocateImageBlock(size_t size);
// Frees a block from AllocateImageBlock or malloc; null does nothing. The last large block given
// back is kept for the next request of about its size.
void FreeImageBlock(void* block);
