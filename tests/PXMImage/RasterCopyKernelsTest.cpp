// The raster colour copy's row kernels, plain and streaming, held byte for byte against plain
// loops on random rows of odd widths. Sources are sized exactly, so the sanitizer build sees any
// read past a row; destinations start at every offset within a 64-byte line (the streaming kernels
// store whole lines in the middle, plain bytes at the ends) and are followed by guard bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "PXMImage/PXMImage.h"
#include "PXMImage/RasterCopyKernels.h"
#include "PXMImage/RowKernel.h"
#include "TestImage.h"

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 32;

TEST(RasterKernels, SplitAndMeanMatchPlainLoops) {
  std::mt19937 random(7);
  for (const uint32_t n : {3u, 4u})
    for (const bool stream : {false, true})
      for (const uint32_t width : {1u, 2u, 15u, 16u, 17u, 31u, 63u, 64u, 65u, 79u, 127u, 129u, 1001u, 4097u}) {
        SCOPED_TRACE(testing::Message() << n << " bytes a pixel, " << (stream ? "streaming" : "plain") << ", width " << width);
        const RasterCopyKernels kernels = ChooseRasterCopyKernels(n, stream);
        std::vector<uint8_t> source(size_t{n} * width);
        for (uint8_t& b : source) b = static_cast<uint8_t>(random());
        if (width > 2) source[0] = source[1] = source[2] = 255;  // the largest sum, 765
        // Three plane rows, then the grey row, each followed by its guard bytes.
        const size_t rowBytes = width + kGuardBytes;
        std::vector<uint8_t> want(4 * rowBytes, kGuard);
        for (uint32_t x = 0; x < width; ++x) {
          for (uint32_t p = 0; p < 3; ++p) want[p * rowBytes + x] = source[n * x + p];
          want[3 * rowBytes + x] = static_cast<uint8_t>((source[n * x] + source[n * x + 1] + source[n * x + 2]) / 3);
        }
        for (size_t offset = 0; offset < 64; ++offset)
          for (const size_t skew : {size_t{0}, size_t{5}}) {  // rows at one place within their lines, or at several
            const size_t spacing = (rowBytes + 63) / 64 * 64 + skew;
            std::vector<uint8_t> buffer(64 + offset + 4 * spacing, kGuard);
            uint8_t* const base = buffer.data() + BytesToLineBoundary(buffer.data()) + offset;
            kernels.split(source.data(), base, base + spacing, base + 2 * spacing, width);
            kernels.mean(source.data(), base + 3 * spacing, width);
            for (uint32_t r = 0; r < 4; ++r)
              ASSERT_TRUE(std::equal(base + r * spacing, base + r * spacing + rowBytes, want.begin() + r * rowBytes))
                  << "row " << r << " (3: grey), offset " << offset << ", skew " << skew;
          }
      }
}

// The copy's row walk with the kernels it chooses, held row by row against the plain kernels: a
// small copy, and one larger than the cache that streams; from sources of every colour code, both
// row directions and padded rows, which keep their padding and are not held on to.
TEST(RasterKernels, CopiesWalkEveryRowWithTheChosenKernels) {
  const struct {
    uint32_t width, height;
  } sizes[] = {{33, 3}, {1601, 2100}};
  for (const auto [width, height] : sizes)
    for (const uint32_t n : {3u, 4u})
      for (const uint32_t planes : {3u, 1u})
        for (const bool bottomUp : {false, true}) {
          const uint32_t fourcc = (n == 3 ? (bottomUp ? FOURCC_RGB : FOURCC_BGR) : (bottomUp ? FOURCC_ARGB : FOURCC_ABGR));
          SCOPED_TRACE(testing::Message() << width << " wide, " << n << " bytes a pixel, " << planes << " planes, bottom-up " << bottomUp);
          ComPtr<TestImage> source = TestImage::Make({width, height, 8 * n, fourcc, 1, bottomUp, 3});
          source->FillPattern(planes + bottomUp);
          ComPtr<IPXMImage> raster;
          ASSERT_EQ(CObject<CPXMImage>::_CreateInstance(nullptr, &IID_IPXMImage, raster.Out()), PXM_S_OK);
          ASSERT_EQ(raster->Create(width, height, planes, 8, FOURCC_MONO) | raster->Copy(source.Get(), 0), PXM_S_OK);
          EXPECT_EQ(WorthStreaming(uint64_t{height} * (source->RowBytes() + planes * width)), height > 3);
          EXPECT_TRUE(source->PaddingIntact());
          EXPECT_EQ(RefCount(static_cast<IPXMImage*>(source.Get())), 1u);
          const RasterCopyKernels plain = ChooseRasterCopyKernels(n, false);
          std::vector<uint8_t> want(3 * size_t{width});
          for (uint32_t y = 0; y < height; ++y) {
            if (planes == 3)
              plain.split(source->Row(0, y), want.data(), want.data() + width, want.data() + 2 * width, width);
            else
              plain.mean(source->Row(0, y), want.data(), width);
            for (uint32_t p = 0; p < planes; ++p) {
              const view::Plane plane(raster.Get(), p);
              ASSERT_TRUE(std::equal(want.begin() + p * width, want.begin() + (p + 1) * width, plane.Row(y))) << "plane " << p << ", row " << y;
            }
          }
        }
}

}  // namespace
