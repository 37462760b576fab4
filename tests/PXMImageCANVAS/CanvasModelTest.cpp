// The canvas image as a host meets it: its layouts, its buffer and context, re-creation, and
// the states a refused Create leaves.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>

#include "RenderTestSupport.h"

namespace {

struct Plane {
  uint32_t size = 0xDEAD;
  uint8_t* data = reinterpret_cast<uint8_t*>(0x1);
  int32_t stride = 0x5EED;
};
Plane GetPlane(IPXMImage* image, uint32_t plane = 0) {
  Plane p;
  EXPECT_EQ(image->GetImage(plane, &p.size, &p.data, &p.stride), PXM_S_OK);
  return p;
}

struct Description {
  uint32_t width, height, planes, bitsPerPixel, fourcc, bytesPerPixel;
};
Description Describe(IPXMImage* image) {
  Description d{};
  EXPECT_EQ(image->GetSize(&d.width, &d.height, &d.planes), PXM_S_OK);
  EXPECT_EQ(image->GetPixelDescriptor(&d.bitsPerPixel, &d.fourcc, &d.bytesPerPixel), PXM_S_OK);
  return d;
}

CGContextRef ContextOf(IPXMImageCANVAS* canvas) {
  CGContextRef context = reinterpret_cast<CGContextRef>(0x1);
  EXPECT_EQ(canvas->get_CANVAS(&context), PXM_S_OK);
  return context;
}

struct LayoutCase {
  uint32_t bitsPerPixel, fourcc;
  uint32_t storedBits, storedFourcc, bytesPerPixel;
};

class CanvasLayout : public testing::TestWithParam<LayoutCase> {};

// A 10 × 3 canvas: its rows are handed out last buffer row first, over a zeroed buffer that its
// context draws into.
TEST_P(CanvasLayout, HandsOutTheLastBufferRowFirst) {
  const LayoutCase& c = GetParam();
  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  ASSERT_EQ(canvas->Create(10, 3, 7, c.bitsPerPixel, c.fourcc), PXM_S_OK);
  const Description d = Describe(canvas.Get());
  EXPECT_EQ(d.width, 10u);
  EXPECT_EQ(d.height, 3u);
  EXPECT_EQ(d.planes, 1u) << "the plane count asked for is not used";
  EXPECT_EQ(d.bitsPerPixel, c.storedBits);
  EXPECT_EQ(d.fourcc, c.storedFourcc);
  EXPECT_EQ(d.bytesPerPixel, c.storedBits / 8);

  const uint32_t row = 10 * c.bytesPerPixel;
  const Plane p = GetPlane(canvas.Get(), 5);  // any plane number gives the one plane
  EXPECT_EQ(p.stride, -static_cast<int32_t>(row));
  EXPECT_EQ(p.size, 3 * row);
  uint8_t* first = p.data - 2 * row;  // the buffer's first row
  for (uint32_t i = 0; i < 3 * row; ++i) ASSERT_EQ(first[i], 0) << "byte " << i;

  CGContextRef context = ContextOf(canvas.Get());
  if (c.bytesPerPixel == 1) {
    // A grey canvas asks for a context that skips a fourth byte, which grey pixels do not have;
    // Core Graphics refuses it and the canvas keeps its pixels without a context.
    EXPECT_EQ(context, nullptr);
    return;
  }
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(CGBitmapContextGetData(context), first);
  EXPECT_EQ(CGBitmapContextGetBytesPerRow(context), row);
  EXPECT_EQ(CGBitmapContextGetBitmapInfo(context), uint32_t{kCGImageAlphaNoneSkipLast});
  // Drawn at the device's bottom row (unflipped y = 0), a pixel lands in the last buffer row, row 0.
  CGContextSetRGBFillColor(context, 1, 0, 0, 1);
  CGContextFillRect(context, CGRectMake(0, 0, 1, 1));
  EXPECT_EQ(LoadPixel(p.data) & kRgbMask, Rgbx(255, 0, 0));
  EXPECT_EQ(LoadPixel(first) & kRgbMask, 0u);
}

INSTANTIATE_TEST_SUITE_P(Requests, CanvasLayout,
                         testing::Values(LayoutCase{24, FOURCC_RGB, 32, FOURCC_RGB, 4},
                                         LayoutCase{32, FOURCC_RGB, 32, FOURCC_RGB, 4},
                                         LayoutCase{32, FOURCC_ARGB, 32, FOURCC_RGB, 4},
                                         LayoutCase{24, FOURCC_BGR, 32, FOURCC_RGB, 4},
                                         LayoutCase{16, FOURCC_RGB, 16, FOURCC_RGB, 4},
                                         LayoutCase{8, FOURCC_RGB, 8, FOURCC_RGB, 4},
                                         LayoutCase{1, FOURCC_MONO, 1, FOURCC_RGB, 4},
                                         LayoutCase{8, FOURCC_MONO, 8, FOURCC_MONO, 1}));

// Writes a marker into the canvas's first pixel; tells whether a later Create kept it.
void Mark(IPXMImageCANVAS* canvas) { GetPlane(canvas).data[0] = 0x5A; }
bool Marked(IPXMImageCANVAS* canvas) { return GetPlane(canvas).data[0] == 0x5A; }

TEST(CanvasCreate, KeepsThePixelsOnlyWhenTheStoredRequestRepeats) {
  struct Case {
    uint32_t bitsPerPixel, fourcc;
    bool kept;
  };
  for (const Case& c : {Case{32, FOURCC_RGB, true}, Case{8, FOURCC_MONO, true}, Case{16, FOURCC_RGB, true},
                        Case{24, FOURCC_RGB, false}, Case{32, FOURCC_ARGB, false}, Case{32, FOURCC_BGR, false}}) {
    SCOPED_TRACE(testing::Message() << c.bitsPerPixel << " bits, code " << std::hex << c.fourcc);
    ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
    ASSERT_EQ(canvas->Create(6, 4, 1, c.bitsPerPixel, c.fourcc), PXM_S_OK);
    Mark(canvas.Get());
    ASSERT_EQ(canvas->Create(6, 4, 1, c.bitsPerPixel, c.fourcc), PXM_S_OK);
    EXPECT_EQ(Marked(canvas.Get()), c.kept);
  }
  // Another size is always a new, zeroed canvas.
  ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(6, 4);
  Mark(canvas.Get());
  ASSERT_EQ(canvas->Create(6, 5, 1, 32, FOURCC_RGB), PXM_S_OK);
  EXPECT_FALSE(Marked(canvas.Get()));
}

// What a canvas without pixels hands out: the sizes asked for, no rows, no context.
void ExpectNoPixels(IPXMImageCANVAS* canvas, uint32_t width, uint32_t height) {
  const Description d = Describe(canvas);
  EXPECT_EQ(d.width, width);
  EXPECT_EQ(d.height, height);
  EXPECT_EQ(d.fourcc, FOURCC_RGB);
  const Plane p = GetPlane(canvas);
  EXPECT_EQ(p.data, nullptr);
  EXPECT_EQ(p.size, 0u);
  EXPECT_EQ(p.stride, 0);
  EXPECT_EQ(ContextOf(canvas), nullptr);
}

TEST(CanvasCreate, NewCanvasIsEmpty) {
  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  ExpectNoPixels(canvas.Get(), 0, 0);
  EXPECT_EQ(Describe(canvas.Get()).bitsPerPixel, 0u);
  EXPECT_EQ(canvas->CreateOnCANVAS(reinterpret_cast<CGContextRef>(0x10), 5, 5), PXM_S_OK);
  ExpectNoPixels(canvas.Get(), 0, 0);
}

TEST(CanvasCreate, ZeroAreaFailsAndRepeatsAsDone) {
  ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(4, 4);
  EXPECT_EQ(canvas->Create(0, 5, 1, 32, FOURCC_RGB), PXM_E_FAIL);
  ExpectNoPixels(canvas.Get(), 0, 5);
  EXPECT_EQ(Describe(canvas.Get()).bitsPerPixel, 32u);
  EXPECT_EQ(canvas->Create(0, 5, 1, 32, FOURCC_RGB), PXM_S_OK) << "the same request again changes nothing";
  EXPECT_EQ(canvas->Create(7, 0, 1, 8, FOURCC_MONO), PXM_E_FAIL);
  ExpectNoPixels(canvas.Get(), 7, 0);
}

// Buffers whose bytes or row length do not fit what GetImage hands out are refused before any
// allocation, and a repeated request is tried again rather than taken as done.
TEST(CanvasCreate, OversizedBuffersFailWithoutPixels) {
  struct Case {
    uint32_t width, height, bitsPerPixel, fourcc;
  };
  for (const Case& c : {Case{65536, 16384, 32, FOURCC_RGB},     // 2^32 bytes
                        Case{65536, 65536, 32, FOURCC_RGB},     // the 32-bit area wraps to 0
                        Case{65536, 65536, 8, FOURCC_MONO},     // 2^32 grey bytes
                        Case{0x20000001u, 1, 32, FOURCC_RGB}}) {  // a row longer than a signed stride
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(3, 3);
    EXPECT_EQ(canvas->Create(c.width, c.height, 1, c.bitsPerPixel, c.fourcc), PXM_E_FAIL);
    ExpectNoPixels(canvas.Get(), c.width, c.height);
    EXPECT_EQ(canvas->Create(c.width, c.height, 1, c.bitsPerPixel, c.fourcc), PXM_E_FAIL);
    // The canvas is whole again after a request that fits.
    EXPECT_EQ(canvas->Create(3, 3, 1, 32, FOURCC_RGB), PXM_S_OK);
    EXPECT_NE(ContextOf(canvas.Get()), nullptr);
  }
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PXM_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PXM_SANITIZED 1
#endif
#endif

#ifndef PXM_SANITIZED
// Run in a child process whose address space is capped, so that a buffer of 1 GiB cannot be had:
// exits with 0 when Create reports it and leaves the canvas without pixels.
[[noreturn]] void CreateBeyondTheCap(IPXMImageCANVAS* canvas) {
  const rlimit cap{512u << 20, 512u << 20};
  setrlimit(RLIMIT_AS, &cap);
  const HRESULT hr = canvas->Create(16384, 16384, 1, 32, FOURCC_RGB);
  uint32_t width = 0, height = 0, size = 1;
  uint8_t* data = nullptr;
  int32_t stride = 1;
  CGContextRef context = nullptr;
  canvas->GetSize(&width, &height, nullptr);
  canvas->GetImage(0, &size, &data, &stride);
  canvas->get_CANVAS(&context);
  const bool failed = width == 16384 && height == 16384 && !data && size == 0 && !context;
  std::_Exit(hr == PXM_E_OUTOFMEMORY && failed ? 0 : 1);
}

TEST(CanvasCreateDeathTest, AllocationFailureIsOutOfMemory) {
  ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(2, 2);
  EXPECT_EXIT(CreateBeyondTheCap(canvas.Get()), testing::ExitedWithCode(0), "");
}
#endif  // sanitizer runtimes reserve more address space than the cap allows

TEST(CanvasCreate, TransparentColourSurvivesEveryState) {
  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  int color = 0;
  EXPECT_EQ(canvas->get_TransparentColor(&color), PXM_S_OK);
  EXPECT_EQ(color, -1) << "none at first";
  EXPECT_EQ(canvas->get_TransparentColor(nullptr), PXM_S_OK);
  EXPECT_EQ(canvas->put_TransparentColor(0x0000FF), PXM_S_OK);
  canvas->Create(4, 4, 1, 24, FOURCC_RGB);
  canvas->Create(0, 4, 1, 24, FOURCC_RGB);
  canvas->Create(4, 4, 1, 8, FOURCC_MONO);
  EXPECT_EQ(canvas->get_TransparentColor(&color), PXM_S_OK);
  EXPECT_EQ(color, 255);
}

}  // namespace
