// Image blocks: which are moved to start their rows on a cache line, and that every one is given back
// whole (the sanitizers watch the writes and the frees, the large block kept for the next request too).
#include <gtest/gtest.h>

#include <cstring>

#include "PXMImage/ImageBlock.h"

TEST(ImageBlock, MovedToStartRowsOnALineOnlyWhereItStaysAlignedForItsHeader) {
  constexpr uintptr_t kAsMallocGives = 99;  // below 4 KiB: malloc's block, on a multiple of 16
  struct Case { size_t size; uint64_t rowsAt; uintptr_t start; } const cases[] = {  // start: the block's place in its line
      {4096, 40, 24}, {4096, 1064, 24}, {4096, 52, 12}, {4096, 124, 4}, {size_t{8} << 20, 40, 24}, {size_t{8} << 20, 0, 0},
      {4096, 0, 0},   {4096, 64, 0},    {4096, 48, 0},  {4096, 29, 0},  {4095, 40, kAsMallocGives}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " bytes, rows at " << c.rowsAt);
    uint8_t* block = AllocateImageBlock(c.size, c.rowsAt);
    ASSERT_NE(block, nullptr);
    const uintptr_t at = reinterpret_cast<uintptr_t>(block);
    if (c.start == kAsMallocGives)
      EXPECT_EQ(at % 16, 0u);
    else
      EXPECT_EQ(at % 64, c.start);
    std::memset(block, 1, c.size);
    FreeImageBlock(block);
  }
  EXPECT_EQ(AllocateImageBlock(SIZE_MAX / 2 + 1, 40), nullptr);
}
