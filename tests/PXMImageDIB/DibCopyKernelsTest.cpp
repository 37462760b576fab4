// Each per-row kernel of the DIB copy held byte for byte against a plain loop, on random rows of
// odd widths: rows are sized exactly, so the sanitizer build sees any read past a source row, and
// guard bytes after each destination row catch a write past it.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "PXMImageDIB/DibCopyKernels.h"

namespace {

using Reference = void (*)(uint8_t*, const uint8_t*, uint32_t);

template <uint32_t N>
void PlainCopy(uint8_t* d, const uint8_t* s, uint32_t width) {
  for (uint32_t i = 0; i < N * width; ++i) d[i] = s[i];
}
void PlainSwap(uint8_t* d, const uint8_t* s, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x)
    for (uint32_t k = 0; k < 3; ++k) d[3 * x + k] = s[3 * x + 2 - k];
}
void PlainOpaque(uint8_t* d, const uint8_t* s, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x)
    for (uint32_t k = 0; k < 4; ++k) d[4 * x + k] = k == 3 ? 255 : s[4 * x + k];
}
void PlainFirstByte(uint8_t* d, const uint8_t* s, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x) d[x] = s[4 * x];
}

struct Kernel {
  const char* name;
  DibRowKernel kernel;
  Reference reference;
  uint32_t sourceBytes, destinationBytes;
};

class RowKernel : public testing::TestWithParam<Kernel> {};

TEST_P(RowKernel, MatchesThePlainLoop) {
  const Kernel& k = GetParam();
  std::mt19937 random(1234);
  constexpr uint8_t kGuard = 0xA5;
  constexpr size_t kGuardBytes = 32;
  for (const uint32_t width : {1u, 3u, 4u, 5u, 7u, 15u, 17u, 21u, 31u, 33u, 63u, 65u, 255u, 257u, 1001u, 4097u}) {
    for (int trial = 0; trial < 3; ++trial) {
      std::vector<uint8_t> source(size_t{width} * k.sourceBytes);
      for (uint8_t& b : source) b = static_cast<uint8_t>(random());
      const size_t out = size_t{width} * k.destinationBytes;
      std::vector<uint8_t> got(out + kGuardBytes, kGuard);
      std::vector<uint8_t> want(out + kGuardBytes, kGuard);
      k.kernel(got.data(), source.data(), width);
      k.reference(want.data(), source.data(), width);
      ASSERT_EQ(got, want) << "width " << width;
    }
  }
}

void PrintTo(const Kernel& k, std::ostream* os) { *os << k.name; }

std::vector<Kernel> Kernels() {
  return {
      {"CopyPixels8", CopyPixels8, PlainCopy<1>, 1, 1},
      {"CopyPixels24", CopyPixels24, PlainCopy<3>, 3, 3},
      {"CopyPixels32", CopyPixels32, PlainCopy<4>, 4, 4},
      {"SwapRedBlue24", SwapRedBlue24, PlainSwap, 3, 3},
      {"CopyOpaque32", CopyOpaque32, PlainOpaque, 4, 4},
      {"FirstByteOf32", FirstByteOf32, PlainFirstByte, 4, 1},
  };
}

INSTANTIATE_TEST_SUITE_P(Kernels, RowKernel, testing::ValuesIn(Kernels()),
                         [](const testing::TestParamInfo<Kernel>& info) { return std::string(info.param.name); });

}  // namespace
