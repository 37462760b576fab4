#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <optional>

#include "CGTest.h"

namespace {

using RGB = std::array<int, 3>;

// Six colours for 3 x 2 test images, row by row from the top.
const RGB kColours[6] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {17, 130, 201}, {254, 1, 128}, {99, 200, 3}};

// An image description with how it stores a colour and what colour reading it back gives.
struct SourceFormat {
  const char* name;
  enum { RGBSpace, GreySpace, IndexedSpace } space;
  size_t bpc, bpp;
  uint32_t info;
  std::function<std::vector<uint8_t>(const RGB&, size_t index)> encode;
  std::function<RGB(const RGB&)> expect;
};

RGB same(const RGB& c) { return c; }
RGB widened555(const RGB& c) {
  RGB out;
  for (int i = 0; i < 3; ++i) out[i] = (c[i] >> 3) << 3 | (c[i] >> 3) >> 2;
  return out;
}
// 32-bit pixels from bytes in memory order: 'r', 'g', 'b', 'a' (255), 'x' (junk that must be ignored).
std::function<std::vector<uint8_t>(const RGB&, size_t)> word(const char* order) {
  return [order](const RGB& c, size_t) {
    std::vector<uint8_t> bytes;
    for (const char* o = order; *o; ++o)
      bytes.push_back(*o == 'r' ? c[0] : *o == 'g' ? c[1] : *o == 'b' ? c[2] : *o == 'a' ? 255 : 0x5C);
    return bytes;
  };
}

const SourceFormat kSources[] = {
    {"indexed", SourceFormat::IndexedSpace, 8, 8, 0, [](const RGB&, size_t i) { return std::vector<uint8_t>{uint8_t(i)}; }, same},
    {"grey", SourceFormat::GreySpace, 8, 8, 0, [](const RGB& c, size_t) { return std::vector<uint8_t>{uint8_t(c[0])}; },
     [](const RGB& c) { return RGB{c[0], c[0], c[0]}; }},
    {"555", SourceFormat::RGBSpace, 5, 16, kCGBitmapByteOrder16Little,
     [](const RGB& c, size_t) {
       const int v = (c[0] >> 3) << 10 | (c[1] >> 3) << 5 | c[2] >> 3 | 0x8000;  // top bit unused
       return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8)};
     },
     widened555},
    {"24-bit", SourceFormat::RGBSpace, 8, 24, 0, word("rgb"), same},
    {"alpha last", SourceFormat::RGBSpace, 8, 32, kCGImageAlphaLast, word("rgba"), same},
    {"skip last", SourceFormat::RGBSpace, 8, 32, kCGImageAlphaNoneSkipLast, word("rgbx"), same},
    {"skip first", SourceFormat::RGBSpace, 8, 32, kCGImageAlphaNoneSkipFirst, word("xrgb"), same},
    {"premultiplied last", SourceFormat::RGBSpace, 8, 32, kCGImageAlphaPremultipliedLast, word("rgba"), same},
    {"premultiplied first little", SourceFormat::RGBSpace, 8, 32,
     kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, word("bgra"), same},
    {"skip first little", SourceFormat::RGBSpace, 8, 32, kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little,
     word("bgrx"), same},
    {"alpha first", SourceFormat::RGBSpace, 8, 32, kCGImageAlphaFirst, word("argb"), same},
};

// A context format: memory offsets of red, green, blue and alpha (or -1), and of the skipped byte (or -1).
struct DestFormat {
  const char* name;
  uint32_t info;
  bool grey;
  int red, green, blue, alpha, skipped;
};

const DestFormat kDests[] = {
    {"skip last", kCGImageAlphaNoneSkipLast, false, 0, 1, 2, -1, 3},
    {"skip first", kCGImageAlphaNoneSkipFirst, false, 1, 2, 3, -1, 0},
    {"premultiplied last", kCGImageAlphaPremultipliedLast, false, 0, 1, 2, 3, -1},
    {"premultiplied first little", kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, false, 2, 1, 0, 3, -1},
    {"skip first little", kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, false, 2, 1, 0, -1, 3},
    {"premultiplied last little", kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little, false, 3, 2, 1, 0, -1},
    {"grey", kCGImageAlphaNone, true, 0, 0, 0, -1, -1},
};

constexpr uint8_t kFill = 0x33;  // what a canvas holds before drawing

// The bytes an opaque colour takes in a destination format over `before` (the skipped byte stays).
std::vector<uint8_t> destBytes(const DestFormat& d, const RGB& c, std::vector<uint8_t> before = std::vector<uint8_t>(4, kFill)) {
  if (d.grey) return {uint8_t(luminance(c[0], c[1], c[2]))};
  std::vector<uint8_t> bytes = before;
  bytes[d.red] = c[0];
  bytes[d.green] = c[1];
  bytes[d.blue] = c[2];
  if (d.alpha >= 0) bytes[d.alpha] = 255;
  return bytes;
}

ImageRef makeSource(const SourceFormat& s, size_t width, size_t height, const std::function<RGB(size_t)>& colour) {
  std::vector<unsigned char> table;
  for (size_t i = 0; i < width * height; ++i) {
    const RGB c = colour(i);
    table.insert(table.end(), c.begin(), c.end());
  }
  SpaceRef space = s.space == SourceFormat::GreySpace ? greySpace() : rgbSpace();
  if (s.space == SourceFormat::IndexedSpace) space.reset(CGColorSpaceCreateIndexed(space.get(), width * height - 1, table.data()));
  // Rows padded by 5 bytes, the provider ending right after the last pixel.
  const size_t bytesPerRow = width * s.bpp / 8 + 5;
  std::vector<uint8_t> bytes((height - 1) * bytesPerRow + width * s.bpp / 8, 0xEE);
  for (size_t i = 0; i < width * height; ++i) {
    const std::vector<uint8_t> px = s.encode(colour(i), i);
    std::copy(px.begin(), px.end(), bytes.begin() + (i / width) * bytesPerRow + (i % width) * px.size());
  }
  return makeImage(bytes, width, height, s.bpc, s.bpp, bytesPerRow, space.get(), s.info);
}

}  // namespace

TEST(DrawImage, EveryFormatOneToOne) {
  SpaceRef rgb = rgbSpace(), grey = greySpace();
  for (const SourceFormat& s : kSources) {
    ImageRef image = makeSource(s, 3, 2, [](size_t i) { return kColours[i]; });
    ASSERT_NE(image, nullptr) << s.name;
    for (const DestFormat& d : kDests) {
      Canvas canvas(5, 4, d.grey ? grey.get() : rgb.get(), d.info, kFill);
      ASSERT_NE(canvas.get(), nullptr) << d.name;
      CGContextDrawImage(canvas.get(), CGRectMake(1, 1, 3, 2), image.get());
      for (size_t r = 0; r < 4; ++r)
        for (size_t x = 0; x < 5; ++x) {
          const bool inside = x >= 1 && x <= 3 && r >= 1 && r <= 2;  // buffer rows 1-2 are device rows 2-1
          const std::vector<uint8_t> expected =
              inside ? destBytes(d, s.expect(kColours[(r - 1) * 3 + x - 1])) : std::vector<uint8_t>(canvas.pixelBytes, kFill);
          EXPECT_EQ(canvas.bytes(x, r), expected) << s.name << " into " << d.name << " at " << x << "," << r;
        }
      EXPECT_TRUE(canvas.guardsIntact());
    }
  }
}

namespace {

// Where the sampling formulas put the source of device pixel (x, buffer row): column and row from the top.
std::optional<std::pair<int, int>> formulaSource(const CGAffineTransform& m, CGRect rect, int imageWidth, int imageHeight,
                                                 int height, int x, int bufferRow) {
  rect = CGRectStandardize(rect);
  const double cx = (x + 0.5 - m.tx) / m.a, cy = (height - 1 - bufferRow + 0.5 - m.ty) / m.d;
  if (!(rect.origin.x <= cx && cx < rect.origin.x + rect.size.width && rect.origin.y <= cy &&
        cy < rect.origin.y + rect.size.height))
    return std::nullopt;
  const auto clamp = [](double v, int n) { return int(std::fmin(std::fmax(std::floor(v), 0), n - 1)); };
  return std::pair{clamp((cx - rect.origin.x) * imageWidth / rect.size.width, imageWidth),
                   clamp((rect.origin.y + rect.size.height - cy) * imageHeight / rect.size.height, imageHeight)};
}

struct Placement {
  const char* name;
  CGAffineTransform ctm;
  CGRect rect;
  int imageWidth, imageHeight;
};

const int kW = 300, kH = 12;  // wider than a row chunk
const Placement kPlacements[] = {
    {"1:1", {1, 0, 0, 1, 0, 0}, {{0, 0}, {kW, kH}}, kW, kH},
    {"1:1 offset, clipped right and top", {1, 0, 0, 1, 0, 0}, {{7, 3}, {kW, kH}}, kW, kH},
    {"1:1 clipped left and bottom", {1, 0, 0, 1, 0, 0}, {{-5, -4}, {kW, kH}}, kW, kH},
    {"beyond every edge", {1, 0, 0, 1, 0, 0}, {{-9, -9}, {kW + 20, kH + 20}}, 13, 7},
    {"2x", {1, 0, 0, 1, 0, 0}, {{1, 1}, {2 * 70, 2 * 5}}, 70, 5},
    {"half", {1, 0, 0, 1, 0, 0}, {{0, 0}, {kW, kH}}, 2 * kW, 2 * kH},
    {"fractional", {1, 0, 0, 1, 0, 0}, {{0.3, 0.7}, {250.5, 7.2}}, 7, 5},
    {"negative size is not a mirror", {1, 0, 0, 1, 0, 0}, {{200, 10}, {-150, -8}}, 6, 4},
    {"scaled and translated CTM", {2, 0, 0, 3, 5, -2}, {{1, 1}, {40, 3}}, 9, 5},
    {"flipped CTM", {1, 0, 0, -1, 0, kH}, {{2, 1}, {260, 9}}, 260, 9},
    {"mirrored CTM", {-1, 0, 0, 1, kW, 0}, {{2, 1}, {260, 9}}, 260, 9},
    {"between pixel centres", {1, 0, 0, 1, 0, 0}, {{2.6, 1}, {0.3, 5}}, 3, 3},
};

}  // namespace

TEST(DrawImage, SamplingFollowsTheFormulas) {
  SpaceRef rgb = rgbSpace();
  const SourceFormat& skipLast = kSources[5];
  for (const DestFormat* d : {&kDests[0], &kDests[3]}) {  // same layout (direct copy) and converted
    for (const Placement& p : kPlacements) {
      // Each source pixel's colour names its position.
      const auto colour = [&](size_t i) { return RGB{int(i % p.imageWidth) & 0xFF, int(i / p.imageWidth), 0x40 + int(i % p.imageWidth >> 8)}; };
      ImageRef image = makeSource(skipLast, p.imageWidth, p.imageHeight, colour);
      Canvas canvas(kW, kH, rgb.get(), d->info);
      for (int r = 0; r < kH; ++r)  // a different byte everywhere, so copied rows and skipped bytes show
        for (int i = 0; i < 4 * kW; ++i) canvas.row(r)[i] = uint8_t(r * 31 + i * 7);
      const std::vector<uint8_t> before = canvas.memory;
      CGContextTranslateCTM(canvas.get(), p.ctm.tx, p.ctm.ty);
      CGContextScaleCTM(canvas.get(), p.ctm.a, p.ctm.d);
      CGContextDrawImage(canvas.get(), p.rect, image.get());
      int mismatches = 0;
      for (int r = 0; r < kH; ++r)
        for (int x = 0; x < kW; ++x) {
          const auto source = formulaSource(p.ctm, p.rect, p.imageWidth, p.imageHeight, kH, x, r);
          const auto at = before.begin() + (canvas.pixel(x, r) - canvas.memory.data());
          const std::vector<uint8_t> old(at, at + 4);
          const std::vector<uint8_t> expected =
              source ? destBytes(*d, colour(source->second * p.imageWidth + source->first), old) : old;
          if (canvas.bytes(x, r) != expected && ++mismatches < 4) ADD_FAILURE() << p.name << " into " << d->name << " at " << x << "," << r;
        }
      EXPECT_EQ(mismatches, 0) << p.name;
      EXPECT_TRUE(canvas.guardsIntact()) << p.name;
    }
  }
}

TEST(DrawImage, BlendingRounding) {
  SpaceRef rgb = rgbSpace(), grey = greySpace();
  // Blocks of 8: mixed alphas, all opaque, all transparent (premultiplied ones not black, so they
  // still add), then a tail.
  const int alphas[8] = {0, 1, 127, 128, 200, 254, 255, 60};
  constexpr size_t kCount = 27;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < kCount; ++i) {
    const int a = i < 8 ? alphas[i] : i < 16 ? 255 : i < 24 ? 0 : 100;
    const std::array<int, 3> c = i < 8 ? std::array{a, a / 2, a * 3 / 4} : i < 16 ? std::array{int(i) * 9, 255 - int(i), int(i)}
                                 : i < 24 ? std::array{5, 0, 0} : std::array{100, 50, 10};
    bytes.insert(bytes.end(), {uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]), uint8_t(a)});
  }
  const int dst[4] = {250, 3, 128, 77};  // red, green, blue, alpha of the canvas
  for (bool premultiplied : {false, true}) {
    ImageRef image = makeImage(bytes, kCount, 1, 8, 32, 4 * kCount, rgb.get(),
                               premultiplied ? kCGImageAlphaPremultipliedLast : kCGImageAlphaLast);
    const auto over = [&](int s, int d, int a) { return premultiplied ? std::min(255, s + div255(d * (255 - a))) : div255(s * a + d * (255 - a)); };
    Canvas rgba(kCount, 1, rgb.get(), kCGImageAlphaPremultipliedLast);
    Canvas skip(kCount, 1, rgb.get(), kCGImageAlphaNoneSkipLast);
    Canvas mono(kCount, 1, grey.get(), 0, 90);
    for (size_t x = 0; x < kCount; ++x) {
      std::copy(dst, dst + 4, rgba.row(0) + 4 * x);
      std::copy(dst, dst + 4, skip.row(0) + 4 * x);
    }
    for (Canvas* c : {&rgba, &skip, &mono}) CGContextDrawImage(c->get(), CGRectMake(0, 0, kCount, 1), image.get());
    for (size_t x = 0; x < kCount; ++x) {
      const uint8_t* s = bytes.data() + 4 * x;
      const int a = s[3];
      const std::vector<uint8_t> blended = {uint8_t(over(s[0], dst[0], a)), uint8_t(over(s[1], dst[1], a)),
                                            uint8_t(over(s[2], dst[2], a))};
      EXPECT_EQ(rgba.bytes(x, 0), (std::vector<uint8_t>{blended[0], blended[1], blended[2], uint8_t(a + div255(dst[3] * (255 - a)))}))
          << "pixel " << x << (premultiplied ? " premultiplied" : "");
      EXPECT_EQ(skip.bytes(x, 0), (std::vector<uint8_t>{blended[0], blended[1], blended[2], uint8_t(dst[3])})) << "pixel " << x;
      EXPECT_EQ(mono.pixel(x, 0)[0], over(luminance(s[0], s[1], s[2]), 90, a)) << "pixel " << x;
    }
  }
}

TEST(DrawImage, MaskingColoursLeaveTheDestination) {
  SpaceRef rgb = rgbSpace(), grey = greySpace();
  // round(0.5 * 255) = 128: 127 is outside the range, 128 inside.
  const CGFloat rgbRanges[] = {0.5, 1, 0, 0.1, 0, 1};
  ImageRef image = makeImage({127, 0, 5, 128, 0, 5, 255, 26, 255, 255, 27, 0}, 4, 1, 8, 24, 12, rgb.get(), 0);
  ImageRef masked(CGImageCreateWithMaskingColors(image.get(), rgbRanges));
  Canvas canvas(4, 1, rgb.get(), kCGImageAlphaNoneSkipLast, kFill);
  CGContextDrawImage(canvas.get(), CGRectMake(0, 0, 4, 1), masked.get());
  const std::vector<uint8_t> kept(4, kFill);
  EXPECT_EQ(canvas.bytes(0, 0), (std::vector<uint8_t>{127, 0, 5, kFill}));
  EXPECT_EQ(canvas.bytes(1, 0), kept);
  EXPECT_EQ(canvas.bytes(2, 0), kept);
  EXPECT_EQ(canvas.bytes(3, 0), (std::vector<uint8_t>{255, 27, 0, kFill}));

  // Grey images test their one component; indexed images their index.
  const CGFloat greyRange[] = {0.2, 0.4};  // 51 ... 102
  ImageRef greyImage(CGImageCreateWithMaskingColors(makeImage({50, 51, 102, 103}, 4, 1, 8, 8, 4, grey.get(), 0).get(), greyRange));
  const unsigned char table[] = {1, 1, 1, 2, 2, 2, 3, 3, 3};
  SpaceRef indexed(CGColorSpaceCreateIndexed(rgb.get(), 2, table));
  const CGFloat indexRange[] = {1 / 255.0, 1 / 255.0};
  ImageRef indexImage(CGImageCreateWithMaskingColors(makeImage({0, 1, 2, 1}, 4, 1, 8, 8, 4, indexed.get(), 0).get(), indexRange));
  Canvas mono(4, 1, grey.get(), 0, kFill), fromIndex(4, 1, grey.get(), 0, kFill);
  CGContextDrawImage(mono.get(), CGRectMake(0, 0, 4, 1), greyImage.get());
  CGContextDrawImage(fromIndex.get(), CGRectMake(0, 0, 4, 1), indexImage.get());
  EXPECT_EQ(mono.rowBytes(0), (std::vector<uint8_t>{50, kFill, kFill, 103}));
  EXPECT_EQ(fromIndex.rowBytes(0), (std::vector<uint8_t>{1, kFill, 3, kFill}));
}

TEST(DrawImage, ImageOverTheContextsOwnMemory) {
  SpaceRef grey = greySpace();
  std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6, 7, 8};
  ContextRef context(CGBitmapContextCreate(pixels.data(), 4, 2, 8, 4, grey.get(), 0));
  ProviderRef provider(CGDataProviderCreateWithData(nullptr, pixels.data(), pixels.size(), nullptr));
  ImageRef image(CGImageCreate(4, 2, 8, 8, 4, grey.get(), 0, provider.get(), nullptr, false, 0));
  CGContextDrawImage(context.get(), CGRectMake(1, 0, 4, 2), image.get());  // one right: read as it was
  EXPECT_EQ(pixels, (std::vector<uint8_t>{1, 1, 2, 3, 5, 5, 6, 7}));
}

TEST(DrawImage, NothingToDraw) {
  SpaceRef rgb = rgbSpace();
  ImageRef image = makeImage(std::vector<uint8_t>(12, 200), 2, 2, 8, 24, 6, rgb.get(), 0);
  Canvas canvas(4, 4, rgb.get(), kCGImageAlphaNoneSkipLast, kFill);
  CGContextDrawImage(canvas.get(), CGRectMake(0, 0, 4, 4), nullptr);
  CGContextDrawImage(nullptr, CGRectMake(0, 0, 4, 4), image.get());
  CGContextDrawImage(canvas.get(), CGRectNull, image.get());
  CGContextDrawImage(canvas.get(), CGRectMake(0, 0, 0, 4), image.get());
  CGContextDrawImage(canvas.get(), CGRectMake(NAN, 0, 4, 4), image.get());
  CGContextDrawImage(canvas.get(), CGRectMake(0, 0, INFINITY, 4), image.get());
  CGContextDrawImage(canvas.get(), CGRectMake(4, 0, 4, 4), image.get());
  CGContextScaleCTM(canvas.get(), 0, 1);
  CGContextDrawImage(canvas.get(), CGRectMake(0, 0, 4, 4), image.get());
  for (size_t r = 0; r < 4; ++r)
    for (size_t x = 0; x < 4; ++x) EXPECT_EQ(canvas.bytes(x, r), std::vector<uint8_t>(4, kFill));
}
