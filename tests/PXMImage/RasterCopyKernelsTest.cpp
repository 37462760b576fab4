// The raster colour copy's row kernels, plain and streaming, held byte for byte against a plain
// loop on random rows of odd widths. Sources are sized exactly, so the sanitizer build sees any
// read past a row; destinations start at every offset within a 64-byte line (the streaming kernels
// store whole lines in the middle, plain bytes at the ends) and are followed by guard bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "PXMImage/PXMImage.h"
#include "PXMImage/RasterCopyKernels.h"
#include "PXMImage/RowKernel.h"
#include "TestImage.h"

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 32;
const uint32_t kWidths[] = {1, 2, 15, 16, 17, 31, 63, 64, 65, 79, 127, 129, 1001, 4097};

std::vector<uint8_t> RandomRow(std::mt19937& random, size_t bytes) {
  std::vector<uint8_t> row(bytes);
  for (uint8_t& b : row) b = static_cast<uint8_t>(random());
  return row;
}

struct Case {
  uint32_t bytesPerPixel;
  bool stream;
};

class RasterKernels : public testing::TestWithParam<Case> {};

TEST_P(RasterKernels, SplitMatchesThePlainLoop) {
  const auto [n, stream] = GetParam();
  const SplitKernel split = ChooseRasterCopyKernels(n, stream).split;
  std::mt19937 random(7);
  for (const uint32_t width : kWidths) {
    const std::vector<uint8_t> source = RandomRow(random, size_t{n} * width);
    std::vector<uint8_t> want(3 * (width + kGuardBytes), kGuard);
    for (uint32_t x = 0; x < width; ++x)
      for (uint32_t p = 0; p < 3; ++p) want[p * (width + kGuardBytes) + x] = source[n * x + p];
    for (size_t offset = 0; offset < 64; ++offset) {
      // Three plane rows at the same place within a line, then at three different places.
      for (const size_t skew : {size_t{0}, size_t{5}}) {
        const size_t planeBytes = width + kGuardBytes;
        const size_t spacing = (planeBytes + 63) / 64 * 64 + skew;
        std::vector<uint8_t> planes(64 + offset + 3 * spacing, kGuard);
        uint8_t* const base = planes.data() + BytesToLineBoundary(planes.data()) + offset;
        uint8_t* rows[3];
        for (uint32_t p = 0; p < 3; ++p) rows[p] = base + p * spacing;
        split(source.data(), rows[0], rows[1], rows[2], width);
        for (uint32_t p = 0; p < 3; ++p)
          ASSERT_TRUE(std::equal(rows[p], rows[p] + planeBytes, want.begin() + p * planeBytes))
              << "plane " << p << ", width " << width << ", offset " << offset << ", skew " << skew;
      }
    }
  }
}

TEST_P(RasterKernels, MeanMatchesThePlainLoop) {
  const auto [n, stream] = GetParam();
  const MeanKernel mean = ChooseRasterCopyKernels(n, stream).mean;
  std::mt19937 random(11);
  for (const uint32_t width : kWidths) {
    std::vector<uint8_t> source = RandomRow(random, size_t{n} * width);
    if (width > 2) source[0] = source[1] = source[2] = 255;  // the largest sum, 765
    std::vector<uint8_t> want(width + kGuardBytes, kGuard);
    for (uint32_t x = 0; x < width; ++x)
      want[x] = static_cast<uint8_t>((source[n * x] + source[n * x + 1] + source[n * x + 2]) / 3);
    for (size_t offset = 0; offset < 64; ++offset) {
      std::vector<uint8_t> grey(offset + want.size(), kGuard);
      mean(source.data(), grey.data() + offset, width);
      ASSERT_TRUE(std::equal(want.begin(), want.end(), grey.begin() + offset))
          << "width " << width << ", offset " << offset;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, RasterKernels,
                         testing::Values(Case{3, false}, Case{3, true}, Case{4, false}, Case{4, true}),
                         [](const testing::TestParamInfo<Case>& info) {
                           return std::to_string(info.param.bytesPerPixel * 8) +
                                  (info.param.stream ? "Streamed" : "Plain");
                         });

// A copy larger than the cache takes the streaming kernels through the whole row walk: held row by
// row against the plain kernels, from sources of both row directions with padded rows.
TEST(RasterCopyStreamed, LargeCopiesMatchThePlainKernels) {
  constexpr uint32_t kWidth = 1601, kHeight = 2100;
  for (const uint32_t n : {3u, 4u}) {
    const RasterCopyKernels plain = ChooseRasterCopyKernels(n, false);
    for (const uint32_t planes : {3u, 1u}) {
      for (const bool bottomUp : {false, true}) {
        ComPtr<TestImage> source = TestImage::Make({kWidth, kHeight, 8 * n, FOURCC_RGB, 1, bottomUp, 3});
        source->FillPattern(planes + bottomUp);
        ComPtr<IPXMImage> raster;
        ASSERT_EQ(CObject<CPXMImage>::_CreateInstance(nullptr, &IID_IPXMImage, raster.Out()), PXM_S_OK);
        ASSERT_EQ(raster->Create(kWidth, kHeight, planes, 8, FOURCC_MONO), PXM_S_OK);
        ASSERT_EQ(raster->Copy(source.Get(), 0), PXM_S_OK);
        ASSERT_TRUE(WorthStreaming(uint64_t{kHeight} * (source->RowBytes() + planes * kWidth)));
        uint8_t* data[3] = {};
        int32_t stride[3] = {};
        for (uint32_t p = 0; p < planes; ++p) {
          uint32_t size = 0;
          ASSERT_EQ(raster->GetImage(p, &size, &data[p], &stride[p]), PXM_S_OK);
        }
        std::vector<uint8_t> want(3 * size_t{kWidth});
        for (uint32_t y = 0; y < kHeight; ++y) {
          if (planes == 3)
            plain.split(source->Row(0, y), want.data(), want.data() + kWidth, want.data() + 2 * kWidth, kWidth);
          else
            plain.mean(source->Row(0, y), want.data(), kWidth);
          for (uint32_t p = 0; p < planes; ++p)
            ASSERT_TRUE(std::equal(want.begin() + p * kWidth, want.begin() + (p + 1) * kWidth,
                                   data[p] + int64_t{y} * stride[p]))
                << n << " bytes a pixel, " << planes << " planes, " << (bottomUp ? "bottom-up" : "top-down")
                << ", plane " << p << ", row " << y;
        }
      }
    }
  }
}

}  // namespace
