// Several threads drawing the same image into canvases of their own at once get what one thread
// gets: the DIB serialises its renders with its lock, the provider's references are counted
// atomically, the canvas draws from a snapshot. On its own for the ThreadSanitizer build.
#include <gtest/gtest.h>

#include <thread>

#include "RenderTestSupport.h"

namespace {

std::vector<uint32_t> Pixels(const Surface& s) {
  std::vector<uint32_t> pixels;
  for (uint32_t y = 0; y < s.height; ++y)
    for (uint32_t x = 0; x < s.width; ++x) pixels.push_back(s.At(x, y));
  return pixels;
}

// Each thread draws the image, scaled, 25 times into its own surface; every drawing must equal
// one made before the threads started.
void ExpectSameFromEveryThread(IUnknown* image, uint32_t w, uint32_t h) {
  const auto draw = [&](Surface& target) {
    target.Fill(Rgbx(5, 50, 150));
    const CANVASRect rect{1, 2, int32_t(2 * w), int32_t(h + 3)};
    return Draw(image, target.context, rect);
  };
  std::vector<Surface> targets;
  for (int t = 0; t <= 4; ++t) targets.emplace_back(2 * w + 2, h + 6, Coordinates::Flipped);
  ASSERT_EQ(draw(targets[4]), PXM_S_OK);
  const std::vector<uint32_t> expected = Pixels(targets[4]);
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 25; ++round) mismatches[t] += draw(targets[t]) != PXM_S_OK || Pixels(targets[t]) != expected;
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
  EXPECT_EQ(RefCount(image), 1u);
}

TEST(RenderThreads, DibDrawsTheSameInEveryThread) {
  for (uint32_t bits : {4u, 8u, 24u, 32u}) {
    SCOPED_TRACE(bits);
    ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
    ASSERT_EQ(dib->Create(21, 9, 1, bits, bits == 32 ? FOURCC_ARGB : FOURCC_RGB), PXM_S_OK);
    const int32_t row = int32_t(ImageRow(dib.Get(), 0) - ImageRow(dib.Get(), 1));
    for (uint32_t y = 0; y < 9; ++y)
      for (int32_t i = 0; i < row; ++i) ImageRow(dib.Get(), y)[i] = uint8_t(i * 29 + y * 71);
    ExpectSameFromEveryThread(dib.Get(), 21, 9);
  }
}

TEST(RenderThreads, CanvasDrawsTheSameInEveryThread) {
  ComPtr<IPXMImageCANVAS> canvas = MakeColourCanvas(17, 6);
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t i = 0; i < 17 * 4; ++i) ImageRow(canvas.Get(), y)[i] = uint8_t(i * 13 + y * 7);
  canvas->put_TransparentColor(0x00070D14);
  ExpectSameFromEveryThread(canvas.Get(), 17, 6);
}

}  // namespace
