#include <gtest/gtest.h>

#include "CGTest.h"

extern "C" int coreGraphicsHeaderCompilesAsC(void);

// The public header serves C hosts too; transforms apply the newest step first.
TEST(Geometry, HeaderCompilesAsCAndTransformsComposeNewestFirst) {
  EXPECT_EQ(coreGraphicsHeaderCompilesAsC(), 2 + 2);
  const CGPoint p = CGPointApplyAffineTransform(CGPointMake(3, 4), CGAffineTransformScale(CGAffineTransformMakeTranslation(10, 20), 2, -1));
  EXPECT_EQ(p.x * 100 + p.y, 1616);
  const CGAffineTransform c = CGAffineTransformConcat(CGAffineTransformMakeScale(2, 2), CGAffineTransformMakeTranslation(1, 0));
  EXPECT_EQ(CGPointApplyAffineTransform(CGPointMake(1, 1), c).x, 3);
}
