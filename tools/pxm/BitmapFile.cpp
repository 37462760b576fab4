#include "BitmapFile.h"

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
