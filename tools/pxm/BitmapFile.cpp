#include "BitmapFile.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "OutputFile.h"

namespace {

void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

void PutFileHeader(uint8_t* p, uint32_t fileSize, uint32_t pixelOffset) {
  p[0] = 'B';
  p[1] = 'M';
  Put32(p + 2, fileSize);
  Put32(p + 6, 0);  // two reserved 16-bit fields
  Put32(p + 10, pixelOffset);
}

uint32_t Get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint32_t Get16(const uint8_t* p) { return p[0] | p[1] << 8; }

std::string MaskBits(const uint32_t* masks, uint32_t count) {
  std::string text;
  for (uint32_t i = 0; i < count; ++i) text += (i ? "-" : "") + std::to_string(std::popcount(masks[i]));
  return text;
}

}  // namespace

std::vector<uint8_t> EncodeBitmap24(uint32_t width, uint32_t height, const uint8_t* rgbTopDown) {
  const uint32_t stride = (3 * width + 3) & ~3u;
  std::vector<uint8_t> file(14 + 40 + size_t(stride) * height, 0);
  PutFileHeader(file.data(), uint32_t(file.size()), 54);
  uint8_t* info = file.data() + 14;
  Put32(info, 40);
  Put32(info + 4, width);
  Put32(info + 8, height);  // positive: rows bottom-up
  Put16(info + 12, 1);
  Put16(info + 14, 24);
  Put32(info + 20, stride * height);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* src = rgbTopDown + size_t(y) * width * 3;
    uint8_t* dst = file.data() + 54 + size_t(height - 1 - y) * stride;
    for (uint32_t x = 0; x < width; ++x) {  // files hold blue, green, red
      dst[3 * x] = src[3 * x + 2];
      dst[3 * x + 1] = src[3 * x + 1];
      dst[3 * x + 2] = src[3 * x];
    }
  }
  return file;
}

std::string WriteBitmapFile(const std::string& path, const uint8_t* dib, uint32_t dibSize, uint32_t paletteBytes) {
  if (!dib || dibSize < 4) return "no bitmap to write";
  std::vector<uint8_t> file(14 + size_t(dibSize));
  PutFileHeader(file.data(), uint32_t(file.size()), 14 + Get32(dib) + paletteBytes);
  std::memcpy(file.data() + 14, dib, dibSize);
  return WriteWholeFile(path, file.data(), file.size());
}

std::string DescribeBitmapFile(const std::string& path) {
  uint8_t h[14 + 124 + 16] = {};
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return {};
  const size_t got = std::fread(h, 1, sizeof h, file);
  std::fclose(file);
  if (got < 14 + 16 || h[0] != 'B' || h[1] != 'M') return {};
  const uint8_t* info = h + 14;
  const uint32_t size = Get32(info);
  if (size == 12)
    return "plain " + std::to_string(Get16(info + 10)) + "-bit, 12-byte core header";
  const uint32_t bits = Get16(info + 14), compression = Get32(info + 16);
  std::string form;
  const bool os2 = size == 64;
  if (compression == 0) form = "plain";
  else if (compression == 1 || compression == 2) form = "run-length";
  else if (compression == 3 && os2) form = "Huffman-coded";
  else if (compression == 4 && os2) form = "run-length 24-bit";
  else if (compression == 4 || compression == 5) form = compression == 4 ? "embedded JPEG" : "embedded PNG";
  else if (compression == 3 || compression == 6) {
    // After a 40-byte header the masks follow it; longer headers hold them, alpha from 56 bytes on.
    const uint32_t masks[4] = {Get32(info + 40), Get32(info + 44), Get32(info + 48),
                               size == 40 ? (compression == 6 ? Get32(info + 52) : 0) : size >= 56 ? Get32(info + 52) : 0};
    form = "bit fields " + MaskBits(masks, 3) + (masks[3] ? " + " + MaskBits(masks + 3, 1) + " alpha" : "");
  } else {
    form = "compression " + std::to_string(compression);
  }
  return std::string(Get32(info + 8) & 0x80000000u ? "top-down " : "") + form + " " + std::to_string(bits) + "-bit, " +
         std::to_string(size) + "-byte header";
}

uint8_t* NewDibBlock(uint32_t width, uint32_t height, uint32_t bitsPerPixel, const uint8_t* topDown) {
  const size_t pixel = bitsPerPixel / 8, stride = (pixel * width + 3) & ~size_t{3};
  auto* block = static_cast<uint8_t*>(std::calloc(40 + stride * height, 1));
  if (!block) return nullptr;
  Put32(block, 40);
  Put32(block + 4, width);
  Put32(block + 8, height);  // positive: rows bottom-up
  Put16(block + 12, 1);
  Put16(block + 14, bitsPerPixel);
  Put32(block + 20, uint32_t(stride * height));
  for (uint32_t y = 0; y < height; ++y)
    std::memcpy(block + 40 + size_t(height - 1 - y) * stride, topDown + size_t(y) * width * pixel, width * pixel);
  return block;
}
