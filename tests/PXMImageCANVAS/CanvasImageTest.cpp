// The canvas on its own (its Create and Copy are tested with the DIB's): the transparent colour
// when it draws, and a buffer that cannot be had.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>

#include "RenderTestSupport.h"

namespace {

constexpr uint32_t kBackground = Rgbx(1, 2, 3);

// The transparent colour 0x00BBGGRR leaves out exactly the pixels of that colour, keys next to
// pixels one step off in red, green and blue; the top byte is not read, only -1 turns masking off.
// A grey canvas draws into a colour canvas as grey pixels; its transparent colour leaves out a grey level.
TEST(CanvasRender, ColourAndGreyCanvasesLeaveOutTheTransparentColour) {
  constexpr uint32_t kGrey = Rgbx(153, 153, 153);
  for (const uint32_t key : {Rgbx(0x99, 0x66, 0x33), Rgbx(255, 0, 255), Rgbx(255, 255, 255), Rgbx(0, 0, 0), kGrey}) {
    const bool grey = key == kGrey;
    const std::vector<uint32_t> row = grey ? std::vector<uint32_t>{0, kGrey, kGrey, 0} : std::vector{key, key ^ 0x000001, key ^ 0x000100, key ^ 0x010000, key ^ 0x808080};
    const uint32_t width = uint32_t(row.size());
    ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
    ASSERT_EQ(canvas->Create(width, grey ? 2 : 1, 1, grey ? 8 : 32, grey ? FOURCC_MONO : FOURCC_RGB), PXM_S_OK);
    uint8_t* bottom = ImageRow(canvas.Get(), 0);  // grey levels or colour words
    for (uint32_t x = 0; x < width; ++x) grey ? void(bottom[x] = uint8_t(row[x])) : void(std::memcpy(bottom + 4 * x, &row[x], 4));
    for (const int colour : {-1, int(key), int(key | 0x7F000000u), int(key | 0xFF000000u), 0x000000, 0x000099}) {
      SCOPED_TRACE(testing::Message() << std::hex << key << " key, colour " << colour);
      canvas->put_TransparentColor(colour);
      Surface target(width, 2, grey ? Coordinates::Unflipped : Coordinates::Flipped, kBackground);
      ASSERT_EQ(Draw(canvas.Get(), target.context, {0, 0, int32_t(width), 2}), PXM_S_OK);
      for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < width; ++x) {
          const uint32_t pixel = grey && y == 1 ? 0 : row[x];
          EXPECT_EQ(target.At(x, y), colour != -1 && pixel == (uint32_t(colour) & kRgbMask) ? kBackground : pixel) << x << "," << y;
        }
    }
  }
}

#ifndef __has_feature
#define __has_feature(x) 0
#endif
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) && !__has_feature(address_sanitizer) && \
    !__has_feature(thread_sanitizer)
// In a child whose address space is capped (sanitizer runtimes reserve more than the cap), a
// buffer of 1 GiB cannot be had: out of memory, and no pixels or context.
TEST(CanvasCreateDeathTest, AllocationFailureIsOutOfMemory) {
  ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(2, 2);
  const auto create = [&] {
    const rlimit cap{512u << 20, 512u << 20};
    setrlimit(RLIMIT_AS, &cap);
    const HRESULT hr = canvas->Create(16384, 16384, 1, 32, FOURCC_RGB);
    const view::Probe s(canvas.Get(), 0, 9);
    CGContextRef context = nullptr;
    canvas->get_CANVAS(&context);
    std::_Exit(hr == PXM_E_OUTOFMEMORY && s.width == 16384 && !s.data && !s.size && !context ? 0 : 1);
  };
  EXPECT_EXIT(create(), testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
