// The canvas image as a host meets it: the Failed state a refused Create leaves (its layouts are in
// the Create table of both classes).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>

#include "RenderTestSupport.h"

namespace {

struct State : view::Probe {
  CGContextRef context = nullptr;
  State(IPXMImageCANVAS* canvas, uint32_t plane = 0) : view::Probe(canvas, plane, 9) {
    EXPECT_EQ(described | result | canvas->get_CANVAS(&context), PXM_S_OK);
  }
};

// A canvas without pixels reports the sizes asked for, no rows and no context. A zero area, and
// a buffer or row that does not fit what GetImage hands out, fail before any allocation; a
// repeated zero-area request is taken as done, a repeated oversized one is tried again (`again`:
// the repeat's result, PXM_S_FALSE where not pinned). The transparent colour survives every state.
TEST(CanvasCreate, RefusedRequestsLeaveTheFailedState) {
  struct Case { uint32_t width, height, bits, fourcc; HRESULT again; } const cases[] = {
      {0, 0, 0, FOURCC_RGB, PXM_S_OK},               {0, 5, 32, FOURCC_RGB, PXM_S_OK},           {7, 0, 8, FOURCC_MONO, PXM_S_FALSE},
      {65536, 16384, 32, FOURCC_RGB, PXM_E_FAIL},    {65536, 65536, 32, FOURCC_RGB, PXM_E_FAIL}, {65536, 65536, 8, FOURCC_MONO, PXM_E_FAIL},
      {0x20000001u, 1, 32, FOURCC_RGB, PXM_E_FAIL}};
  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  int colour = 0;
  EXPECT_EQ(canvas->get_TransparentColor(&colour), PXM_S_OK);
  EXPECT_EQ(colour, -1) << "none at first";
  EXPECT_EQ(canvas->put_TransparentColor(0x0000FF), PXM_S_OK);
  EXPECT_EQ(canvas->CreateOnCANVAS(reinterpret_cast<CGContextRef>(0x10), 5, 5), PXM_S_OK) << "does nothing";
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    if (c.bits) {
      ASSERT_EQ(canvas->Create(3, 3, 1, 32, FOURCC_RGB), PXM_S_OK);
      EXPECT_EQ(canvas->Create(c.width, c.height, 1, c.bits, c.fourcc), PXM_E_FAIL);
      EXPECT_EQ(c.again == PXM_S_FALSE ? c.again : canvas->Create(c.width, c.height, 1, c.bits, c.fourcc), c.again);
    }
    const State s(canvas.Get());
    EXPECT_EQ((std::vector{s.width, s.height, s.bits, s.fourcc, s.size, uint32_t(s.stride)}),
              (std::vector{c.width, c.height, c.bits, FOURCC_RGB, 0u, 0u}));
    EXPECT_TRUE(!s.data && !s.context);
  }
  EXPECT_EQ(canvas->get_TransparentColor(&colour) * 1000 + colour, 255);
}

#ifndef __has_feature
#define __has_feature(x) 0
#endif
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) && !__has_feature(address_sanitizer) && \
    !__has_feature(thread_sanitizer)
// In a child whose address space is capped (sanitizer runtimes reserve more than the cap), a
// buffer of 1 GiB cannot be had: out of memory, and the Failed state.
TEST(CanvasCreateDeathTest, AllocationFailureIsOutOfMemory) {
  ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(2, 2);
  const auto create = [&] {
    const rlimit cap{512u << 20, 512u << 20};
    setrlimit(RLIMIT_AS, &cap);
    const HRESULT hr = canvas->Create(16384, 16384, 1, 32, FOURCC_RGB);
    const State s(canvas.Get());
    std::_Exit(hr == PXM_E_OUTOFMEMORY && s.width == 16384 && !s.data && !s.size && !s.context ? 0 : 1);
  };
  EXPECT_EXIT(create(), testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
