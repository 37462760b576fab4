// Memory for DIB blocks: one malloc'd allocation holds header, palette and rows, and whoever
// owns a block frees it with free.
#pragma once
#include <cstddef>
#include <cstdint>

// Bytes left after the rows of every block we allocate.
inline constexpr uint32_t kSpareBytes = 3;

// A new block of the given size, or null. Large blocks are advised to use huge pages before
// anything touches them: the first touch of fresh memory is what a big image costs most.
uint8_t* AllocateDibBlock(size_t size);
