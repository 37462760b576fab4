#include <gtest/gtest.h>

#include <cmath>

#include "CGTest.h"

extern "C" int coreGraphicsHeaderCompilesAsC(void);

TEST(Geometry, HeaderCompilesAsC) { EXPECT_EQ(coreGraphicsHeaderCompilesAsC(), 2 + 2); }

TEST(Geometry, StandardizeAndGetters) {
  const CGRect r = CGRectMake(10, 20, -4, -6);
  EXPECT_TRUE(CGRectEqualToRect(CGRectStandardize(r), CGRectMake(6, 14, 4, 6)));
  EXPECT_EQ(CGRectGetMinX(r), 6);
  EXPECT_EQ(CGRectGetMaxX(r), 10);
  EXPECT_EQ(CGRectGetMinY(r), 14);
  EXPECT_EQ(CGRectGetMaxY(r), 20);
  EXPECT_EQ(CGRectGetWidth(r), 4);
  EXPECT_EQ(CGRectGetHeight(r), 6);
}

TEST(Geometry, IntegralContainsTheRect) {
  EXPECT_TRUE(CGRectEqualToRect(CGRectIntegral(CGRectMake(0.5, -0.5, 1, 1.2)), CGRectMake(0, -1, 2, 2)));
  EXPECT_TRUE(CGRectEqualToRect(CGRectIntegral(CGRectMake(2, 3, -1.5, 1)), CGRectMake(0, 3, 2, 1)));
  EXPECT_TRUE(CGRectIsNull(CGRectIntegral(CGRectNull)));
}

TEST(Geometry, Intersection) {
  const CGRect a = CGRectMake(0, 0, 10, 10);
  EXPECT_TRUE(CGRectEqualToRect(CGRectIntersection(a, CGRectMake(5, -5, 10, 8)), CGRectMake(5, 0, 5, 3)));
  const CGRect touching = CGRectIntersection(a, CGRectMake(10, 0, 5, 5));
  EXPECT_FALSE(CGRectIsNull(touching));
  EXPECT_TRUE(CGRectIsEmpty(touching));
  EXPECT_TRUE(CGRectIsNull(CGRectIntersection(a, CGRectMake(11, 0, 5, 5))));
  EXPECT_TRUE(CGRectIsNull(CGRectIntersection(a, CGRectNull)));
  EXPECT_TRUE(CGRectIsEmpty(CGRectNull));
  EXPECT_FALSE(CGRectIsEmpty(a));
}

TEST(Geometry, TransformsApplyTheNewestStepFirst) {
  // Translate then scale: points are scaled first, then translated.
  const CGAffineTransform t = CGAffineTransformScale(CGAffineTransformMakeTranslation(10, 20), 2, -1);
  const CGPoint p = CGPointApplyAffineTransform(CGPointMake(3, 4), t);
  EXPECT_EQ(p.x, 16);
  EXPECT_EQ(p.y, 16);
  EXPECT_TRUE(CGAffineTransformIsIdentity(CGAffineTransformIdentity));
  const CGAffineTransform c = CGAffineTransformConcat(CGAffineTransformMakeScale(2, 2), CGAffineTransformMakeTranslation(1, 0));
  EXPECT_EQ(CGPointApplyAffineTransform(CGPointMake(1, 1), c).x, 3);
}
