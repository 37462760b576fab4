// Equal: every pixel of every plane takes the value, at every depth, in rows of either direction,
// without touching a byte beyond a row's pixels (but for the zero after the last 24-bit pixel).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "PXMImage/ImageRecord.h"
#include "TestImage.h"

namespace {

constexpr uint32_t kValue = 0xA1B2C3D5;  // bytes, lowest first: D5 C3 B2 A1

// The bytes a filled row's pixels hold: `count` bytes, then whether a zero byte follows.
struct Filled {
  std::vector<uint8_t> pixels;
  bool zeroAfter = false;
};

Filled Expected(uint32_t bits, uint32_t width, uint32_t value) {
  const uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
  Filled f;
  if (bits < 8) {
    const uint8_t byte = bits == 1 ? ((value & 1) ? 0xFF : 0x00) : bits == 2 ? uint8_t((value & 3) * 0x55)
                                                                             : uint8_t((value & 15) * 0x11);
    f.pixels.assign((bits * width + 7) / 8, byte);
  } else if (bits == 8 || bits == 16) {
    f.pixels.assign(bits / 8 * width, b[0]);
  } else if (bits == 24) {
    for (uint32_t i = 0; i < 3 * width; ++i) f.pixels.push_back(b[i % 3]);
    f.zeroAfter = true;
  } else {
    for (uint32_t i = 0; i < 4 * width; ++i) f.pixels.push_back(b[i % 4]);
  }
  return f;
}

// Checks every row of every plane: its pixels, the zero after 24-bit pixels when the row has
// room, and the marker everywhere else in the row.
void ExpectFilled(IPXMImage* image, uint32_t value, uint8_t marker) {
  uint32_t width = 0, height = 0, planes = 0, bits = 0;
  image->GetSize(&width, &height, &planes);
  image->GetPixelDescriptor(&bits, nullptr, nullptr);
  const Filled want = Expected(bits, width, value);
  for (uint32_t p = 0; p < planes; ++p) {
    uint32_t size = 0;
    uint8_t* data = nullptr;
    int32_t stride = 0;
    ASSERT_EQ(image->GetImage(p, &size, &data, &stride), PXM_S_OK);
    const uint32_t rowLength = static_cast<uint32_t>(std::abs(stride));
    ASSERT_LE(want.pixels.size(), rowLength);
    for (uint32_t y = 0; y < height; ++y) {
      const uint8_t* row = data + int64_t{y} * stride;
      for (uint32_t x = 0; x < rowLength; ++x) {
        uint8_t expected = marker;
        if (x < want.pixels.size()) expected = want.pixels[x];
        else if (x == want.pixels.size() && want.zeroAfter) expected = 0;
        ASSERT_EQ(row[x], expected) << "plane " << p << " row " << y << " byte " << x;
      }
    }
  }
}

// Sets every byte of every plane to the marker.
void Mark(IPXMImage* image, uint8_t marker) {
  uint32_t height = 0, planes = 0;
  image->GetSize(nullptr, &height, &planes);
  for (uint32_t p = 0; p < planes; ++p) {
    uint32_t size = 0;
    uint8_t* data = nullptr;
    int32_t stride = 0;
    image->GetImage(p, &size, &data, &stride);
    for (uint32_t y = 0; y < height; ++y) std::memset(data + int64_t{y} * stride, marker, std::abs(stride));
  }
}

struct DepthCase {
  uint32_t bits, width, padding;
  bool bottomUp;
  uint32_t planes;
};

void PrintTo(const DepthCase& c, std::ostream* os) {
  *os << c.bits << " bits, " << c.width << " wide, padding " << c.padding << (c.bottomUp ? ", bottom-up" : "");
}

class FillDepth : public testing::TestWithParam<DepthCase> {};

TEST_P(FillDepth, FillsEveryPixelAndNothingElse) {
  const DepthCase& c = GetParam();
  for (uint32_t value : {kValue, 0x00000000u, 0x12345678u, 0x7F7F7F7Fu}) {
    ComPtr<TestImage> image = TestImage::Make({c.width, 3, c.bits, FOURCC_RGB, c.planes, c.bottomUp, c.padding});
    Mark(image.Get(), 0xA5);  // TestImage's guard byte, which PaddingIntact looks for
    const int calls = image->getImageCalls;
    ASSERT_EQ(FillImage(image.Get(), static_cast<int>(value)), PXM_S_OK);
    EXPECT_EQ(image->getImageCalls - calls, 1 + static_cast<int>(c.planes));
    ExpectFilled(image.Get(), value, 0xA5);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Depths, FillDepth,
    testing::Values(DepthCase{1, 10, 2, true, 1},   // 2 bytes of 10 pixels
                    DepthCase{1, 16, 0, false, 1},  // whole bytes
                    DepthCase{2, 5, 1, false, 1}, DepthCase{4, 7, 0, true, 1}, DepthCase{4, 7, 3, false, 1},
                    DepthCase{8, 5, 3, false, 3},   // a raster image's padded rows, three planes
                    DepthCase{16, 3, 2, true, 1},
                    DepthCase{24, 3, 3, true, 1},   // room for the zero byte
                    DepthCase{24, 4, 0, true, 1},   // no room: the zero byte is not written
                    DepthCase{24, 1, 1, false, 2}, DepthCase{32, 3, 0, true, 1}, DepthCase{32, 2, 4, false, 2}));

TEST(Fill, HeightZeroChangesNothing) {
  ComPtr<TestImage> image = TestImage::Make({5, 0, 8, FOURCC_MONO, 1, false, 0});
  EXPECT_EQ(FillImage(image.Get(), 7), PXM_S_OK);
}

TEST(Fill, RefusedFirstPlaneIsReturnedBeforeAnything) {
  ComPtr<TestImage> image = TestImage::Make({5, 2, 8, FOURCC_MONO, 0, false, 0});
  EXPECT_EQ(FillImage(image.Get(), 7), PXM_E_INVALIDARG);
  EXPECT_EQ(image->getImageCalls, 1);
  EXPECT_EQ(FillImage(nullptr, 7), PXM_E_POINTER);
}

// --- the module's classes, reached through their interfaces ---------------------------------

struct ClassCase {
  const wchar_t* className;
  uint32_t width, planes, bits, fourcc;
};

void PrintTo(const ClassCase& c, std::ostream* os) {
  *os << std::string(c.className, c.className + std::wcslen(c.className)) << " " << c.width << " wide " << c.bits << " bits";
}

// Why a test of a class whose operations have not landed yet is skipped.
const char* NeededClass(const std::wstring& name) {
  return name == L"PXMImage" ? "needs the raster image" : name == L"PXMImageDIB" ? "needs the DIB image" : "needs the canvas image";
}

class FillClass : public testing::TestWithParam<ClassCase> {};

TEST_P(FillClass, FillsThePlanesItsGetImageDescribes) {
  const ClassCase& c = GetParam();
  const std::wstring name = c.className;
  void* creator = nullptr;
  ASSERT_EQ(CreateFunction(tagREFString{static_cast<uint32_t>(name.size()), name.c_str()}, &creator), PXM_S_OK);
  ComPtr<IPXMImage> image;
  ASSERT_EQ(reinterpret_cast<PXMCreatorFunction>(creator)(nullptr, &pxm::iid::IPXMImage, image.Out()), PXM_S_OK);
  const HRESULT created = image->Create(c.width, 3, c.planes, c.bits, c.fourcc);
  if (created == PXM_E_NOTIMPL) GTEST_SKIP() << NeededClass(name);
  ASSERT_EQ(created, PXM_S_OK);
  Mark(image.Get(), 0x5A);
  ASSERT_EQ(image->Equal(static_cast<int>(kValue)), PXM_S_OK);
  ExpectFilled(image.Get(), kValue, 0x5A);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, FillClass,
    testing::Values(ClassCase{L"PXMImage", 5, 3, 8, FOURCC_MONO}, ClassCase{L"PXMImage", 3, 2, 32, FOURCC_MONO},
                    ClassCase{L"PXMImage", 3, 1, 16, FOURCC_MONO},  // stored as 32 bits
                    ClassCase{L"PXMImageDIB", 10, 1, 1, FOURCC_RGB}, ClassCase{L"PXMImageDIB", 7, 1, 4, FOURCC_RGB},
                    ClassCase{L"PXMImageDIB", 5, 1, 8, FOURCC_MONO}, ClassCase{L"PXMImageDIB", 5, 1, 16, FOURCC_RGB},
                    ClassCase{L"PXMImageDIB", 3, 1, 24, FOURCC_RGB},  // byte 9 of each 12-byte row becomes 0
                    ClassCase{L"PXMImageDIB", 4, 1, 24, FOURCC_RGB}, ClassCase{L"PXMImageDIB", 3, 1, 32, FOURCC_ARGB},
                    ClassCase{L"PXMImageCANVAS", 5, 1, 8, FOURCC_MONO},
                    ClassCase{L"PXMImageCANVAS", 3, 1, 24, FOURCC_RGB},  // stored as 32 bits
                    ClassCase{L"PXMImageCANVAS", 3, 1, 32, FOURCC_RGB}));

}  // namespace
