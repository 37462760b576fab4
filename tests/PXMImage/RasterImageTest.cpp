// The raster image through IPXMImage, as a host meets it: its description, its planes' layout,
// Create's refusals that keep the old planes, and allocation failure leaving it empty.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "ModuleHost.h"

// A failed allocation is a result code in the module, so the sanitizer's allocator must hand
// out null instead of stopping the process.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

ComPtr<IPXMImage> NewRaster() {
  ComPtr<IPXMImage> image = ModuleHost::Get().CreateRaster();
  EXPECT_TRUE(image);
  return image;
}

struct Plane {
  uint32_t size = 0;
  uint8_t* data = nullptr;
  int32_t stride = 0;
};
Plane GetPlane(IPXMImage* image, uint32_t plane) {
  Plane p;
  EXPECT_EQ(image->GetImage(plane, &p.size, &p.data, &p.stride), PXM_S_OK);
  return p;
}

struct Description {
  uint32_t width, height, planes, bitsPerPixel, fourcc, bytesPerPixel;
  bool operator==(const Description&) const = default;
};
Description Describe(IPXMImage* image) {
  Description d{};
  EXPECT_EQ(image->GetSize(&d.width, &d.height, &d.planes), PXM_S_OK);
  EXPECT_EQ(image->GetPixelDescriptor(&d.bitsPerPixel, &d.fourcc, &d.bytesPerPixel), PXM_S_OK);
  return d;
}

TEST(RasterImage, EmptyImageDescribesNoPlanes) {
  ComPtr<IPXMImage> image = NewRaster();
  EXPECT_EQ(Describe(image.Get()), (Description{0, 0, 0, 0, FOURCC_MONO, 1}));
  EXPECT_EQ(image->GetSize(nullptr, nullptr, nullptr), PXM_S_OK);
  EXPECT_EQ(image->GetPixelDescriptor(nullptr, nullptr, nullptr), PXM_S_OK);
}

struct CreateCase {
  uint32_t width, height, planes, bitsPerPixel;
  uint32_t wantPlanes, wantBits, wantStride;
};

std::ostream& operator<<(std::ostream& out, const CreateCase& c) {
  return out << c.width << "x" << c.height << " planes " << c.planes << " bits " << c.bitsPerPixel;
}

class RasterCreate : public testing::TestWithParam<CreateCase> {};

TEST_P(RasterCreate, GivesPlanesOfTheRowLayout) {
  const CreateCase& c = GetParam();
  ComPtr<IPXMImage> image = NewRaster();
  ASSERT_EQ(image->Create(c.width, c.height, c.planes, c.bitsPerPixel, FOURCC_MONO), PXM_S_OK);
  const bool empty = c.wantPlanes == 0;
  EXPECT_EQ(Describe(image.Get()), (Description{empty ? 0 : c.width, empty ? 0 : c.height, c.wantPlanes,
                                                c.wantBits, FOURCC_MONO, 1}));
  std::vector<uint8_t*> buffers;
  for (uint32_t p = 0; p < c.wantPlanes; ++p) {
    const Plane plane = GetPlane(image.Get(), p);
    EXPECT_EQ(plane.stride, static_cast<int32_t>(c.wantStride));
    EXPECT_EQ(plane.size, c.wantStride * c.height);
    // Every plane is a buffer of its own that the host may write, rows top row first.
    if (plane.size) {
      std::memset(plane.data, int(p), plane.size);
      for (uint8_t* other : buffers) EXPECT_NE(other, plane.data);
      buffers.push_back(plane.data);
    }
  }
  for (uint32_t p = 0; p < buffers.size(); ++p) EXPECT_EQ(buffers[p][0], p);
}

INSTANTIATE_TEST_SUITE_P(Layouts, RasterCreate,
                         testing::Values(CreateCase{5, 3, 1, 8, 1, 8, 8}, CreateCase{4, 2, 1, 8, 1, 8, 4},
                                         CreateCase{7, 2, 3, 8, 3, 8, 8}, CreateCase{5, 3, 2, 16, 2, 32, 20},
                                         CreateCase{5, 3, 1, 32, 1, 32, 20}, CreateCase{0, 7, 1, 8, 1, 8, 0},
                                         CreateCase{6, 0, 1, 8, 1, 8, 8},
                                         // Only the low 16 bits of the plane count are kept.
                                         CreateCase{5, 3, 65537, 8, 1, 8, 8}, CreateCase{5, 3, 65536, 8, 0, 0, 0},
                                         CreateCase{5, 3, 0, 8, 0, 0, 0},
                                         // The largest rows a signed stride holds, in planes of no rows.
                                         CreateCase{0x7FFFFFFC, 0, 1, 8, 1, 8, 0x7FFFFFFC},
                                         CreateCase{0x1FFFFFFF, 0, 1, 32, 1, 32, 0x7FFFFFFC}));

TEST(RasterImage, IsCreatableOnlyForMonoOf8To32Bits) {
  ComPtr<IPXMImage> image = NewRaster();
  for (uint32_t bits : {8u, 16u, 32u}) EXPECT_EQ(image->IsCreatable(bits, FOURCC_MONO), PXM_S_OK) << bits;
  for (uint32_t bits : {0u, 1u, 4u, 7u, 9u, 24u, 64u})
    EXPECT_EQ(image->IsCreatable(bits, FOURCC_MONO), PXM_E_NOTCREATABLE) << bits;
  for (uint32_t code : {FOURCC_RGB, FOURCC_ARGB, FOURCC_BGR, FOURCC_ABGR, MakeFOURCC('O', 'N', 'O', 'M')})
    EXPECT_EQ(image->IsCreatable(8, code), PXM_E_NOTCREATABLE) << code;
}

struct RefusedCase {
  uint32_t width, height, bitsPerPixel, fourcc;
  HRESULT result;
};

TEST(RasterImage, RefusedCreateKeepsTheOldPlanes) {
  const RefusedCase cases[] = {
      {5, 3, 24, FOURCC_RGB, PXM_E_NOTCREATABLE},
      {5, 3, 24, FOURCC_MONO, PXM_E_NOTCREATABLE},
      // Beyond 32-bit planes: 2^32 bytes, or rows longer than a signed stride.
      {65536, 65536, 8, FOURCC_MONO, PXM_E_INVALIDARG},
      {32768, 32768, 16, FOURCC_MONO, PXM_E_INVALIDARG},
      {4, 0x40000000, 8, FOURCC_MONO, PXM_E_INVALIDARG},
      {0x7FFFFFFD, 0, 8, FOURCC_MONO, PXM_E_INVALIDARG},
      {0xFFFFFFFF, 1, 8, FOURCC_MONO, PXM_E_INVALIDARG},
      {0x20000000, 0, 32, FOURCC_MONO, PXM_E_INVALIDARG},
      {0x40000000, 1, 32, FOURCC_MONO, PXM_E_INVALIDARG},
  };
  ComPtr<IPXMImage> image = NewRaster();
  ASSERT_EQ(image->Create(5, 3, 2, 8, FOURCC_MONO), PXM_S_OK);
  const Plane before[2] = {GetPlane(image.Get(), 0), GetPlane(image.Get(), 1)};
  std::memset(before[0].data, 0x11, before[0].size);
  std::memset(before[1].data, 0x22, before[1].size);
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " at " << c.bitsPerPixel);
    EXPECT_EQ(image->Create(c.width, c.height, 1, c.bitsPerPixel, c.fourcc), c.result);
    EXPECT_EQ(Describe(image.Get()), (Description{5, 3, 2, 8, FOURCC_MONO, 1}));
    for (uint32_t p = 0; p < 2; ++p) {
      const Plane after = GetPlane(image.Get(), p);
      EXPECT_EQ(after.data, before[p].data);
      EXPECT_EQ(std::vector<uint8_t>(after.data, after.data + 24), std::vector<uint8_t>(24, 0x11 * (p + 1)));
    }
  }
}

TEST(RasterImage, GetImageOutOfRangeLeavesOutParametersUntouched) {
  ComPtr<IPXMImage> image = NewRaster();
  for (uint32_t planes : {0u, 2u}) {
    if (planes) {
      ASSERT_EQ(image->Create(3, 3, planes, 8, FOURCC_MONO), PXM_S_OK);
    }
    for (uint32_t plane : {planes, planes + 1, 0xFFFFFFFFu}) {
      uint32_t size = 77;
      uint8_t marker = 0;
      uint8_t* data = &marker;
      int32_t stride = -5;
      EXPECT_EQ(image->GetImage(plane, &size, &data, &stride), PXM_E_INVALIDARG);
      EXPECT_EQ(size, 77u);
      EXPECT_EQ(data, &marker);
      EXPECT_EQ(stride, -5);
    }
  }
  uint8_t* data = nullptr;
  int32_t stride = 0;
  EXPECT_EQ(image->GetImage(0, nullptr, &data, &stride), PXM_E_POINTER);
}

// The process's current address space in bytes, from the kernel's account of it.
uint64_t AddressSpaceInUse() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 0;
  char line[256];
  unsigned long long kilobytes = 0;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmSize: %llu kB", &kilobytes) == 1) break;
  std::fclose(status);
  return kilobytes * 1024;
}

// With the address space capped 384 MB above what is in use, the first 256 MB plane fits and
// the second cannot: the image must come out empty, not with one plane.
TEST(RasterImage, AllocationFailureLeavesTheImageEmpty) {
  ComPtr<IPXMImage> image = NewRaster();
  ASSERT_EQ(image->Create(4, 4, 1, 8, FOURCC_MONO), PXM_S_OK);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
  const uint64_t inUse = AddressSpaceInUse();
  const uint64_t cap = inUse + (384ull << 20);
  if (inUse == 0 || (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < cap)) GTEST_SKIP() << "cannot cap";
  rlimit capped = saved;
  capped.rlim_cur = cap;
  ASSERT_EQ(setrlimit(RLIMIT_AS, &capped), 0);
  const HRESULT hr = image->Create(16384, 16384, 3, 8, FOURCC_MONO);
  ASSERT_EQ(setrlimit(RLIMIT_AS, &saved), 0);

  EXPECT_EQ(hr, PXM_E_OUTOFMEMORY);
  EXPECT_EQ(Describe(image.Get()), (Description{0, 0, 0, 0, FOURCC_MONO, 1}));
  uint32_t size = 0;
  uint8_t* data = nullptr;
  int32_t stride = 0;
  EXPECT_EQ(image->GetImage(0, &size, &data, &stride), PXM_E_INVALIDARG);
  EXPECT_EQ(image->Create(4, 4, 1, 8, FOURCC_MONO), PXM_S_OK);
}

}  // namespace
