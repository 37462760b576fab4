// Each per-row kernel of the DIB copy, plain and streaming, held byte for byte against a plain loop
// on random rows of odd widths: rows are sized exactly, so the sanitizer build sees any read past a
// source row, and guard bytes around each destination row catch a write outside it. Destinations
// start at every offset within a 64-byte line: the streaming kernels store whole lines in the
// middle of a row and plain bytes at its ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "PXMImage/RowKernel.h"
#include "PXMImageDIB/DibCopyKernels.h"
#include "PXMImageDIB/PXMImageDIB.h"
#include "TestImage.h"
#include "pxm/Types.h"

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

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 32;

class RowKernel : public testing::TestWithParam<Kernel> {};

TEST_P(RowKernel, MatchesThePlainLoop) {
  const Kernel& k = GetParam();
  std::mt19937 random(1234);
  for (const uint32_t width : {1u, 3u, 4u, 5u, 7u, 15u, 17u, 21u, 22u, 31u, 33u, 63u, 65u, 255u, 257u, 1001u, 4097u}) {
    std::vector<uint8_t> source(size_t{width} * k.sourceBytes);
    for (uint8_t& b : source) b = static_cast<uint8_t>(random());
    const size_t out = size_t{width} * k.destinationBytes;
    std::vector<uint8_t> want(out + 2 * kGuardBytes, kGuard);
    k.reference(want.data() + kGuardBytes, source.data(), width);
    for (size_t offset = 0; offset < 64; ++offset) {
      std::vector<uint8_t> got(offset + out + 2 * kGuardBytes, kGuard);
      k.kernel(got.data() + offset + kGuardBytes, source.data(), width);
      ASSERT_TRUE(std::equal(want.begin(), want.end(), got.begin() + offset))
          << "width " << width << ", offset " << offset;
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
      {"StreamPixels8", StreamPixels8, PlainCopy<1>, 1, 1},
      {"StreamPixels24", StreamPixels24, PlainCopy<3>, 3, 3},
      {"StreamPixels32", StreamPixels32, PlainCopy<4>, 4, 4},
      {"StreamSwapRedBlue24", StreamSwapRedBlue24, PlainSwap, 3, 3},
      {"StreamOpaque32", StreamOpaque32, PlainOpaque, 4, 4},
      {"StreamFirstByteOf32", StreamFirstByteOf32, PlainFirstByte, 4, 1},
  };
}

INSTANTIATE_TEST_SUITE_P(Kernels, RowKernel, testing::ValuesIn(Kernels()),
                         [](const testing::TestParamInfo<Kernel>& info) { return std::string(info.param.name); });

// Each row of the conversion table pairs a kernel with its own streaming twin.
TEST(DibCopyRule, StreamsWhatItsKernelWrites) {
  const struct {
    uint32_t bits, fourcc;
    int alphaOption;
  } rows[] = {{8, FOURCC_MONO, 0}, {24, FOURCC_RGB, 0},    {24, FOURCC_BGR, 0},
              {32, FOURCC_RGB, 0}, {32, FOURCC_ARGB, 255}, {32, FOURCC_MONO, 0}};
  std::mt19937 random(99);
  constexpr uint32_t kWidth = 333;
  std::vector<uint8_t> source(4 * kWidth);
  for (uint8_t& b : source) b = static_cast<uint8_t>(random());
  for (const auto& row : rows) {
    const DibCopyRule rule = ChooseDibCopyRule(row.bits, row.fourcc, row.alphaOption);
    ASSERT_TRUE(rule.kernel && rule.streamed) << row.bits << " bits";
    std::vector<uint8_t> plain(4 * kWidth + 16, kGuard), streamed(4 * kWidth + 16, kGuard);
    rule.kernel(plain.data() + 3, source.data(), kWidth);
    rule.streamed(streamed.data() + 3, source.data(), kWidth);
    EXPECT_EQ(plain, streamed) << row.bits << " bits, code " << row.fourcc;
  }
}

// A copy larger than the cache takes the streaming kernels through the whole row walk: held pixel
// by pixel against the plain rule, from sources of both row directions with padded rows, into the
// DIB's bottom-up rows (which do not start on a line).
TEST(DibCopyStreamed, LargeCopiesMatchPixelByPixel) {
  const struct {
    uint32_t bits, fourcc;
    int alphaOption;
  } rows[] = {{24, FOURCC_BGR, 0}, {32, FOURCC_ARGB, 255}, {32, FOURCC_MONO, 0}};
  constexpr uint32_t kWidth = 1601, kHeight = 1700;
  for (const auto& row : rows) {
    for (const bool bottomUp : {false, true}) {
      // Whole-pixel padding at 32 bits: grey sources are walked at their stride rounded to pixels.
      const uint32_t padding = row.bits == 32 ? 4 : 3;
      ComPtr<TestImage> source = TestImage::Make({kWidth, kHeight, row.bits, row.fourcc, 1, bottomUp, padding});
      source->FillPattern(row.bits + bottomUp);
      ComPtr<IPXMImageDIB> dib;
      ASSERT_EQ(CObject<CPXMImageDIB>::_CreateInstance(nullptr, &IID_IPXMImageDIB, dib.Out()), PXM_S_OK);
      ASSERT_EQ(dib->Copy(source.Get(), row.alphaOption), PXM_S_OK);
      uint32_t size = 0;
      uint8_t* data = nullptr;
      int32_t stride = 0;
      ASSERT_EQ(dib->GetImage(0, &size, &data, &stride), PXM_S_OK);
      const DibCopyRule rule = ChooseDibCopyRule(row.bits, row.fourcc, row.alphaOption);
      ASSERT_TRUE(WorthStreaming(uint64_t{kHeight} * (source->RowBytes() + kWidth * rule.destinationPixelBytes)));
      std::vector<uint8_t> want(size_t{kWidth} * rule.destinationPixelBytes);
      for (uint32_t y = 0; y < kHeight; ++y) {
        rule.kernel(want.data(), source->Row(0, y), kWidth);
        ASSERT_TRUE(std::equal(want.begin(), want.end(), data + int64_t{y} * stride))
            << row.bits << " bits, code " << row.fourcc << (bottomUp ? ", bottom-up" : ", top-down") << ", row " << y;
      }
      EXPECT_TRUE(source->PaddingIntact());
    }
  }
}

}  // namespace
