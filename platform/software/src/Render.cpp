#include "Render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "Context.h"
#include "Image.h"

namespace cg {
namespace {

// One axis of the CTM: device = user * scale + offset. Device rows count from the bottom.
struct Axis {
  double scale;
  double offset;
};

// Device pixels [first, first + count) along one axis.
struct Span {
  size_t first = 0;
  size_t count = 0;
};

double pixelCentre(const Axis& axis, size_t i) { return (double(i) + 0.5 - axis.offset) / axis.scale; }

// The device pixels in [0, limit) whose centres, taken back to user space, lie in [origin, origin + length).
// The mapping is monotonic, so they are contiguous: test the ends of a candidate range with a pixel of
// margin for rounding, and the work stays proportional to the pixels covered.
Span coveredPixels(const Axis& axis, double origin, double length, size_t limit) {
  const double e0 = origin * axis.scale + axis.offset;
  const double e1 = (origin + length) * axis.scale + axis.offset;
  if (!std::isfinite(e0) || !std::isfinite(e1) || axis.scale == 0 || !(length > 0)) return {};
  const auto clampToLimit = [limit](double v) { return v <= 0 ? size_t{0} : v >= double(limit) ? limit : size_t(v); };
  size_t first = clampToLimit(std::floor(std::fmin(e0, e1)) - 1);
  size_t end = clampToLimit(std::ceil(std::fmax(e0, e1)) + 1);
  const auto inside = [&](size_t i) {
    const double u = pixelCentre(axis, i);
    return origin <= u && u < origin + length;
  };
  while (first < end && !inside(first)) ++first;
  while (end > first && !inside(end - 1)) --end;
  return {first, end - first};
}

// floor(distance * count / length), clamped to [0, count - 1], taken for every row and column drawn:
// below 1 it is 0, and above that the conversion's truncation is the floor, so none is called.
size_t sampleIndex(double distance, double length, size_t count) {
  const double s = distance * double(count) / length;
  return !(s >= 1) ? 0 : s >= double(count - 1) ? count - 1 : size_t(s);
}

// Where a user-space rectangle lands in the context.
struct Placement {
  CGRect rect;  // standardised
  Axis x, y;
  Span columns, rows;
};

bool place(const CGContext& context, CGRect rect, Placement& out) {
  const CGAffineTransform& m = context.state.ctm;
  // Only translations and scales can be set on a context, so the CTM keeps the axes apart.
  if (CGRectIsNull(rect) || m.b != 0 || m.c != 0) return false;
  out.rect = CGRectStandardize(rect);
  out.x = {m.a, m.tx};
  out.y = {m.d, m.ty};
  out.columns = coveredPixels(out.x, out.rect.origin.x, out.rect.size.width, context.width);
  out.rows = coveredPixels(out.y, out.rect.origin.y, out.rect.size.height, context.height);
  return out.columns.count && out.rows.count;
}

// A drawing whose rows span this much of a context finds the destination's lines in memory, not in
// the cache. Unscaled copies then write whole lines with streaming stores, as plain stores read every
// line before overwriting it; measured on a 300 MiB L3 shared with other work, 24-bit 1:1 into 64 MiB:
// 0.82-0.86 of memcpy with plain stores, 0.93-0.99 streamed; into 4 MiB 0.97 plain, 0.89-0.93 streamed.
// (On the same cache the module's fills, which read nothing, were faster with plain stores at 48 MiB.)
constexpr double kLargeDestination = 32 << 20;

bool largeDestination(const CGContext& context, const Placement& pl) {
  return double(pl.rows.count) * double(context.bytesPerRow) >= kLargeDestination;
}

// Runs the row function over the covered rows, top row first. sourceRow(deviceRow) gives the source
// pointer for a row; when a copy repeats the source row of the row above (vertical scaling, fills),
// that finished row is copied instead. Scaled rows (converted non-null) are converted into it first,
// once for a run of rows sampling the same source row, and picked from there.
template <class SourceRow>
void renderRows(CGContext& context, const Placement& pl, Op op, RowFunction row, const RowParams& params,
                const uint32_t* columns, uint32_t* converted, size_t span, SourceRow sourceRow) {
  const size_t count = pl.columns.count;
  const uint8_t* previous = nullptr;
  const uint8_t* previousSource = nullptr;
  const size_t rowBytes = count * context.format.bytesPerPixel;
  // Rows narrower than the context's break the hardware's streams: the next one is asked for while
  // this one is drawn. Whole while its lines come from the cache (32-bit at half size into 1024 x 1024:
  // 1.34-1.36 of memcpy with its first four lines, 1.37-1.39 whole, though 24-bit falls from 1.31 to
  // 1.17). From memory, asking for a whole row stalls on the fill buffers, and its first lines start the
  // stream (32-bit into 4096 x 4096 when the machine was busy: 1.24-1.27 whole, 1.31-1.36 four lines).
  const size_t ahead = largeDestination(context, pl) ? std::min<size_t>(rowBytes, 256) : rowBytes;
  for (size_t k = pl.rows.count; k-- > 0;) {
    const size_t deviceRow = pl.rows.first + k;
    // Device rows count from the bottom, buffer rows from the top.
    uint8_t* dst = context.data + (context.height - 1 - deviceRow) * context.bytesPerRow +
                   pl.columns.first * context.format.bytesPerPixel;
    if (k && rowBytes < context.bytesPerRow)
      for (size_t b = 0; b < ahead; b += 64) __builtin_prefetch(dst + context.bytesPerRow + b, 1);
    const uint8_t* src = sourceRow(deviceRow);
    if (op == Op::Copy && previous && src == previousSource) {
      copyDestinationRow(dst, previous, count, context.format);
    } else if (converted) {
      if (src != previousSource) {
        // The next source row to convert: enlarged pictures sample each for several rows.
        const uint8_t* next = nullptr;
        for (size_t j = 1; j <= k && (!next || next == src); ++j) next = sourceRow(deviceRow - j);
        convertRow(converted, src, span, params, next);
      }
      row(dst, reinterpret_cast<const uint8_t*>(converted), columns, count, params);
    } else {
      row(dst, src, columns, count, params);
    }
    previous = dst;
    previousSource = src;
  }
}

// The bytes [begin, end) a bitmap of these dimensions spans.
struct ByteRange {
  const uint8_t* begin;
  const uint8_t* end;
};

ByteRange spanOf(const uint8_t* pixels, size_t width, size_t height, size_t bytesPerRow, size_t bytesPerPixel) {
  return {pixels, pixels + (height - 1) * bytesPerRow + width * bytesPerPixel};
}

Op opFor(const CGImage& image) {
  if (image.masked) return Op::Keyed;
  switch (image.format.alpha) {
    case AlphaKind::Straight: return Op::Blend;
    case AlphaKind::Premultiplied: return Op::BlendPremultiplied;
    case AlphaKind::Opaque: break;
  }
  return Op::Copy;
}

}  // namespace

void drawImage(CGContext& context, CGRect rect, const CGImage& image) {
  Placement pl;
  if (!place(context, rect, pl)) return;
  const CGRect& r = pl.rect;

  // Source column of every covered device column; consecutive columns mean a 1:1 copy.
  const size_t count = pl.columns.count;
  std::unique_ptr<uint32_t[]> columns(new (std::nothrow) uint32_t[count]);
  if (!columns) return;
  bool scaled = false;
  for (size_t i = 0; i < count; ++i) {
    columns[i] = uint32_t(sampleIndex(pixelCentre(pl.x, pl.columns.first + i) - r.origin.x, r.size.width, image.width));
    scaled |= columns[i] != columns[0] + i;
  }

  // Scaled: the row routines pick from the columns between the leftmost and the rightmost sampled;
  // halving picks every other one.
  uint32_t lowest = columns[0], highest = columns[0];
  bool everyOther = true;
  if (scaled) {
    for (size_t i = 0; i < count; ++i) {
      lowest = columns[i] < lowest ? columns[i] : lowest;
      highest = columns[i] > highest ? columns[i] : highest;
    }
    for (size_t i = 0; i < count; ++i) {
      columns[i] -= lowest;
      everyOther &= columns[i] == 2 * i;
    }
  }

  const Op op = opFor(image);
  RowParams params;
  params.everyOther = scaled && everyOther;
  params.mask = image.mask;
  uint32_t palette[256];
  if (image.format.kind == PixelKind::Index8) {
    for (size_t i = 0; i < 256; ++i) {
      const bool masked = op == Op::Keyed && image.mask.low[0] <= i && i <= image.mask.high[0];
      palette[i] = masked ? 0 : image.space->palette[i];
    }
    params.palette = palette;
  }
  params.stream = op == Op::Copy && !scaled && largeDestination(context, pl);
  const RowFunction row = prepareRow(image.format, context.format, op, scaled, params);
  if (!row) return;

  // The row loops read and write through restrict pointers: an image over the context's own memory
  // is drawn from a copy.
  const ByteRange source = spanOf(image.pixels, image.width, image.height, image.bytesPerRow, image.format.bytesPerPixel);
  const ByteRange target = spanOf(context.data, context.width, context.height, context.bytesPerRow, context.format.bytesPerPixel);
  std::unique_ptr<uint8_t[]> copy;
  const uint8_t* pixels = image.pixels;
  const auto sourceIndex = [&](size_t deviceRow) {
    return sampleIndex(r.origin.y + r.size.height - pixelCentre(pl.y, deviceRow), r.size.height, image.height);
  };
  if (source.begin < target.end && target.begin < source.end) {
    copy.reset(new (std::nothrow) uint8_t[source.end - source.begin]);
    if (!copy) return;
    std::memcpy(copy.get(), source.begin, source.end - source.begin);
    pixels = copy.get();
  }

  if (!scaled) {
    const uint8_t* firstColumn = pixels + columns[0] * image.format.bytesPerPixel;
    renderRows(context, pl, op, row, params, nullptr, nullptr, 0, [&](size_t deviceRow) {
      return firstColumn + sourceIndex(deviceRow) * image.bytesPerRow;
    });
    if (params.stream) streamingDone();
    return;
  }

  // Scaled: each source row sampled is converted once (unless the row routine reads the source's
  // own pixels) and the row function picks from it; rows repeated by vertical scaling reuse it.
  const size_t span = size_t{highest} - lowest + 1;
  std::unique_ptr<uint32_t[]> converted;
  if (params.fetch) {
    converted.reset(new (std::nothrow) uint32_t[span]);
    if (!converted) return;
  }
  const uint8_t* firstColumn = pixels + lowest * image.format.bytesPerPixel;
  renderRows(context, pl, op, row, params, columns.get(), converted.get(), span, [&](size_t deviceRow) {
    return firstColumn + sourceIndex(deviceRow) * image.bytesPerRow;
  });
}

void fillRect(CGContext& context, CGRect rect, uint32_t colour, Op op) {
  Placement pl;
  if (!place(context, rect, pl)) return;
  RowParams params;
  params.solid = colour;
  const PixelFormat solid{PixelKind::Solid, AlphaKind::Straight, {}, 0};
  const RowFunction row = prepareRow(solid, context.format, op, false, params);
  if (!row) return;
  renderRows(context, pl, op, row, params, nullptr, nullptr, 0, [](size_t) -> const uint8_t* { return nullptr; });
}

}  // namespace cg
