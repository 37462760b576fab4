// Peers doing the same work as the module's paths, measured in the same run with the same
// traffic reference: fread of the bitmap file, stb_image decoding it, libyuv's row converters and
// nearest scaling, pixman's composites and fill.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "BenchSupport.h"

#ifdef PXM_BENCH_LIBYUV
#include <libyuv.h>
#endif
#ifdef PXM_BENCH_PIXMAN
#include <pixman.h>
#endif
#ifdef PXM_BENCH_STB
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb/stb_image.h>
#endif

namespace {

// The whole file read into a freshly malloc'd buffer (freed outside the span).
void BM_FreadFresh(benchmark::State& state) {
  const BitmapFileInCache file = BitmapFile(state);
  const std::string& path = file.path;
  const size_t size = file.bytes;
  Measure(state, Traffic(2 * size), [&](Span& span) {
    span.Start();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    void* buffer = std::malloc(size);
    const bool ok = f && buffer && std::fread(buffer, 1, size, f) == size;
    if (f) std::fclose(f);
    span.Stop();
    std::free(buffer);
    return ok;
  });
}
BENCHMARK(BM_FreadFresh)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->ArgNames({"w", "h", "bits"})
    ->ArgsProduct({{1024}, {1024}, {8, 24, 32}})
    ->ArgsProduct({{4096}, {4096}, {8, 24, 32}})
    ->ArgsProduct({{4096}, {3072}, {8, 24, 32}});

#ifdef PXM_BENCH_STB
void BM_StbLoad(benchmark::State& state) {
  const BitmapFileInCache file = BitmapFile(state);
  const std::string& path = file.path;
  Measure(state, Traffic(2 * file.bytes), [&](Span& span) {
    int w = 0, h = 0, channels = 0;
    span.Start();
    stbi_uc* pixels = stbi_load(path.c_str(), &w, &h, &channels, 0);
    span.Stop();
    stbi_image_free(pixels);
    return pixels != nullptr;
  });
}
BENCHMARK(BM_StbLoad)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->ArgNames({"w", "h", "bits"})
    ->ArgsProduct({{1024}, {1024}, {8, 24, 32}})
    ->ArgsProduct({{4096}, {3072}, {24}});
#endif

#ifdef PXM_BENCH_LIBYUV
// A libyuv row converter over an n x n image: source and destination bytes per pixel.
template <class Convert>
void Yuv(benchmark::State& state, int sourceBytes, int destinationBytes, Convert convert) {
  const int n = static_cast<int>(state.range(0));
  Buffer from(size_t(n) * n * sourceBytes), to(size_t(n) * n * destinationBytes);
  FillRandom(from.data, from.size, 3);
  Measure(state, Traffic(from.size + to.size), [&](Span&) {
    convert(from.data, n * sourceBytes, to.data, n * destinationBytes, n);
    return true;
  });
}
void BM_YuvRAWToRGB24(benchmark::State& state) {
  Yuv(state, 3, 3, [](const uint8_t* s, int ss, uint8_t* d, int ds, int n) { libyuv::RAWToRGB24(s, ss, d, ds, n, n); });
}
void BM_YuvRAWToARGB(benchmark::State& state) {
  Yuv(state, 3, 4, [](const uint8_t* s, int ss, uint8_t* d, int ds, int n) { libyuv::RAWToARGB(s, ss, d, ds, n, n); });
}
void BM_YuvRGB24ToJ400(benchmark::State& state) {
  Yuv(state, 3, 1, [](const uint8_t* s, int ss, uint8_t* d, int ds, int n) { libyuv::RGB24ToJ400(s, ss, d, ds, n, n); });
}
void BM_YuvI400ToARGB(benchmark::State& state) {
  Yuv(state, 1, 4, [](const uint8_t* s, int ss, uint8_t* d, int ds, int n) { libyuv::I400ToARGB(s, ss, d, ds, n, n); });
}
void BM_YuvARGBCopy(benchmark::State& state) {
  Yuv(state, 4, 4, [](const uint8_t* s, int ss, uint8_t* d, int ds, int n) { libyuv::ARGBCopy(s, ss, d, ds, n, n); });
}
void BM_YuvSplitRGBPlane(benchmark::State& state) {
  Yuv(state, 3, 3, [](const uint8_t* s, int ss, uint8_t* d, int, int n) {
    const size_t plane = size_t(n) * n;
    libyuv::SplitRGBPlane(s, ss, d, n, d + plane, n, d + 2 * plane, n, n, n);
  });
}
// Nearest scaling of 4-byte pixels: n x n into n/2 x n/2, and n/4 x n/4 into n x n.
void YuvScale(benchmark::State& state, bool down) {
  const int n = static_cast<int>(state.range(0));
  const int from = down ? n : n / 4, to = down ? n / 2 : n;
  Buffer source(size_t(n) * n * 4), target(size_t(n) * n * 4);
  FillRandom(source.data, source.size, 5);
  Measure(state, Traffic(size_t(from) * from * 4 + size_t(to) * to * 4), [&](Span&) {
    return libyuv::ARGBScale(source.data, n * 4, from, from, target.data, n * 4, to, to, libyuv::kFilterNone) == 0;
  });
}
void BM_YuvARGBScaleHalf(benchmark::State& state) { YuvScale(state, true); }
void BM_YuvARGBScaleFour(benchmark::State& state) { YuvScale(state, false); }
PXM_BENCH(BM_YuvRAWToRGB24);
PXM_BENCH(BM_YuvRAWToARGB);
PXM_BENCH(BM_YuvSplitRGBPlane);
PXM_BENCH(BM_YuvRGB24ToJ400);
PXM_BENCH(BM_YuvI400ToARGB);
PXM_BENCH(BM_YuvARGBCopy);
PXM_BENCH(BM_YuvARGBScaleHalf);
PXM_BENCH(BM_YuvARGBScaleFour);
#endif

#ifdef PXM_BENCH_PIXMAN
// A composite of 4-byte images with nearest filtering: 1:1, n into n/2, n/4 into n.
enum class PixScale { One, Half, Four };
void Pixman(benchmark::State& state, pixman_op_t op, PixScale scale) {
  const int n = static_cast<int>(state.range(0));
  const int from = scale == PixScale::Four ? n / 4 : n, to = scale == PixScale::Half ? n / 2 : n;
  Buffer source(size_t(n) * n * 4), target(size_t(n) * n * 4);
  FillRandom(source.data, source.size, 9);
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, n, n, reinterpret_cast<uint32_t*>(source.data), n * 4);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, n, n, reinterpret_cast<uint32_t*>(target.data), n * 4);
  pixman_transform_t transform;
  pixman_transform_init_scale(&transform, pixman_double_to_fixed(double(from) / to), pixman_double_to_fixed(double(from) / to));
  pixman_image_set_transform(src, &transform);
  pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
  Measure(state, Traffic(size_t(from) * from * 4 + size_t(to) * to * 4), [&](Span&) {
    pixman_image_composite32(op, src, nullptr, dst, 0, 0, 0, 0, 0, 0, to, to);
    return true;
  });
  pixman_image_unref(src);
  pixman_image_unref(dst);
}
void BM_PixmanSrc(benchmark::State& state) { Pixman(state, PIXMAN_OP_SRC, PixScale::One); }
void BM_PixmanOver(benchmark::State& state) { Pixman(state, PIXMAN_OP_OVER, PixScale::One); }
void BM_PixmanSrcHalf(benchmark::State& state) { Pixman(state, PIXMAN_OP_SRC, PixScale::Half); }
void BM_PixmanSrcFour(benchmark::State& state) { Pixman(state, PIXMAN_OP_SRC, PixScale::Four); }
void BM_PixmanOverHalf(benchmark::State& state) { Pixman(state, PIXMAN_OP_OVER, PixScale::Half); }
void BM_PixmanFill(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Buffer target(size_t(n) * n * 4);
  uint32_t value = 0x10203040;
  Measure(state, Fill(target.size), [&](Span&) {
    return pixman_fill(reinterpret_cast<uint32_t*>(target.data), n, 32, 0, 0, n, n, ++value) != 0;
  });
}
PXM_BENCH(BM_PixmanSrc);
PXM_BENCH(BM_PixmanOver);
PXM_BENCH(BM_PixmanSrcHalf);
PXM_BENCH(BM_PixmanSrcFour);
PXM_BENCH(BM_PixmanOverHalf);
PXM_BENCH(BM_PixmanFill);
#endif

}  // namespace
