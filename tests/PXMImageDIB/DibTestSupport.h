// What the DIB and canvas tests share: the drawing helpers, DIB blocks and bitmap files built byte by byte, fixtures.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "PathString.h"
#include "RenderTestSupport.h"
#include "ScratchFiles.h"

struct Bytes {
  std::vector<uint8_t> data;
  Bytes& U8(uint32_t v) { return data.push_back(static_cast<uint8_t>(v)), *this; }
  Bytes& U16(uint32_t v) { return U8(v).U8(v >> 8); }
  Bytes& U32(uint32_t v) { return U16(v).U16(v >> 16); }
  Bytes& Fill(size_t count, uint8_t value) { return data.insert(data.end(), count, value), *this; }
  size_t size() const { return data.size(); }
  uint8_t* HeapCopy() const { return static_cast<uint8_t*>(std::memcpy(std::malloc(size()), data.data(), size())); }  // for a block handed over
};

// 4 x 2 unless set; a negative height: rows stored top-down.
struct InfoHeader { uint32_t size = 40, width = 4; int32_t height = 2; uint32_t bitsPerPixel = 24, coloursUsed = 0, compression = 0; };
inline uint32_t PaddedRow(uint32_t bitsPerPixel, uint32_t width) { return (bitsPerPixel * width + 31) / 32 * 4; }
// Size, width, height, planes, depth, compression, image size (of plain rows), resolutions, colours
// used and important; longer versions go on with zeroed masks and colour space fields.
inline Bytes InfoHeaderBytes(const InfoHeader& h) {
  const uint32_t rows = h.height < 0 ? 0u - static_cast<uint32_t>(h.height) : static_cast<uint32_t>(h.height);
  return Bytes().U32(h.size).U32(h.width).U32(static_cast<uint32_t>(h.height)).U16(1).U16(h.bitsPerPixel).U32(h.compression)
      .U32(h.compression ? 0 : PaddedRow(h.bitsPerPixel, h.width) * rows).U32(2835).U32(2835).U32(h.coloursUsed).U32(0).Fill(h.size > 40 ? h.size - 40 : 0, 0);
}
inline Bytes CoreHeaderBytes(uint16_t width, uint16_t height, uint16_t bitsPerPixel) {
  return Bytes().U32(12).U16(width).U16(height).U16(1).U16(bitsPerPixel);
}

// Header, entries of entrySize bytes (entry i: 4i+1, 4i+2, 4i+3 (, 0)), then rows of pattern bytes.
inline Bytes MakeBlock(Bytes b, uint32_t entries, uint32_t entrySize, uint32_t rowLength, uint32_t height) {
  for (uint32_t i = 0; i < entries; ++i) b.U8(4 * i + 1).U8(4 * i + 2).U8(4 * i + 3).Fill(entrySize - 3, 0);
  for (uint32_t i = 0; i < rowLength * height; ++i) b.U8(i * 7 + 3);
  return b;
}
// "BM", file size, reserved, pixel-data offset (not consulted), then the block.
inline Bytes MakeFile(const Bytes& block, uint32_t pixelOffset = 0) {
  Bytes f = Bytes().U8('B').U8('M').U32(static_cast<uint32_t>(14 + block.size())).U32(0).U32(pixelOffset);
  return f.data.insert(f.data.end(), block.data.begin(), block.data.end()), f;
}

inline uint8_t Widen5(uint32_t v) { return uint8_t((v & 31) << 3 | (v & 31) >> 2); }  // a 5-bit channel to 8 bits
inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; }
inline std::filesystem::path Fixture(const std::string& name) { return std::filesystem::path(PXM_DIB_FIXTURES) / name; }
constexpr uint32_t kMono = FOURCC_MONO, kRgb = FOURCC_RGB, kArgb = FOURCC_ARGB, kBgr = FOURCC_BGR, kAbgr = FOURCC_ABGR;

inline view::Probe ViewOf(IPXMImageDIB* dib) { return view::Probe(dib, 0, 9); }  // 9 where a call wrote nothing
