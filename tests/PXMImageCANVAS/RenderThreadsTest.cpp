// Several threads drawing the same image into canvases of their own at once get what one thread gets
// (the DIB serialises its renders, the canvas draws from a snapshot). On its own for ThreadSanitizer.
#include <gtest/gtest.h>

#include <thread>

#include "RenderTestSupport.h"

namespace {

TEST(RenderThreads, EveryThreadDrawsWhatOneThreadDraws) {
  for (const uint32_t bits : {4u, 8u, 24u, 32u, 0u}) {  // 0: a colour canvas with a transparent colour
    ComPtr<IPXMImage> image = bits ? ModuleHost::Get().CreateDIB().As<IPXMImage>(pxm::iid::IPXMImage)
                                   : MakeColourCanvas(17, 6).As<IPXMImage>(pxm::iid::IPXMImage);
    ASSERT_EQ(bits ? image->Create(21, 9, 1, bits, bits == 32 ? FOURCC_ARGB : FOURCC_RGB) : PXM_S_OK, PXM_S_OK);
    const view::Probe p(image.Get());
    for (uint32_t y = 0; y < p.height; ++y)
      for (uint32_t i = 0; i < uint32_t(std::abs(p.stride)); ++i) p.Row(y)[i] = uint8_t(i * 29 + y * 71);
    if (!bits) Query<IPXMImageCANVAS>(image.Get(), pxm::iid::IPXMImageCANVAS)->put_TransparentColor(0x00070D14);
    SCOPED_TRACE(bits);
    const auto draw = [&](Surface& target) {
      target.Fill(Rgbx(5, 50, 150));
      return Draw(image.Get(), target.context, {1, 2, int32_t(2 * p.width), int32_t(p.height + 3)});
    };
    const auto pixels = [](const Surface& s) { return std::vector<uint8_t>(s.BufferRow(0), s.BufferRow(s.height)); };
    std::vector<Surface> targets;
    for (int t = 0; t <= 4; ++t) targets.emplace_back(2 * p.width + 2, p.height + 6, Coordinates::Flipped);
    ASSERT_EQ(draw(targets[4]), PXM_S_OK);
    const std::vector<uint8_t> expected = pixels(targets[4]);
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&, t] {
        for (int round = 0; round < 25; ++round) mismatches[t] += draw(targets[t]) != PXM_S_OK || pixels(targets[t]) != expected;
      });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
    EXPECT_EQ(RefCount(image.Get()), 1u);
  }
}

}  // namespace
