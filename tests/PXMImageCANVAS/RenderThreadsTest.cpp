// Several threads drawing the same images into canvases of their own at once give what one
// thread gives: the DIB serialises its renders with its lock, the provider's references are
// counted atomically, the canvas draws from a snapshot. Built on its own so that it can run
// under ThreadSanitizer.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "RenderTestSupport.h"

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 25;

std::vector<uint32_t> Pixels(const Surface& s) {
  std::vector<uint32_t> pixels;
  for (uint32_t y = 0; y < s.height; ++y)
    for (uint32_t x = 0; x < s.width; ++x) pixels.push_back(s.At(x, y));
  return pixels;
}

// Each thread draws `image` kRounds times into a surface of its own (scaled, so that sampling
// runs too); every drawing must equal one made before the threads started.
void ExpectSameFromEveryThread(IUnknown* image, uint32_t w, uint32_t h) {
  const auto draw = [&](Surface& target) {
    CANVASRect rect{1, 2, int32_t(2 * w), int32_t(h + 3)};
    return Query<IPXMImageRender>(image, pxm::iid::IPXMImageRender)->Render(target.context, &rect, nullptr);
  };
  constexpr uint32_t kBackground = Rgbx(5, 50, 150);
  Surface reference(2 * w + 2, h + 6, Coordinates::Flipped, kBackground);
  ASSERT_EQ(draw(reference), PXM_S_OK);
  const std::vector<uint32_t> expected = Pixels(reference);

  std::vector<Surface> targets;
  for (int t = 0; t < kThreads; ++t) targets.emplace_back(2 * w + 2, h + 6, Coordinates::Flipped, kBackground);
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        targets[t].Fill(kBackground);
        if (draw(targets[t]) != PXM_S_OK || Pixels(targets[t]) != expected) ++mismatches[t];
      }
    });
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
  EXPECT_EQ(RefCount(image), 1u);
}

TEST(RenderThreads, DibDrawsTheSameInEveryThread) {
  for (uint32_t bits : {4u, 8u, 24u, 32u}) {
    SCOPED_TRACE(testing::Message() << bits << " bits");
    ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
    ASSERT_EQ(dib->Create(21, 9, 1, bits, bits == 32 ? FOURCC_ARGB : FOURCC_RGB), PXM_S_OK);
    uint32_t size = 0;
    uint8_t* data = nullptr;
    int32_t stride = 0;
    dib->GetImage(0, &size, &data, &stride);
    for (uint32_t y = 0; y < 9; ++y)
      for (int32_t i = 0; i < -stride; ++i) data[int64_t{y} * stride + i] = uint8_t(i * 29 + y * 71);
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
