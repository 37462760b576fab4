// The rows that write large destinations with streaming stores, byte for byte as their plain twins, on random rows of odd widths starting at
// every word of a 64-byte line (whole lines streamed, single pixels at the ends) between guards; a source row read past its page faults.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <vector>

#include "Composite.h"

using namespace cg;

TEST(StreamedRows, MatchTheirPlainTwinsAndReadOnlyTheirRow) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  auto* pages = static_cast<uint8_t*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_TRUE(pages != MAP_FAILED && mprotect(pages + page, page, PROT_NONE) == 0);
  std::mt19937 random(16);
  uint32_t palette[256];
  for (uint32_t& entry : palette) entry = random();
  constexpr size_t kGuard = 0xA5, kGuardBytes = 32;
  for (const PixelKind kind : {PixelKind::Rgb24, PixelKind::Word32, PixelKind::Grey8, PixelKind::Index8})
    for (const WordOrder order : {WordOrder::RGBA, WordOrder::ARGB, WordOrder::BGRA, WordOrder::ABGR}) {
      // A 32-bit source in the destination's order takes the same-order copy.
      const PixelFormat source{kind, AlphaKind::Opaque, order, kind == PixelKind::Rgb24 ? 3u : kind == PixelKind::Word32 ? 4u : 1u};
      const PixelFormat dest{PixelKind::Word32, AlphaKind::Opaque, order, 4};
      for (const size_t width : {1, 3, 4, 5, 8, 11, 15, 16, 17, 63, 64, 65, 257, 1001}) {
        uint8_t* row = pages + page - width * source.bytesPerPixel;
        for (size_t i = 0; i < width * source.bytesPerPixel; ++i) row[i] = uint8_t(random());
        for (size_t offset = 0; offset < 64; offset += 4) {
          RowParams plain, streamed;
          plain.palette = streamed.palette = palette; streamed.stream = true;
          const RowFunction plainRow = prepareRow(source, dest, Op::Copy, false, plain), streamedRow = prepareRow(source, dest, Op::Copy, false, streamed);
          ASSERT_TRUE(plainRow && streamedRow);
          std::vector<uint8_t> want(4 * width + 2 * kGuardBytes, kGuard), got(offset + want.size(), kGuard);
          plainRow(want.data() + kGuardBytes, row, nullptr, width, plain); streamedRow(got.data() + offset + kGuardBytes, row, nullptr, width, streamed);
          streamingDone();
          ASSERT_TRUE(std::equal(want.begin(), want.end(), got.begin() + offset)) << int(kind) << " into order " << int(order) << ", " << width << " wide at offset " << offset;
        }
      }
    }
  munmap(pages, 2 * page);
}
