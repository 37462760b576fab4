// The row loops against a straightforward loop, byte for byte, on random rows.
#include "ChannelSwap.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace {

void Straightforward(uint8_t* row, uint32_t width, uint32_t bytesPerPixel) {
  for (uint32_t x = 0; x < width; ++x) std::swap(row[x * bytesPerPixel], row[x * bytesPerPixel + 2]);
}

TEST(ChannelSwapTest, MatchesAStraightforwardLoop) {
  const struct {
    uint32_t bytesPerPixel;
    void (*swap)(uint8_t*, uint32_t);
  } loops[] = {{3, host::SwapRedBlue24}, {4, host::SwapRedBlue32}};
  constexpr size_t kGuard = 16;  // bytes on each side that must stay as they are
  std::mt19937 random(20240611);
  for (const auto& loop : loops) {
    std::vector<uint32_t> widths;
    for (uint32_t w = 0; w <= 70; ++w) widths.push_back(w);  // every tail after 0 to 4 blocks
    widths.insert(widths.end(), {255, 256, 257, 1001, 4097});
    for (uint32_t width : widths) {
      for (size_t misalign = 0; misalign < 8; misalign += 3) {  // rows need not be aligned
        std::vector<uint8_t> row(2 * kGuard + misalign + size_t{width} * loop.bytesPerPixel);
        for (uint8_t& b : row) b = static_cast<uint8_t>(random());
        std::vector<uint8_t> expected = row;
        loop.swap(row.data() + kGuard + misalign, width);
        Straightforward(expected.data() + kGuard + misalign, width, loop.bytesPerPixel);
        ASSERT_EQ(row, expected) << "width " << width << " at " << loop.bytesPerPixel * 8 << " bits, offset "
                                 << misalign;
      }
    }
  }
}

}  // namespace
