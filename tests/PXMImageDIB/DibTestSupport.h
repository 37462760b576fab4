// What the DIB tests share: a host framework of their own (strings and a counting transform,
// handed to the module with InitializeModule), little-endian byte building for DIB blocks and
// bitmap files, and a scratch folder for the files.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "ModuleHost.h"

// The host framework the module meets in these tests: a collection that offers a string
// component ("CreatableString") and a transform ("PXMTransform") that counts its calls.
class TestHost {
 public:
  // Installs the collection in the module on first use.
  static TestHost& Get();

  int applied = 0;                  // Apply calls since the last Reset
  IPXMImage* appliedTo = nullptr;   // the image of the last call
  uint32_t appliedWidth = 0;        // what that image reported during the call
  std::wstring lastString;          // text of the last host string the module filled

  void Reset() {
    applied = 0;
    appliedTo = nullptr;
    appliedWidth = 0;
    lastString.clear();
  }
};

// A host string holding the text, as a host hands a path to Load; it needs no test host.
ComPtr<IString> HostText(const std::wstring& text);

// Little-endian bytes of a block or file under construction.
struct Bytes {
  std::vector<uint8_t> data;

  Bytes& U8(uint32_t v);
  Bytes& U16(uint32_t v);
  Bytes& U32(uint32_t v);
  Bytes& Fill(size_t count, uint8_t value);
  Bytes& Append(const std::vector<uint8_t>& more);
  size_t size() const { return data.size(); }
};

// The fields of an information header (40 bytes, or one of its longer versions).
struct InfoHeader {
  uint32_t size = 40;
  uint32_t width = 0;
  int32_t height = 0;  // negative: rows stored top-down
  uint32_t bitsPerPixel = 24;
  uint32_t coloursUsed = 0;
  uint32_t compression = 0;
};
Bytes InfoHeaderBytes(const InfoHeader& header);
// The 12-byte core header.
Bytes CoreHeaderBytes(uint16_t width, uint16_t height, uint16_t bitsPerPixel);

// Row length of a stored row: padded to 4 bytes.
inline uint32_t PaddedRow(uint32_t bitsPerPixel, uint32_t width) { return (bitsPerPixel * width + 31) / 32 * 4; }

// A whole DIB block: header, `paletteEntries` entries of `entrySize` bytes (entry i is
// 4i+1, 4i+2, 4i+3 (, 0)), then `height` rows of pattern bytes.
Bytes MakeBlock(const Bytes& header, uint32_t paletteEntries, uint32_t entrySize, uint32_t rowLength, uint32_t height);

// A bitmap file around a block: "BM", file size, reserved, pixel-data offset, then the block.
Bytes MakeFile(const Bytes& block, uint32_t pixelOffset = 0);

// A fresh folder for this test process's files, removed at exit.
std::filesystem::path ScratchFolder();
std::filesystem::path WriteFile(const std::string& name, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::filesystem::path& path);
// The folder of the committed fixtures.
std::filesystem::path FixtureFolder();
