// Memory for image pixels: blocks from 4 KiB on starting on a cache line (or shortly before one, for
// rows after a header to start on it), large ones laid out so that huge pages back all of them.
// Whoever owns a block gives it back with FreeImageBlock (a block a caller handed over with
// ownership, which came from malloc, too).
#pragma once
#include <cstddef>
#include <cstdint>

// A new block of the given size, or null; its content is undefined (it may hold an earlier image).
// A block of 4 KiB or more starts on a cache line, or, given where its rows start (rowsAt, after a
// DIB's header and palette), up to a line before one so that its rows start on it (ImageBlock.cpp).
// Only a block made with rowsAt 0 is one that malloc could have made, for realloc to take.
uint8_t* AllocateImageBlock(size_t size, uint64_t rowsAt = 0);
// Frees a block from AllocateImageBlock or malloc; null does nothing. The last large block given
// back is kept for the next request of about its size.
void FreeImageBlock(void* block);
