// DIB blocks: one allocation holds header, palette and rows (AllocateImageBlock), and whoever
// owns a block gives it back with FreeImageBlock.
#pragma once
#include <cstdint>
#include <cstdlib>

#include "PXMImage/ImageBlock.h"

// Bytes left after the rows of every block we allocate.
inline constexpr uint32_t kSpareBytes = 3;

// Frees a block that never reached the image.
struct BlockHolder {
  uint8_t* block = nullptr;
  ~BlockHolder() { FreeImageBlock(block); }
  uint8_t* Release() {
    uint8_t* b = block;
    block = nullptr;
    return b;
  }
};
