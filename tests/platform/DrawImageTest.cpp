// Drawing images and fills, byte for byte against a pixel-by-pixel reference: every source description over every destination description,
// placed at several scales and clipped, random images of odd sizes over random destinations (a skipped byte is written as alpha is).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "CGTest.h"


using Pixel = std::array<int, 4>;  // red, green, blue, alpha

enum Space { RGB, Grey, Indexed };
enum Kind { Opaque, Straight, Premultiplied };
constexpr uint32_t kLittle = kCGBitmapByteOrder32Little, kSkipFirst = kCGImageAlphaNoneSkipFirst, kSkipLast = kCGImageAlphaNoneSkipLast;
constexpr uint32_t kFirst = kCGImageAlphaPremultipliedFirst, kLast = kCGImageAlphaPremultipliedLast;

struct Source { const char* name; Space space; size_t bpc, bpp; uint32_t info; Kind kind; int offsets[4]; };  // in memory, of red, green, blue, alpha (-1: opaque)
const Source kSources[] = {
    {"indexed", Indexed, 8, 8, 0, Opaque, {0, 0, 0, -1}}, {"grey", Grey, 8, 8, 0, Opaque, {0, 0, 0, -1}},
    {"555 skip first", RGB, 5, 16, kSkipFirst | kCGBitmapByteOrder16Little, Opaque, {0, 0, 0, -1}}, {"24-bit", RGB, 8, 24, 0, Opaque, {0, 1, 2, -1}},
    {"skip last", RGB, 8, 32, kSkipLast, Opaque, {0, 1, 2, -1}}, {"skip first", RGB, 8, 32, kSkipFirst, Opaque, {1, 2, 3, -1}},
    {"skip first little", RGB, 8, 32, kSkipFirst | kLittle, Opaque, {2, 1, 0, -1}}, {"alpha last", RGB, 8, 32, kCGImageAlphaLast, Straight, {0, 1, 2, 3}},
    {"alpha first", RGB, 8, 32, kCGImageAlphaFirst, Straight, {1, 2, 3, 0}}, {"premultiplied last", RGB, 8, 32, kLast, Premultiplied, {0, 1, 2, 3}},
    {"premultiplied first little", RGB, 8, 32, kFirst | kLittle, Premultiplied, {2, 1, 0, 3}},
};

// Offsets of red (or grey), green, blue, alpha or the skipped byte, written as alpha is (-1: none).
struct Dest { const char* name; uint32_t info; bool grey; int offsets[4]; };
const Dest kDests[] = {
    {"skip last", kSkipLast, false, {0, 1, 2, 3}}, {"skip first", kSkipFirst, false, {1, 2, 3, 0}}, {"skip first little", kSkipFirst | kLittle, false, {2, 1, 0, 3}},
    {"premultiplied last", kLast, false, {0, 1, 2, 3}}, {"premultiplied last big", kLast | kCGBitmapByteOrder32Big, false, {0, 1, 2, 3}},
    {"premultiplied first", kFirst, false, {1, 2, 3, 0}}, {"premultiplied first little", kFirst | kLittle, false, {2, 1, 0, 3}},
    {"premultiplied last little", kLast | kLittle, false, {3, 2, 1, 0}}, {"grey", kCGImageAlphaNone, true, {0, -1, -1, -1}},
};

// Masking ranges (first, last) for red, green, blue, of 8-bit and of 5-bit components; grey and indexed images use the first.
constexpr CGFloat kMask[6] = {40, 200, 0, 255, 90, 180}, kMask5[6] = {5, 25, 0, 31, 11, 22};

int widen5(int v) { return (v & 31) << 3 | (v & 31) >> 2; }
int div255(int x) { return (x + 127) / 255; }  // rounded, as the blending formulas state it
int luminance(int r, int g, int b) { return (77 * r + 150 * g + 29 * b) >> 8; }

struct SourceImage {
  size_t width, height, bytesPerRow;  // padded rows; the last row ends with its last pixel
  Bytes bytes;
  std::array<Pixel, 256> palette;
  ImageRef image;

  SourceImage(const Source& s, std::mt19937& random, bool masked, size_t w, size_t h)
      : width(w), height(h), bytesPerRow(w * s.bpp / 8 + 3), bytes((h - 1) * bytesPerRow + w * s.bpp / 8) {
    for (uint8_t& b : bytes) b = uint8_t(random());
    // Runs of opaque and transparent pixels as well as mixed ones: blends take shortcuts over runs.
    for (size_t i = 0; s.offsets[3] >= 0 && i < width * height; ++i)
      if (i / 16 % 3 != 2) at(s, i)[s.offsets[3]] = i / 16 % 3 ? 255 : 0;
    Bytes table(3 * 256);
    for (size_t i = 0; i < 3 * 256; ++i) { palette[i / 3][i % 3] = table[i] = uint8_t(random()); palette[i / 3][3] = 255; }
    SpaceRef space = s.space == Grey ? greySpace() : rgbSpace();
    // An indexed space keeps its own table and base space: both go before the image is drawn.
    if (s.space == Indexed) { space.reset(CGColorSpaceCreateIndexed(space.get(), 255, table.data())); std::fill(table.begin(), table.end(), 0); }
    image = makeImage(bytes, width, height, s.bpc, s.bpp, bytesPerRow, space.get(), s.info);
    if (masked) image.reset(CGImageCreateWithMaskingColors(image.get(), s.bpc == 5 ? kMask5 : kMask));
  }
  uint8_t* at(const Source& s, size_t i) { return bytes.data() + i / width * bytesPerRow + i % width * (s.bpp / 8); }

  // The pixel at (x, y) as red, green, blue, alpha (-1 where the masking colours leave it out). The samples are what the masking ranges are
  // compared with (grey and indexed: the byte), widened to 8 bits to be drawn.
  Pixel read(const Source& s, size_t x, size_t y, bool masked) {
    const uint8_t* p = at(s, y * width + x);
    const int v = s.bpc == 5 ? p[0] | p[1] << 8 : 0;  // the top bit is skipped
    const Pixel sample = s.bpc == 5 ? Pixel{v >> 10 & 31, v >> 5 & 31, v & 31} : Pixel{p[s.offsets[0]], p[s.offsets[1]], p[s.offsets[2]]};
    const auto drawn = [&](int k) { return s.bpc == 5 ? widen5(sample[k]) : sample[k]; };
    const Pixel c = s.space == Indexed ? palette[p[0]] : Pixel{drawn(0), drawn(1), drawn(2), s.offsets[3] >= 0 ? p[s.offsets[3]] : 255};
    const CGFloat* mask = s.bpc == 5 ? kMask5 : kMask;
    bool hit = masked;
    for (int k = 0; k < 3; ++k) hit &= mask[s.space == RGB ? 2 * k : 0] <= sample[k] && sample[k] <= mask[s.space == RGB ? 2 * k + 1 : 1];
    return hit ? Pixel{c[0], c[1], c[2], -1} : c;
  }
};

int combine(Kind kind, int v, int a, int d) {  // colour (or alpha) v of a pixel of alpha a over the byte d
  if (a < 0) return d;  // masked out
  return kind == Opaque ? v : kind == Straight ? div255(v * a + d * (255 - a)) : std::min(255, v + div255(d * (255 - a)));
}

// The context after drawing a source of width by height pixels in rect under the CTM m, pixel by pixel, each device pixel taking the
// source pixel read(x, y) under its centre (nothing outside the rectangle). A fill draws one straight pixel.
template <class Read>
Bytes reference(Kind kind, size_t width, size_t height, Read read, const Dest& d, const Canvas& before, const CGAffineTransform& m, CGRect rect) {
  Bytes out(before.memory);
  rect = CGRectStandardize(rect);
  const auto clamp = [](double v, size_t n) { return size_t(std::fmin(std::fmax(std::floor(v), 0), double(n - 1))); };
  for (size_t r = 0; r < before.height && std::isfinite(rect.size.width) && std::isfinite(rect.size.height); ++r)
    for (size_t x = 0; x < before.width; ++x) {
      const double cx = (double(x) + 0.5 - m.tx) / m.a, cy = (double(before.height - 1 - r) + 0.5 - m.ty) / m.d;
      if (!(rect.origin.x <= cx && cx < rect.origin.x + rect.size.width && rect.origin.y <= cy && cy < rect.origin.y + rect.size.height)) continue;
      const Pixel c = read(clamp((cx - rect.origin.x) * double(width) / rect.size.width, width),
                           clamp((rect.origin.y + rect.size.height - cy) * double(height) / rect.size.height, height));
      uint8_t* px = out.data() + Canvas::kGuard + r * before.bytesPerRow + x * before.pixelBytes;
      const int alpha = c[3] < 0 ? -1 : kind == Opaque ? 255 : c[3];
      // An alpha byte blends as a colour of 255 (straight) or of the alpha itself (premultiplied).
      const int value[4] = {d.grey ? luminance(c[0], c[1], c[2]) : c[0], c[1], c[2], kind == Straight ? 255 : alpha};
      for (int k = 0; k < 4; ++k)
        if (d.offsets[k] >= 0) px[d.offsets[k]] = uint8_t(combine(kind, value[k], alpha, px[d.offsets[k]]));
    }
  return out;
}

constexpr CGAffineTransform kIdentity = {1, 0, 0, 1, 0, 0};


// Placed through the CTM and the rectangle; a fill of a random colour follows each placement of the first source into each destination.
TEST(DrawImage, EverySourceOverEveryDestinationFollowsTheSamplingFormulas) {
  constexpr int kW = 300, kH = 12;  // wider than a row chunk
  const struct { const char* name; CGRect rect; size_t imageWidth, imageHeight; CGAffineTransform ctm = kIdentity; } placements[] = {
      {"1:1", {{0, 0}, {262, 7}}, 262, 7}, {"halved", {{0, 0}, {131, 3}}, 262, 7}, {"four times", {{0, 0}, {1048, 28}}, 262, 7},
      {"odd enlargement", {{0, 0}, {391, 11}}, 262, 7}, {"1:1 offset, clipped right and top", {{7, 3}, {kW, kH}}, kW, kH},
      {"1:1 clipped left and bottom", {{-5, -4}, {kW, kH}}, kW, kH}, {"beyond every edge", {{-9, -9}, {kW + 20, kH + 20}}, 13, 7},
      {"2x", {{1, 1}, {2 * 70, 2 * 5}}, 70, 5}, {"half", {{0, 0}, {kW, kH}}, 2 * kW, 2 * kH}, {"fractional", {{0.3, 0.7}, {250.5, 7.2}}, 7, 5},
      {"negative size is not a mirror", {{200, 10}, {-150, -8}}, 6, 4}, {"scaled and translated CTM", {{1, 1}, {40, 3}}, 9, 5, {2, 0, 0, 3, 5, -2}},
      {"flipped CTM", {{2, 1}, {260, 9}}, 260, 9, {1, 0, 0, -1, 0, kH}}, {"mirrored CTM", {{2, 1}, {260, 9}}, 260, 9, {-1, 0, 0, 1, kW, 0}},
      {"between pixel centres", {{2.6, 1}, {0.3, 5}}, 3, 3}, {"empty", {{0, 0}, {0, 4}}, 3, 3}, {"null", CGRectNull, 3, 3}, {"not a number", {{NAN, 0}, {4, 4}}, 3, 3},
      {"infinite", {{0, 0}, {INFINITY, 4}}, 3, 3}, {"collapsed CTM", {{0, 0}, {4, 4}}, 3, 3, {0, 0, 0, 1, 0, 0}},
  };
  std::mt19937 random(20261205);
  SpaceRef rgb = rgbSpace(), grey = greySpace();
  for (const Source& s : kSources)
    for (bool masked : {false, true})
      for (const auto& p : placements) {
        if (masked && s.kind != Opaque) continue;  // masking colours: images without alpha
        SourceImage src(s, random, masked, p.imageWidth, p.imageHeight);
        ASSERT_NE(src.image, nullptr) << s.name;
        for (const Dest& d : kDests) {
          Canvas canvas(kW, kH, d.grey ? grey.get() : rgb.get(), d.info);
          for (uint8_t& b : canvas.memory) b = uint8_t(random());  // what is not drawn, row padding and guards must stay as they are
          const Bytes expected =
              reference(s.kind, src.width, src.height, [&](size_t x, size_t y) { return src.read(s, x, y, masked); }, d, canvas, p.ctm, p.rect);
          CGContextRef g = canvas.get();
          CGContextTranslateCTM(g, p.ctm.tx, p.ctm.ty); CGContextScaleCTM(g, p.ctm.a, p.ctm.d); CGContextDrawImage(g, p.rect, src.image.get());
          ASSERT_TRUE(canvas.memory == expected) << s.name << (masked ? " masked" : "") << " into " << d.name << ": " << p.name;
          if (&s != kSources || masked) continue;
          // A fill over what was drawn, opaque or not; what is set after a save goes with the restore.
          const Pixel colour = {int(random() & 255), int(random() & 255), int(random() & 255), int(random() % 2 ? 255 : random() & 255)};
          const Bytes filled = reference(Straight, 1, 1, [&](size_t, size_t) { return colour; }, d, canvas, p.ctm, p.rect);
          CGContextSetRGBFillColor(g, colour[0] / 255.0, colour[1] / 255.0, colour[2] / 255.0, colour[3] / 255.0);
          CGContextSaveGState(g); CGContextSetRGBFillColor(g, 1, 1, 1, 1); CGContextTranslateCTM(g, 2, 2); CGContextRestoreGState(g);
          CGContextFillRect(g, p.rect);
          ASSERT_TRUE(canvas.memory == filled) << "a fill into " << d.name << ": " << p.name;
          if (d.grey) continue;
          // An image over the context's own memory (24-bit pixels over its 32-bit ones) is read as it was before the drawing; no image or no
          // context: nothing drawn.
          const Bytes own = reference(
              Opaque, kW, kH, [&](size_t x, size_t y) { return Pixel{canvas.row(y)[3 * x], canvas.row(y)[3 * x + 1], canvas.row(y)[3 * x + 2], 255}; }, d, canvas, p.ctm, p.rect);
          ProviderRef provider(CGDataProviderCreateWithData(nullptr, canvas.row(0), (kH - 1) * canvas.bytesPerRow + 3 * kW, nullptr));
          ImageRef image(CGImageCreate(kW, kH, 8, 24, canvas.bytesPerRow, rgb.get(), 0, provider.get(), nullptr, false, 0));
          CGContextDrawImage(g, p.rect, image.get()); CGContextDrawImage(g, p.rect, nullptr); CGContextDrawImage(nullptr, p.rect, image.get());
          ASSERT_TRUE(canvas.memory == own) << "its own memory into " << d.name << ": " << p.name;
        }
      }
}
