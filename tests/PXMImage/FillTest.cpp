// Equal on every class: every pixel of every plane takes the value, at every depth, in rows of
// either direction, and no byte beyond a row's pixels changes (but the zero after the last
// 24-bit pixel, when the row has room for it).
#include <gtest/gtest.h>

#include "ModuleHost.h"
#include "TestImage.h"

namespace {

// The bytes a filled row starts with, and whether a zero byte follows them.
std::pair<std::vector<uint8_t>, bool> Expected(uint32_t bits, uint32_t width, uint32_t value) {
  std::vector<uint8_t> pixels;
  if (bits < 8) {
    const uint8_t byte = bits == 1 ? ((value & 1) ? 0xFF : 0x00) : uint8_t((value & 15) * 0x11);
    pixels.assign((bits * width + 7) / 8, byte);
  } else {
    const uint32_t unit = bits == 16 ? 1 : bits / 8;  // 16 bits repeat the value's low byte
    for (uint32_t i = 0; i < bits / 8 * width; ++i) pixels.push_back(uint8_t(value >> (8 * (i % unit))));
  }
  return {pixels, bits == 24};
}

TEST(Fill, EveryClassFillsItsPixelsAndNothingElse) {
  const struct {
    const wchar_t* className;
    uint32_t width, planes, bits, fourcc;
  } cases[] = {
      {L"PXMImage", 5, 3, 8, FOURCC_MONO},  {L"PXMImage", 3, 2, 32, FOURCC_MONO},
      {L"PXMImage", 3, 1, 16, FOURCC_MONO},  // kept as 32 bits
      {L"PXMImageDIB", 10, 1, 1, FOURCC_RGB}, {L"PXMImageDIB", 7, 1, 4, FOURCC_RGB},
      {L"PXMImageDIB", 5, 1, 8, FOURCC_MONO}, {L"PXMImageDIB", 5, 1, 16, FOURCC_RGB},
      {L"PXMImageDIB", 3, 1, 24, FOURCC_RGB},  // byte 9 of each 12-byte row becomes 0
      {L"PXMImageDIB", 4, 1, 24, FOURCC_RGB},  // no room for the zero
      {L"PXMImageDIB", 3, 1, 32, FOURCC_ARGB}, {L"PXMImageCANVAS", 5, 1, 8, FOURCC_MONO},
      {L"PXMImageCANVAS", 3, 1, 24, FOURCC_RGB}, {L"PXMImageCANVAS", 3, 1, 32, FOURCC_RGB},
  };
  for (const auto& c : cases) {
    for (uint32_t value : {0xA1B2C3D5u, 0x12345678u}) {
      SCOPED_TRACE(testing::Message() << std::wstring(c.className).size() << " " << c.width << " wide "
                                      << c.bits << " bits, value " << value);
      ComPtr<IPXMImage> image = ModuleHost::Get().Create<IPXMImage>(c.className, pxm::iid::IPXMImage);
      ASSERT_EQ(image->Create(c.width, 3, c.planes, c.bits, c.fourcc), PXM_S_OK);
      const view::Described d = view::Describe(image.Get());
      std::vector<std::pair<uint8_t*, int32_t>> rows;
      for (uint32_t p = 0; p < d.planes; ++p)
        for (uint32_t y = 0; y < d.height; ++y) rows.push_back({view::Plane(image.Get(), p).Row(y), std::abs(view::Plane(image.Get(), p).stride)});
      for (const auto& [row, length] : rows) std::memset(row, 0x5A, length);
      ASSERT_EQ(image->Equal(static_cast<int>(value)), PXM_S_OK);
      const auto [pixels, zeroAfter] = Expected(d.bits, d.width, value);
      for (size_t r = 0; r < rows.size(); ++r) {
        const auto [row, length] = rows[r];
        ASSERT_LE(pixels.size(), size_t(length));
        for (size_t x = 0; x < size_t(length); ++x)
          ASSERT_EQ(row[x], x < pixels.size() ? pixels[x] : x == pixels.size() && zeroAfter ? 0 : 0x5A)
              << "row " << r << " byte " << x;
      }
    }
  }
}

TEST(Fill, ImageWithoutPlanesOrRows) {
  ComPtr<IPXMImage> image = ModuleHost::Get().CreateRaster();
  EXPECT_EQ(image->Equal(7), PXM_E_INVALIDARG) << "plane 0 refused: its result, before anything";
  ASSERT_EQ(image->Create(5, 0, 1, 8, FOURCC_MONO), PXM_S_OK);
  EXPECT_EQ(image->Equal(7), PXM_S_OK);
}

}  // namespace
