// A top-down file's rows turned over where they were read: each pair of rows swapped through a
// small buffer, so the block is neither copied nor allocated again.
#include <cstring>

#include "PXMImageDIB/BitmapDecoders.h"

void ReverseRows(const DibRows& rows) {
  constexpr size_t kChunk = 4096;
  uint8_t buffer[kChunk];
  for (uint32_t y = 0; y < rows.height / 2; ++y) {
    uint8_t* low = rows.Row(y);
    uint8_t* high = rows.Row(rows.height - 1 - y);
    for (uint64_t x = 0; x < rows.rowLength; x += kChunk) {
      const size_t n = rows.rowLength - x < kChunk ? static_cast<size_t>(rows.rowLength - x) : kChunk;
      std::memcpy(buffer, low + x, n);
      std::memcpy(low + x, high + x, n);
      std::memcpy(high + x, buffer, n);
    }
  }
}
