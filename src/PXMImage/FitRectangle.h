// Fitting a picture into a destination rectangle with its aspect ratio kept, as the DIB and the
// canvas draw it for the FitToRect flag.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "pxm/Types.h"

// A double truncated toward zero into 32 bits; values beyond the range saturate and NaN gives 0,
// so that no rectangle can come out of the conversion undefined.
inline int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// The picture (width × height) scaled by the smaller of the ratios of the destination's absolute
// width and height to its own, and centred where the destination is centred (halves truncated).
// Taken in signed arithmetic, so a destination at negative coordinates centres the picture there
// too. A picture without area comes out as an empty rectangle at the centre.
inline CANVASRect FitRectangle(const CANVASRect& destination, uint32_t width, uint32_t height) {
  const int64_t dw = std::abs(int64_t{destination.width});
  const int64_t dh = std::abs(int64_t{destination.height});
  const double cx = static_cast<double>(destination.x + dw / 2);
  const double cy = static_cast<double>(destination.y + dh / 2);
  if (width == 0 || height == 0) return {TruncateToInt32(cx), TruncateToInt32(cy), 0, 0};
  const double scale = std::min(static_cast<double>(dw) / width, static_cast<double>(dh) / height);
  const double w = width * scale;
  const double h = height * scale;
  return {TruncateToInt32(cx - w * 0.5), TruncateToInt32(cy - h * 0.5), TruncateToInt32(w), TruncateToInt32(h)};
}
