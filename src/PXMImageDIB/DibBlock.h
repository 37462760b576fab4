// DIB blocks: one allocation holds header, palette and rows (AllocateImageBlock), and whoever
// owns a block frees it with free.
#pragma once
#include <cstdint>

#include "PXMImage/ImageBlock.h"

// Bytes left after the rows of every block we allocate.
inline constexpr uint32_t kSpareBytes = 3;
