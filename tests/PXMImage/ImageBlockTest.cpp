// Image blocks: the block an image gives back may serve the next image, but only one it holds
// whole.
#include <gtest/gtest.h>

#include <malloc.h>

#include "PXMImage/ImageBlock.h"

TEST(ImageBlock, AGivenBackBlockServesOnlyARequestItHolds) {
  constexpr size_t MiB = size_t{1} << 20;
  const std::pair<size_t, size_t> cases[] = {{8 * MiB, 8 * MiB}, {8 * MiB, 5 * MiB}, {8 * MiB, 12 * MiB},
                                             {16 * MiB, 3 * MiB}, {3 * MiB, 3 * MiB}, {300 * MiB, 300 * MiB}};
  for (const auto& [given, asked] : cases) {
    FreeImageBlock(AllocateImageBlock(given));
    uint8_t* block = AllocateImageBlock(asked);
    ASSERT_NE(block, nullptr);
    EXPECT_GE(malloc_usable_size(block), asked) << given << " then " << asked;
    block[asked - 1] = 1;
    FreeImageBlock(block);
  }
  FreeImageBlock(nullptr);
}
