// Rectangles and affine transforms.
#include <CoreGraphics/CGAffineTransform.h>
#include <CoreGraphics/CGGeometry.h>

#include <cmath>
#include <limits>

const CGPoint CGPointZero = {0, 0};
const CGSize CGSizeZero = {0, 0};
const CGRect CGRectZero = {{0, 0}, {0, 0}};
const CGRect CGRectNull = {{std::numeric_limits<CGFloat>::infinity(), std::numeric_limits<CGFloat>::infinity()}, {0, 0}};
const CGAffineTransform CGAffineTransformIdentity = {1, 0, 0, 1, 0, 0};

CGRect CGRectStandardize(CGRect rect) {
  if (CGRectIsNull(rect)) return CGRectNull;
  if (rect.size.width < 0) {
    rect.origin.x += rect.size.width;
    rect.size.width = -rect.size.width;
  }
  if (rect.size.height < 0) {
    rect.origin.y += rect.size.height;
    rect.size.height = -rect.size.height;
  }
  return rect;
}

CGFloat CGRectGetMinX(CGRect rect) { return CGRectStandardize(rect).origin.x; }
CGFloat CGRectGetMinY(CGRect rect) { return CGRectStandardize(rect).origin.y; }
CGFloat CGRectGetWidth(CGRect rect) { return CGRectStandardize(rect).size.width; }
CGFloat CGRectGetHeight(CGRect rect) { return CGRectStandardize(rect).size.height; }
CGFloat CGRectGetMaxX(CGRect rect) {
  rect = CGRectStandardize(rect);
  return rect.origin.x + rect.size.width;
}
CGFloat CGRectGetMaxY(CGRect rect) {
  rect = CGRectStandardize(rect);
  return rect.origin.y + rect.size.height;
}

bool CGRectIsNull(CGRect rect) { return std::isinf(rect.origin.x) || std::isinf(rect.origin.y); }

bool CGRectIsEmpty(CGRect rect) { return CGRectIsNull(rect) || rect.size.width == 0 || rect.size.height == 0; }

bool CGRectEqualToRect(CGRect rect1, CGRect rect2) {
  if (CGRectIsNull(rect1) || CGRectIsNull(rect2)) return CGRectIsNull(rect1) && CGRectIsNull(rect2);
  rect1 = CGRectStandardize(rect1);
  rect2 = CGRectStandardize(rect2);
  return rect1.origin.x == rect2.origin.x && rect1.origin.y == rect2.origin.y &&
         rect1.size.width == rect2.size.width && rect1.size.height == rect2.size.height;
}

// The smallest rectangle with integral edges that contains rect.
CGRect CGRectIntegral(CGRect rect) {
  if (CGRectIsNull(rect)) return CGRectNull;
  rect = CGRectStandardize(rect);
  const CGFloat minX = std::floor(rect.origin.x), minY = std::floor(rect.origin.y);
  const CGFloat maxX = std::ceil(rect.origin.x + rect.size.width);
  const CGFloat maxY = std::ceil(rect.origin.y + rect.size.height);
  return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

// Rectangles that only touch give an empty rectangle on the shared edge; disjoint ones give CGRectNull.
CGRect CGRectIntersection(CGRect r1, CGRect r2) {
  if (CGRectIsNull(r1) || CGRectIsNull(r2)) return CGRectNull;
  r1 = CGRectStandardize(r1);
  r2 = CGRectStandardize(r2);
  const CGFloat minX = std::fmax(r1.origin.x, r2.origin.x);
  const CGFloat minY = std::fmax(r1.origin.y, r2.origin.y);
  const CGFloat maxX = std::fmin(r1.origin.x + r1.size.width, r2.origin.x + r2.size.width);
  const CGFloat maxY = std::fmin(r1.origin.y + r1.size.height, r2.origin.y + r2.size.height);
  if (!(minX <= maxX && minY <= maxY)) return CGRectNull;
  return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d, CGFloat tx, CGFloat ty) {
  return CGAffineTransform{a, b, c, d, tx, ty};
}

CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty) { return {1, 0, 0, 1, tx, ty}; }

CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy) { return {sx, 0, 0, sy, 0, 0}; }

CGAffineTransform CGAffineTransformConcat(CGAffineTransform t1, CGAffineTransform t2) {
  return {t1.a * t2.a + t1.b * t2.c,           t1.a * t2.b + t1.b * t2.d,
          t1.c * t2.a + t1.d * t2.c,           t1.c * t2.b + t1.d * t2.d,
          t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

CGAffineTransform CGAffineTransformTranslate(CGAffineTransform t, CGFloat tx, CGFloat ty) {
  return CGAffineTransformConcat(CGAffineTransformMakeTranslation(tx, ty), t);
}

CGAffineTransform CGAffineTransformScale(CGAffineTransform t, CGFloat sx, CGFloat sy) {
  return CGAffineTransformConcat(CGAffineTransformMakeScale(sx, sy), t);
}

bool CGAffineTransformIsIdentity(CGAffineTransform t) {
  return t.a == 1 && t.b == 0 && t.c == 0 && t.d == 1 && t.tx == 0 && t.ty == 0;
}

CGPoint CGPointApplyAffineTransform(CGPoint point, CGAffineTransform t) {
  return CGPointMake(t.a * point.x + t.c * point.y + t.tx, t.b * point.x + t.d * point.y + t.ty);
}
