// Image blocks: which are moved to start their rows on a cache line (0-63: the block's place in its line,
// 99: malloc's block, below 4 KiB), and that each is written whole and given back (the sanitizers watch;
// the 8 MiB block moved is kept and taken again unmoved).
#include <gtest/gtest.h>

#include <cstring>

#include "PXMImage/ImageBlock.h"

TEST(ImageBlock, MovedToStartRowsOnALineOnlyWhereItStaysAlignedForItsHeader) {
  struct Case { size_t size; uint64_t rowsAt; uintptr_t start; } const cases[] = {
      {4096, 40, 24}, {4096, 1064, 24}, {4096, 52, 12}, {4096, 124, 4}, {size_t{8} << 20, 40, 24}, {size_t{8} << 20, 0, 0},
      {4096, 0, 0},   {4096, 64, 0},    {4096, 48, 0},  {4096, 29, 0},  {4095, 40, 99}};
  for (const Case& c : cases) {
    uint8_t* block = AllocateImageBlock(c.size, c.rowsAt);
    ASSERT_NE(block, nullptr);
    const uintptr_t at = reinterpret_cast<uintptr_t>(block);
    EXPECT_EQ(c.start == 99 ? at % 16 : at % 64, c.start == 99 ? 0 : c.start) << c.size << " bytes, rows at " << c.rowsAt;
    FreeImageBlock(std::memset(block, 1, c.size));
  }
  EXPECT_EQ(AllocateImageBlock(SIZE_MAX / 2 + 1, 40), nullptr);
}
