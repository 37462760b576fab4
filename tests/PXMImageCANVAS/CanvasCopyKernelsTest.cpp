// Every row kernel of the canvas copy against a straightforward loop, on random rows of odd
// widths at every alignment, with guard words after the destination row.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "PXMImageCANVAS/CanvasCopyKernels.h"

namespace {

uint32_t Word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  return uint32_t{b0} | uint32_t{b1} << 8 | uint32_t{b2} << 16 | uint32_t{b3} << 24;
}

struct KernelCase {
  const char* name;
  CanvasSourcePixels pixels;
  uint32_t sourceBytes;
  uint32_t (*reference)(const uint8_t* s, const uint32_t* table);
};

void PrintTo(const KernelCase& c, std::ostream* os) { *os << c.name; }

const KernelCase kKernels[] = {
    {"Grey8", CanvasSourcePixels::Grey8, 1, [](const uint8_t* s, const uint32_t*) { return Word(s[0], s[0], s[0], s[0]); }},
    {"Indexed8", CanvasSourcePixels::Indexed8, 1, [](const uint8_t* s, const uint32_t* t) { return t[s[0]]; }},
    {"Rgb24", CanvasSourcePixels::Rgb24, 3, [](const uint8_t* s, const uint32_t*) { return Word(s[0], s[1], s[2], 0); }},
    {"Bgr24", CanvasSourcePixels::Bgr24, 3, [](const uint8_t* s, const uint32_t*) { return Word(s[2], s[1], s[0], 0); }},
    {"Mono32", CanvasSourcePixels::Mono32, 4, [](const uint8_t* s, const uint32_t*) { return Word(s[0], s[0], s[0], 0); }},
    {"Rgb32", CanvasSourcePixels::Rgb32, 4, [](const uint8_t* s, const uint32_t*) { return Word(s[0], s[1], s[2], s[3]); }},
    {"Bgr32", CanvasSourcePixels::Bgr32, 4, [](const uint8_t* s, const uint32_t*) { return Word(s[2], s[1], s[0], s[3]); }},
};

class CanvasCopyKernel : public testing::TestWithParam<KernelCase> {};

TEST_P(CanvasCopyKernel, MatchesAPlainLoop) {
  const KernelCase& k = GetParam();
  std::mt19937 random(1234);
  std::vector<uint32_t> table(256);
  for (uint32_t& entry : table) entry = random();
  constexpr uint32_t kGuard = 0xA5A5A5A5;
  for (bool streaming : {false, true}) {
    const CanvasRowKernel kernel = CanvasRowKernelFor(k.pixels, streaming);
    ASSERT_NE(kernel, nullptr);
    for (size_t count : {0, 1, 2, 3, 5, 7, 31, 33, 63, 65, 127, 255, 1001}) {
      // Source rows start at any byte, destination rows at any word of a 16-byte line: streaming
      // stores begin at the first aligned one.
      for (size_t offset = 0; offset < 4; ++offset) {
        SCOPED_TRACE(testing::Message() << count << " pixels, offsets " << offset << (streaming ? ", streaming" : ""));
        // The source row ends exactly at the end of its heap block, the destination row is
        // followed by guard words: under AddressSanitizer a read past the row is caught too.
        std::vector<uint8_t> block(offset + count * k.sourceBytes);
        for (uint8_t& byte : block) byte = static_cast<uint8_t>(random());
        const uint8_t* source = block.data() + offset;
        std::vector<uint32_t> out(offset + count + 4, kGuard);  // vector storage is 16-byte aligned
        uint32_t* row = out.data() + offset;
        kernel(source, row, count, table.data());
        for (size_t x = 0; x < count; ++x)
          ASSERT_EQ(row[x], k.reference(source + k.sourceBytes * x, table.data())) << x;
        for (size_t x = 0; x < out.size(); ++x) {
          if (x < offset || x >= offset + count) {
            ASSERT_EQ(out[x], kGuard) << "written outside the row at " << x;
          }
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, CanvasCopyKernel, testing::ValuesIn(kKernels),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
