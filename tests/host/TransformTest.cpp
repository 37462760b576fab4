// Host-level tests of the "PXMTransform" component on test images of every row direction.
#include <gtest/gtest.h>

#include "HostModule.h"

namespace {

class TransformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module.Loaded()) << dlerror();
    liveBefore = module.LiveObjects();
    Ref<IComponentCollection> collection;
    ASSERT_EQ(module.Create(L"GlobalComponentCollection", pxm::iid::IComponentCollection, collection), PXM_S_OK);
    ASSERT_EQ(collection->GetComponent(12, L"PXMTransform", &pxm::iid::IPXMTransform, transform.out()), PXM_S_OK);
  }
  void TearDown() override {
    transform.Reset();
    EXPECT_EQ(module.LiveObjects(), liveBefore);
  }

  uint64_t Applied() const {
    return module.Symbol<DuvirovurozAdTransformApplyCountFunction>("DuvirovurozAdTransformApplyCount")();
  }

  HostModule& module = HostModule::Get();
  int64_t liveBefore = 0;
  Ref<IPXMTransform> transform;
};

constexpr uint32_t kMono = FOURCC_MONO;

TEST_F(TransformTest, SwapsFirstAndThirdByteOfColourPixels) {
  const TestImageShape shapes[] = {
      {5, 3, 1, 24, FOURCC_RGB, false, 1},   // padded rows, top-down
      {5, 3, 1, 24, FOURCC_BGR, true, 1},    // bottom-up, as a bitmap holds them
      {17, 4, 1, 24, FOURCC_RGB, true, 0},   // a full 48-byte block and a tail
      {7, 2, 1, 32, FOURCC_ARGB, false, 0},
      {9, 3, 1, 32, FOURCC_RGB, true, 4},
      {3, 2, 3, 24, FOURCC_RGB, false, 2},   // every plane
  };
  for (const TestImageShape& shape : shapes) {
    TestImage image(shape);
    const TestImage before(shape);
    const uint64_t applied = Applied();
    ASSERT_EQ(transform->Apply(&image), PXM_S_OK);
    EXPECT_EQ(Applied(), applied + 1);
    EXPECT_EQ(image.References(), 1u);  // nothing kept

    // Expected: the original with bytes 0 and 2 of each pixel exchanged; padding untouched.
    TestImage expected(shape);
    for (uint32_t p = 0; p < image.Planes().size(); ++p) {
      for (uint32_t y = 0; y < shape.height; ++y) {
        for (uint32_t x = 0; x < shape.width; ++x) std::swap(expected.Pixel(p, y, x)[0], expected.Pixel(p, y, x)[2]);
      }
    }
    EXPECT_EQ(image.Planes(), expected.Planes()) << shape.width << "x" << shape.height << " at " << shape.bitsPerPixel;

    ASSERT_EQ(transform->Apply(&image), PXM_S_OK);  // twice in a row restores
    EXPECT_EQ(image.Planes(), before.Planes());
  }
}

TEST_F(TransformTest, LeavesOtherImagesAsTheyAre) {
  const TestImageShape shapes[] = {
      {5, 3, 1, 32, kMono, false, 0},
      {5, 3, 2, 8, kMono, false, 3},
      {5, 3, 1, 8, FOURCC_RGB, true, 3},
      {5, 3, 1, 16, FOURCC_RGB, true, 2},
      {0, 0, 0, 24, FOURCC_RGB, false, 0},
  };
  for (const TestImageShape& shape : shapes) {
    TestImage image(shape);
    const TestImage before(shape);
    EXPECT_EQ(transform->Apply(&image), PXM_S_OK);
    EXPECT_EQ(image.Planes(), before.Planes());
  }
}

TEST_F(TransformTest, RefusesWhatItCannotUse) {
  EXPECT_EQ(transform->Apply(nullptr), PXM_E_POINTER);

  // GetImage failing: its result, nothing changed.
  TestImage failing({4, 2, 1, 24, FOURCC_RGB, false, 0});
  failing.getImageResult = PXM_E_FAIL;
  EXPECT_EQ(transform->Apply(&failing), PXM_E_FAIL);

  // A plane smaller than its rows: refused before anything is changed, on every plane.
  TestImage shortPlane({4, 2, 2, 24, FOURCC_RGB, true, 0});
  const TestImage before({4, 2, 2, 24, FOURCC_RGB, true, 0});
  shortPlane.sizeShortfall = 1;
  EXPECT_EQ(transform->Apply(&shortPlane), PXM_E_INVALIDARG);
  EXPECT_EQ(shortPlane.Planes(), before.Planes());
}

}  // namespace
