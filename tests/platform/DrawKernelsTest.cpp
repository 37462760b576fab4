// The drawing loops (row conversions, byte shuffles, blends, scaled rows converted once and picked
// from) checked byte for byte against a pixel-by-pixel reference, on random images of odd sizes that
// cross the loops' block and chunk boundaries, over random destinations whose skipped bytes must stay.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "CGTest.h"

namespace {

using Pixel = std::array<int, 4>;  // red, green, blue, alpha

struct Source {
  const char* name;
  enum Space { RGB, Grey, Indexed } space;
  size_t bpp;
  uint32_t info;
  enum Kind { Opaque, Straight, Premultiplied } kind;
  int offsets[4];  // memory offsets of red, green, blue and alpha (-1: opaque) in a pixel
};

const Source kSources[] = {
    {"indexed", Source::Indexed, 8, 0, Source::Opaque, {0, 0, 0, -1}},
    {"grey", Source::Grey, 8, 0, Source::Opaque, {0, 0, 0, -1}},
    {"24-bit", Source::RGB, 24, 0, Source::Opaque, {0, 1, 2, -1}},
    {"skip last", Source::RGB, 32, kCGImageAlphaNoneSkipLast, Source::Opaque, {0, 1, 2, -1}},
    {"skip first little", Source::RGB, 32, kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, Source::Opaque,
     {2, 1, 0, -1}},
    {"alpha last", Source::RGB, 32, kCGImageAlphaLast, Source::Straight, {0, 1, 2, 3}},
    {"alpha first", Source::RGB, 32, kCGImageAlphaFirst, Source::Straight, {1, 2, 3, 0}},
    {"premultiplied first little", Source::RGB, 32, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little,
     Source::Premultiplied, {2, 1, 0, 3}},
};

struct Dest {
  const char* name;
  uint32_t info;
  bool grey;
  int offsets[4];  // red, green, blue, alpha (-1: none, the fourth byte is skipped)
};

const Dest kDests[] = {
    {"skip last", kCGImageAlphaNoneSkipLast, false, {0, 1, 2, -1}},
    {"premultiplied first little", kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, false, {2, 1, 0, 3}},
    {"skip first", kCGImageAlphaNoneSkipFirst, false, {1, 2, 3, -1}},
    {"grey", kCGImageAlphaNone, true, {0, 0, 0, -1}},
};

// Destination sizes for a 261 x 7 source: 1:1, halved, four times, and an odd enlargement.
struct Size {
  size_t width, height;
};
const Size kSizes[] = {{261, 7}, {130, 3}, {1044, 28}, {391, 11}};

// Masking ranges (first, last) for red, green, blue; grey and indexed images use the first for all.
constexpr int kMask[6] = {40, 200, 0, 255, 90, 180};

struct SourceImage {
  size_t width = 261, height = 7, bytesPerRow;
  std::vector<uint8_t> bytes;
  std::array<Pixel, 256> palette;
  ImageRef image;

  SourceImage(const Source& s, std::mt19937& random, bool masked) {
    const size_t pixelBytes = s.bpp / 8;
    bytesPerRow = width * pixelBytes + 3;  // padded rows; the last row ends with its last pixel
    bytes.resize((height - 1) * bytesPerRow + width * pixelBytes);
    for (uint8_t& b : bytes) b = uint8_t(random());
    // Runs of opaque and transparent pixels as well as mixed ones: blends take shortcuts over runs.
    if (s.offsets[3] >= 0)
      for (size_t i = 0; i < width * height; ++i)
        if (i / 16 % 3 != 2) at(s, i)[s.offsets[3]] = i / 16 % 3 ? 255 : 0;
    std::vector<uint8_t> table(3 * 256);
    for (size_t i = 0; i < 256; ++i) {
      for (int c = 0; c < 3; ++c) palette[i][c] = table[3 * i + c] = uint8_t(random());
      palette[i][3] = 255;
    }
    SpaceRef space = s.space == Source::Grey ? greySpace() : rgbSpace();
    if (s.space == Source::Indexed) space.reset(CGColorSpaceCreateIndexed(space.get(), 255, table.data()));
    image = makeImage(bytes, width, height, 8, s.bpp, bytesPerRow, space.get(), s.info);
    if (masked) {
      CGFloat components[6];
      for (int i = 0; i < 6; ++i) components[i] = kMask[i] / 255.0;
      image.reset(CGImageCreateWithMaskingColors(image.get(), components));
    }
  }
  uint8_t* at(const Source& s, size_t i) { return bytes.data() + i / width * bytesPerRow + i % width * (s.bpp / 8); }

  // The pixel at (x, y) as red, green, blue, alpha; alpha -1 where the masking colours leave it out.
  Pixel read(const Source& s, size_t x, size_t y, bool masked) {
    const uint8_t* p = at(s, y * width + x);
    Pixel c = s.space == Source::Indexed ? palette[p[0]] : Pixel{p[s.offsets[0]], p[s.offsets[1]], p[s.offsets[2]], 255};
    if (s.offsets[3] >= 0) c[3] = p[s.offsets[3]];
    if (masked) {
      bool hit = true;
      for (int k = 0; k < 3; ++k) {
        const int v = s.space == Source::RGB ? c[k] : p[0], pair = s.space == Source::RGB ? k : 0;
        hit &= kMask[2 * pair] <= v && v <= kMask[2 * pair + 1];
      }
      if (hit) c[3] = -1;
    }
    return c;
  }
};

// One destination byte: colour (or alpha) s of a pixel of alpha a over the byte d.
int combine(const Source& s, int v, int a, int d) {
  if (a < 0) return d;  // masked out
  switch (s.kind) {
    case Source::Opaque: return v;
    case Source::Straight: return div255(v * a + d * (255 - a));
    case Source::Premultiplied: return std::min(255, v + div255(d * (255 - a)));
  }
  return -1;
}

// The context after drawing the source over the whole of it, pixel by pixel.
std::vector<uint8_t> reference(const Source& s, SourceImage& src, const Dest& d, const Canvas& before, bool masked) {
  std::vector<uint8_t> out(before.memory);
  uint8_t* base = out.data() + Canvas::kGuard;
  for (size_t r = 0; r < before.height; ++r)
    for (size_t x = 0; x < before.width; ++x) {
      // Nearest sampling of the pixel's centre; rows count from the top in both.
      const auto sample = [](double centre, size_t length, size_t count) {
        const double v = std::floor(centre * double(count) / double(length));
        return v <= 0 ? size_t{0} : std::min(size_t(v), count - 1);
      };
      const Pixel c = src.read(s, sample(double(x) + 0.5, before.width, src.width),
                               sample(double(r) + 0.5, before.height, src.height), masked);
      uint8_t* px = base + r * before.bytesPerRow + x * before.pixelBytes;
      const int alpha = c[3] < 0 ? -1 : s.kind == Source::Opaque ? 255 : c[3];
      if (d.grey) {
        px[0] = uint8_t(combine(s, luminance(c[0], c[1], c[2]), alpha, px[0]));
        continue;
      }
      const uint8_t old[4] = {px[0], px[1], px[2], px[3]};
      for (int k = 0; k < 3; ++k) px[d.offsets[k]] = uint8_t(combine(s, c[k], alpha, old[d.offsets[k]]));
      // An alpha byte blends as a colour of 255 (straight) or the alpha itself (premultiplied).
      if (d.offsets[3] >= 0)
        px[d.offsets[3]] = uint8_t(combine(s, s.kind == Source::Straight ? 255 : alpha, alpha, old[d.offsets[3]]));
    }
  return out;
}

}  // namespace

TEST(DrawKernels, EverySourceOverEveryDestinationAtEveryScale) {
  std::mt19937 random(20261205);
  for (const Source& s : kSources)
    for (bool masked : {false, true}) {
      if (masked && s.kind != Source::Opaque) continue;  // masking colours need an image without alpha
      SourceImage src(s, random, masked);
      ASSERT_NE(src.image, nullptr) << s.name;
      for (const Dest& d : kDests)
        for (const Size& size : kSizes) {
          SpaceRef space = d.grey ? greySpace() : rgbSpace();
          Canvas canvas(size.width, size.height, space.get(), d.info);
          ASSERT_NE(canvas.get(), nullptr) << d.name;
          for (size_t r = 0; r < canvas.height; ++r)
            for (size_t i = 0; i < canvas.width * canvas.pixelBytes; ++i) canvas.row(r)[i] = uint8_t(random());
          const std::vector<uint8_t> expected = reference(s, src, d, canvas, masked);
          CGContextDrawImage(canvas.get(), CGRectMake(0, 0, CGFloat(size.width), CGFloat(size.height)), src.image.get());
          ASSERT_TRUE(canvas.memory == expected)
              << s.name << (masked ? " masked" : "") << " into " << d.name << " at " << size.width << " x "
              << size.height;
        }
    }
}
