#include <gtest/gtest.h>

#include "CGTest.h"

extern "C" int coreGraphicsHeaderCompilesAsC(void);

// Rectangles are standardised before use; transforms apply the newest step first.
TEST(Geometry, RectanglesAndTransforms) {
  EXPECT_EQ(coreGraphicsHeaderCompilesAsC(), 2 + 2);
  EXPECT_TRUE(CGRectEqualToRect(CGRectStandardize(CGRectMake(10, 20, -4, -6)), CGRectMake(6, 14, 4, 6)));
  EXPECT_TRUE(CGRectEqualToRect(CGRectIntegral(CGRectMake(2, 3, -1.5, 1)), CGRectMake(0, 3, 2, 1)));
  const CGRect touching = CGRectIntersection(CGRectMake(0, 0, 10, 10), CGRectMake(10, 0, 5, 5));
  EXPECT_TRUE(!CGRectIsNull(touching) && CGRectIsEmpty(touching));
  EXPECT_TRUE(CGRectIsNull(CGRectIntersection(CGRectMake(0, 0, 10, 10), CGRectMake(11, 0, 5, 5))));
  const CGAffineTransform t = CGAffineTransformScale(CGAffineTransformMakeTranslation(10, 20), 2, -1);
  const CGPoint p = CGPointApplyAffineTransform(CGPointMake(3, 4), t);
  EXPECT_EQ(p.x * 100 + p.y, 1616);
  const CGAffineTransform c = CGAffineTransformConcat(CGAffineTransformMakeScale(2, 2), CGAffineTransformMakeTranslation(1, 0));
  EXPECT_EQ(CGPointApplyAffineTransform(CGPointMake(1, 1), c).x, 3);
}
