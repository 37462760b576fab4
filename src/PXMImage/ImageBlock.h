// Memory for image pixels: malloc-compatible blocks (whoever owns one frees it with free), large
// ones laid out so that huge pages back all of them.
#pragma once
#include <cstddef>
#include <cstdint>

// A new block of the given size, or null; its content is undefined.
uint8_t* AllocateImageBlock(size_t size);
