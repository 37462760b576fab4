/* The public header must compile as C too. */
#include <CoreGraphics/CoreGraphics.h>

int coreGraphicsHeaderCompilesAsC(void);

int coreGraphicsHeaderCompilesAsC(void) {
  CGRect r = CGRectIntegral(CGRectMake(0.5, 0.5, 1, 1));
  CGBitmapInfo info = kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little;
  return (int)CGRectGetWidth(r) + (int)(info >> 12);
}
