// The copies' row kernels, plain, streaming and widest, held byte for byte to plain loops on rows of
// odd widths that end where their heap block ends, with guard bytes around destinations starting at
// every offset within a 64-byte line (where streaming stores begin).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "PXMImage/RasterCopyKernels.h"
#include "PXMImageCANVAS/CanvasCopyKernels.h"
#include "PXMImageDIB/DibCopyKernels.h"
#include "pxm/Types.h"

namespace {

using Row = std::function<void(uint8_t* destination, const uint8_t* source, uint32_t width)>;
// Several planes: destination rows of one byte a pixel, PlaneSpacing apart.
struct Kernel { std::string name; Row kernel, plain; uint32_t sourceBytes, destinationBytes, destinationAlign, planes = 1; };
void PrintTo(const Kernel& k, std::ostream* os) { *os << k.name; }

Row Plain(const char* order, uint32_t sourceBytes) {  // destination byte k of a pixel takes source byte order[k]; '-' is 0, '+' 255
  const uint32_t out = uint32_t(std::strlen(order));
  return [=](uint8_t* d, const uint8_t* s, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x)
      for (uint32_t k = 0; k < out; ++k) d[out * x + k] = order[k] == '-' ? 0 : order[k] == '+' ? 255 : s[sourceBytes * x + order[k] - '0'];
  };
}
size_t PlaneSpacing(uint32_t width) { return (width + 63) / 64 * 64 + (width % 3 ? 0 : 5); }
const uint32_t* Table() {
  static const std::vector<uint32_t> table = [t = std::vector<uint32_t>(256)]() mutable { return std::generate(t.begin(), t.end(), std::mt19937(7)), t; }();
  return table.data();
}
uint8_t Widen(uint32_t v, uint32_t bits) { return uint8_t(v << (8 - bits) | v >> (2 * bits - 8)); }

std::vector<Kernel> Kernels() {
  std::vector<Kernel> k;
  const struct { const char* name; DibRowKernel plain, streaming; const char* order; uint32_t sourceBytes; } dib[] = {
      {"CopyPixels8", CopyPixels8, StreamPixels8, "0", 1},         {"CopyPixels24", CopyPixels24, StreamPixels24, "012", 3},
      {"CopyPixels32", CopyPixels32, StreamPixels32, "0123", 4},   {"SwapRedBlue24", SwapRedBlue24, StreamSwapRedBlue24, "210", 3},
      {"CopyOpaque32", CopyOpaque32, StreamOpaque32, "012+", 4},   {"FirstByteOf32", FirstByteOf32, StreamFirstByteOf32, "0", 4}};
  for (const auto& d : dib)
    for (const bool streaming : {false, true})
      k.push_back({std::string("Dib") + (streaming ? "Stream" : "") + d.name, streaming ? d.streaming : d.plain, Plain(d.order, d.sourceBytes),
                   d.sourceBytes, uint32_t(std::strlen(d.order)), 1});
  // 16-bit pixels, blue in the low bits, each channel widened by repeating its top bits.
  for (const uint32_t green : {5u, 6u})
    k.push_back({green == 5 ? "DibWiden555To24" : "DibWiden565To24", green == 5 ? Widen555To24 : Widen565To24,
                 [green](uint8_t* d, const uint8_t* s, uint32_t w) {
                   for (uint32_t x = 0; x < w; ++x) {
                     const uint32_t p = s[2 * x] | s[2 * x + 1] << 8;
                     d[3 * x] = Widen(p & 31, 5);
                     d[3 * x + 1] = Widen(p >> 5 & ((1u << green) - 1), green);
                     d[3 * x + 2] = Widen(p >> (5 + green) & 31, 5);
                   }
                 }, 2, 3, 1});
  const struct { const char* name; CanvasSourcePixels pixels; uint32_t sourceBytes; Row plain; } canvas[] = {
      {"Grey8", CanvasSourcePixels::Grey8, 1, Plain("0000", 1)},
      {"Indexed8", CanvasSourcePixels::Indexed8, 1, [](uint8_t* d, const uint8_t* s, uint32_t w) { for (uint32_t x = 0; x < w; ++x) std::memcpy(d + 4 * x, &Table()[s[x]], 4); }},
      {"Rgb24", CanvasSourcePixels::Rgb24, 3, Plain("012-", 3)},  {"Bgr24", CanvasSourcePixels::Bgr24, 3, Plain("210-", 3)},
      {"Mono32", CanvasSourcePixels::Mono32, 4, Plain("000-", 4)}, {"Rgb32", CanvasSourcePixels::Rgb32, 4, Plain("0123", 4)},
      {"Bgr32", CanvasSourcePixels::Bgr32, 4, Plain("2103", 4)}};
  const char* kinds[] = {"", "Stream", "Widest"};  // plain, streaming, widest this processor has where that differs
  for (const auto& c : canvas)
    for (const int kind : {0, 1, 2}) {
      const CanvasRowKernel kernel = CanvasRowKernelFor(c.pixels, kind == 1, kind == 2);
      if (kind == 2 && kernel == CanvasRowKernelFor(c.pixels, false, false)) continue;
      k.push_back({std::string("Canvas") + kinds[kind] + c.name,
                   [kernel](uint8_t* d, const uint8_t* s, uint32_t w) { kernel(s, reinterpret_cast<uint32_t*>(d), w, Table()); }, c.plain,
                   c.sourceBytes, 4, 4});
    }
  // The raster colour copy: three planes of one byte each, or their mean. The streaming split
  // streams only planes that share their place within 16 bytes: PlaneSpacing makes some that do not.
  for (const uint32_t n : {3u, 4u})
    for (const int kind : {0, 1, 2}) {
      const RasterCopyKernels r = ChooseRasterCopyKernels(n, kind == 1, kind == 2);
      const std::string name = std::string("Raster") + kinds[kind] + std::to_string(n);
      k.push_back({name + "Split", [r](uint8_t* d, const uint8_t* s, uint32_t w) { r.split(s, d, d + PlaneSpacing(w), d + 2 * PlaneSpacing(w), w); },
                   [n](uint8_t* d, const uint8_t* s, uint32_t w) { for (uint32_t i = 0; i < 3 * w; ++i) d[i % 3 * PlaneSpacing(w) + i / 3] = s[n * (i / 3) + i % 3]; },
                   n, 1, 1, 3});
      k.push_back({name + "Mean", [r](uint8_t* d, const uint8_t* s, uint32_t w) { r.mean(s, d, w); },
                   [n](uint8_t* d, const uint8_t* s, uint32_t w) { for (uint32_t x = 0; x < w; ++x) d[x] = uint8_t((s[n * x] + s[n * x + 1] + s[n * x + 2]) / 3); },
                   n, 1, 1});
    }
  return k;
}

class CopyKernel : public testing::TestWithParam<Kernel> {};

TEST_P(CopyKernel, MatchesThePlainLoop) {
#ifdef PXM_KERNEL_CPU_FEATURE
  if (!__builtin_cpu_supports(PXM_KERNEL_CPU_FEATURE)) GTEST_SKIP() << "no " PXM_KERNEL_CPU_FEATURE;
#endif
  constexpr size_t kGuardBytes = 32, kGuard = 0xA5;
  const Kernel& k = GetParam();
  std::mt19937 random(1234);
  for (const uint32_t width : {1u, 3u, 4u, 5u, 7u, 15u, 17u, 21u, 22u, 31u, 33u, 63u, 65u, 255u, 257u, 1001u, 4097u}) {
    const size_t out = k.planes > 1 ? k.planes * PlaneSpacing(width) : size_t{width} * k.destinationBytes;
    for (size_t offset = 0; offset < 64; offset += k.destinationAlign) {
      std::vector<uint8_t> source(offset % 4 + size_t{width} * k.sourceBytes);  // starting at any byte
      for (uint8_t& b : source) b = uint8_t(random());
      std::fill_n(source.begin() + offset % 4, std::min<size_t>(3, source.size() - offset % 4), 255);  // the largest sum
      const uint8_t* row = source.data() + offset % 4;
      std::vector<uint8_t> want(out + 2 * kGuardBytes, kGuard), got(offset + out + 2 * kGuardBytes, kGuard);  // 16-byte aligned
      k.plain(want.data() + kGuardBytes, row, width);
      k.kernel(got.data() + offset + kGuardBytes, row, width);
      ASSERT_TRUE(std::equal(want.begin(), want.end(), got.begin() + offset)) << "width " << width << ", offset " << offset;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, CopyKernel, testing::ValuesIn(Kernels()),
                         [](const testing::TestParamInfo<Kernel>& info) { return info.param.name; });

}  // namespace
