#include "Composite.h"

#include <cstring>

#include "Pixel.h"

// Rows are drawn in two passes over chunks that stay in L1: fetch converts source pixels to working
// pixels, store combines those into the destination. Each pass is a plain counted loop specialised at
// compile time for one format, so the compiler vectorises it; a draw picks its pair of passes once.

namespace cg {
namespace {

constexpr size_t kChunk = 256;

inline uint32_t byteAt(uint32_t word, unsigned shift) { return (word >> shift) & 0xFF; }

// The byte at bit From of w, moved to bit To: one shift and one mask.
template <unsigned From, unsigned To>
inline uint32_t moveByte(uint32_t w) {
  if constexpr (From >= To)
    return (w >> (From - To)) & (0xFFu << To);
  else
    return (w << (To - From)) & (0xFFu << To);
}

// A 32-bit pixel from byte order From to byte order To.
template <WordOrder From, WordOrder To>
inline uint32_t reorder(uint32_t w) {
  constexpr WordShifts f = shiftsOf(From), t = shiftsOf(To);
  return moveByte<f.red, t.red>(w) | moveByte<f.green, t.green>(w) | moveByte<f.blue, t.blue>(w) |
         moveByte<f.alpha, t.alpha>(w);
}

// 5-bit component to 8 bits, so that 0 and 31 become 0 and 255.
inline uint32_t widen5(uint32_t v) { return v << 3 | v >> 2; }

// (x + 127) / 255 without a division; exact for x <= 255 * 255.
inline uint32_t div255(uint32_t x) {
  const uint32_t t = x + 127;
  return (t + 1 + (t >> 8)) >> 8;
}

// div255 on both 16-bit halves of x at once.
inline uint32_t div255Pairs(uint32_t x) {
  const uint32_t t = x + 0x007F007F;
  return ((t + 0x00010001 + ((t >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
}

// Straight source over destination, every byte: (s * a + d * (255 - a) + 127) / 255. Two bytes share
// a multiply: each half stays below 2^16.
inline uint32_t blendStraight(uint32_t s, uint32_t d, uint32_t a) {
  const uint32_t ia = 255 - a;
  const uint32_t rb = (s & 0x00FF00FF) * a + (d & 0x00FF00FF) * ia;
  const uint32_t ga = ((s >> 8) & 0x00FF00FF) * a + ((d >> 8) & 0x00FF00FF) * ia;
  return div255Pairs(rb) | div255Pairs(ga) << 8;
}

// Halves above 255 (at most 510) become 255.
inline uint32_t saturatePairs(uint32_t v) {
  const uint32_t over = v & 0x01000100;
  return (v | (over - (over >> 8))) & 0x00FF00FF;
}

// Premultiplied source over destination, every byte: s + (d * (255 - a) + 127) / 255, saturated
// for sources whose colour exceeds their alpha.
inline uint32_t blendPremultiplied(uint32_t s, uint32_t d, uint32_t a) {
  const uint32_t ia = 255 - a;
  const uint32_t rb = (s & 0x00FF00FF) + div255Pairs((d & 0x00FF00FF) * ia);
  const uint32_t ga = ((s >> 8) & 0x00FF00FF) + div255Pairs(((d >> 8) & 0x00FF00FF) * ia);
  return saturatePairs(rb) | saturatePairs(ga) << 8;
}

inline uint32_t luminance(uint32_t c) { return (77 * (c & 0xFF) + 150 * byteAt(c, 8) + 29 * byteAt(c, 16)) >> 8; }

// ---- Fetch: Source<Kind, Order>::load(row, x) is pixel x of a row as a working pixel.

template <PixelKind K, WordOrder O>
struct Source;

template <WordOrder O>
struct Source<PixelKind::Word32, O> {
  static uint32_t load(const uint8_t* row, size_t x, const RowParams& p) {
    return reorder<O, WordOrder::RGBA>(load32(row + 4 * x)) | p.alphaFill;
  }
};

template <WordOrder O>
struct Source<PixelKind::Rgb24, O> {
  static uint32_t load(const uint8_t* row, size_t x, const RowParams&) {
    const uint8_t* px = row + 3 * x;
    return packPixel(px[0], px[1], px[2], 255);
  }
};

template <WordOrder O>
struct Source<PixelKind::Grey8, O> {
  static uint32_t load(const uint8_t* row, size_t x, const RowParams&) { return row[x] * 0x010101u | kOpaqueAlpha; }
};

template <WordOrder O>
struct Source<PixelKind::Index8, O> {
  static uint32_t load(const uint8_t* row, size_t x, const RowParams& p) { return p.palette[row[x]]; }
};

template <WordOrder O>
struct Source<PixelKind::Rgb555, O> {
  static uint32_t load(const uint8_t* row, size_t x, const RowParams&) {
    const uint32_t v = row[2 * x] | uint32_t{row[2 * x + 1]} << 8;
    return packPixel(widen5((v >> 10) & 31), widen5((v >> 5) & 31), widen5(v & 31), 255);
  }
};

template <PixelKind K, WordOrder O, bool Scaled>
void fetch(uint32_t* __restrict out, const uint8_t* __restrict row, const uint32_t* __restrict columns, size_t first,
           size_t count, const RowParams& params) {
  const RowParams& p = params;
  for (size_t i = 0; i < count; ++i) out[i] = Source<K, O>::load(row, Scaled ? columns[first + i] : first + i, p);
}

void fetchSolid(uint32_t* __restrict out, const uint8_t*, const uint32_t*, size_t, size_t count, const RowParams& p) {
  const uint32_t colour = p.solid;
  for (size_t i = 0; i < count; ++i) out[i] = colour;
}

// Masked colours become transparent, which Op::Keyed skips.
void applyMask(uint32_t* __restrict pixels, size_t count, const ColorMask& m) {
  const ColorMask mask = m;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t c = pixels[i];
    const uint32_t r = c & 0xFF, g = byteAt(c, 8), b = byteAt(c, 16);
    const bool hit = (r >= mask.low[0]) & (r <= mask.high[0]) & (g >= mask.low[1]) & (g <= mask.high[1]) &
                     (b >= mask.low[2]) & (b <= mask.high[2]);
    pixels[i] = hit ? 0 : c;
  }
}

// ---- Store: working pixels into destination pixels.

// A working pixel in the byte order O.
template <WordOrder O>
inline uint32_t place(uint32_t c) {
  return reorder<WordOrder::RGBA, O>(c);
}

template <WordOrder O, Op Operation>
inline uint32_t combineWord(uint32_t c, uint32_t d) {
  const uint32_t a = c >> 24;
  if constexpr (Operation == Op::Copy) {
    return place<O>(c);
  } else if constexpr (Operation == Op::Keyed) {
    return a ? place<O>(c) : d;
  } else if constexpr (Operation == Op::Blend) {
    // The alpha byte blends as a source of 255: a + d * (255 - a) / 255.
    return blendStraight(place<O>(c | kOpaqueAlpha), d, a);
  } else {
    return blendPremultiplied(place<O>(c), d, a);
  }
}

// Combines count working pixels into destination pixels in byte order O, keeping the `keep` bits.
template <WordOrder O, Op Operation>
inline void combineWords(uint8_t* __restrict dst, const uint32_t* __restrict in, size_t count, uint32_t keep) {
  for (size_t i = 0; i < count; ++i) {
    const uint32_t d = load32(dst + 4 * i);
    store32(dst + 4 * i, (combineWord<O, Operation>(in[i], d) & ~keep) | (d & keep));
  }
}

template <WordOrder O, Op Operation>
void storeWord(uint8_t* __restrict dst, const uint32_t* __restrict in, size_t count, const RowParams& p) {
  const uint32_t keep = p.keep;
  if constexpr (Operation == Op::Blend || Operation == Op::BlendPremultiplied) {
    // Sources are often opaque or transparent over whole runs: blocks of those are copied or skipped,
    // which gives what blending them would. Transparent premultiplied pixels must also be black.
    constexpr size_t kBlock = 8;
    size_t first = 0;
    for (; first + kBlock <= count; first += kBlock) {
      const uint32_t* block = in + first;
      uint32_t all = kOpaqueAlpha, any = 0;
      for (size_t i = 0; i < kBlock; ++i) {
        all &= block[i];
        any |= Operation == Op::Blend ? block[i] & kOpaqueAlpha : block[i];
      }
      if (any == 0) continue;
      if ((all & kOpaqueAlpha) == kOpaqueAlpha)
        combineWords<O, Op::Copy>(dst + 4 * first, block, kBlock, keep);
      else
        combineWords<O, Operation>(dst + 4 * first, block, kBlock, keep);
    }
    combineWords<O, Operation>(dst + 4 * first, in + first, count - first, keep);
  } else if (Operation == Op::Copy && keep == 0) {
    // Nothing of the destination survives: do not read it.
    for (size_t i = 0; i < count; ++i) store32(dst + 4 * i, place<O>(in[i]));
  } else {
    combineWords<O, Operation>(dst, in, count, keep);
  }
}

template <Op Operation>
void storeGrey(uint8_t* __restrict dst, const uint32_t* __restrict in, size_t count, const RowParams&) {
  for (size_t i = 0; i < count; ++i) {
    const uint32_t c = in[i], d = dst[i], a = c >> 24;
    uint32_t out;
    if constexpr (Operation == Op::Copy) {
      out = luminance(c);
    } else if constexpr (Operation == Op::Keyed) {
      out = a ? luminance(c) : d;
    } else if constexpr (Operation == Op::Blend) {
      out = div255(luminance(c) * a + d * (255 - a));
    } else {
      const uint32_t sum = luminance(c) + div255(d * (255 - a));
      out = sum > 255 ? 255 : sum;
    }
    dst[i] = static_cast<uint8_t>(out);
  }
}

// ---- Rows.

void pipelineRow(uint8_t* dst, const uint8_t* src, const uint32_t* columns, size_t count, const RowParams& p) {
  uint32_t chunk[kChunk];
  for (size_t first = 0; first < count; first += kChunk) {
    const size_t n = count - first < kChunk ? count - first : kChunk;
    p.fetch(chunk, src, columns, first, n, p);
    if (p.masked) applyMask(chunk, n, p.mask);
    p.store(dst + first * p.destBytes, chunk, n, p);
  }
}

// Same byte order: the colour bytes go straight across, the destination's own fourth byte is kept
// (skipped) or set opaque (premultiplied).
void copyWords(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count, uint32_t keep, uint32_t set) {
  const uint32_t take = ~(keep | set);
  for (size_t i = 0; i < count; ++i)
    store32(dst + 4 * i, (load32(src + 4 * i) & take) | set | (load32(dst + 4 * i) & keep));
}

void copyWordsRow(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams& p) {
  if (p.keep)
    copyWords(dst, src, count, p.keep, 0);
  else
    copyWords(dst, src, count, 0, p.set);  // no destination read
}

void copyGreyRow(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams&) {
  std::memcpy(dst, src, count);
}

// ---- Choosing the passes.

template <PixelKind K, WordOrder O = WordOrder::RGBA>
FetchFunction fetchFor(bool scaled) {
  return scaled ? &fetch<K, O, true> : &fetch<K, O, false>;
}

FetchFunction fetchFor(const PixelFormat& source, bool scaled) {
  switch (source.kind) {
    case PixelKind::Word32:
      switch (source.order) {
        case WordOrder::RGBA: return fetchFor<PixelKind::Word32, WordOrder::RGBA>(scaled);
        case WordOrder::ARGB: return fetchFor<PixelKind::Word32, WordOrder::ARGB>(scaled);
        case WordOrder::BGRA: return fetchFor<PixelKind::Word32, WordOrder::BGRA>(scaled);
        case WordOrder::ABGR: return fetchFor<PixelKind::Word32, WordOrder::ABGR>(scaled);
      }
      break;
    case PixelKind::Rgb24: return fetchFor<PixelKind::Rgb24>(scaled);
    case PixelKind::Grey8: return fetchFor<PixelKind::Grey8>(scaled);
    case PixelKind::Index8: return fetchFor<PixelKind::Index8>(scaled);
    case PixelKind::Rgb555: return fetchFor<PixelKind::Rgb555>(scaled);
    case PixelKind::Solid: return scaled ? nullptr : &fetchSolid;
  }
  return nullptr;
}

template <Op Operation>
StoreFunction storeFor(const PixelFormat& dest) {
  if (dest.kind == PixelKind::Grey8) return &storeGrey<Operation>;
  if (dest.kind != PixelKind::Word32) return nullptr;
  switch (dest.order) {
    case WordOrder::RGBA: return &storeWord<WordOrder::RGBA, Operation>;
    case WordOrder::ARGB: return &storeWord<WordOrder::ARGB, Operation>;
    case WordOrder::BGRA: return &storeWord<WordOrder::BGRA, Operation>;
    case WordOrder::ABGR: return &storeWord<WordOrder::ABGR, Operation>;
  }
  return nullptr;
}

StoreFunction storeFor(const PixelFormat& dest, Op op) {
  switch (op) {
    case Op::Copy: return storeFor<Op::Copy>(dest);
    case Op::Keyed: return storeFor<Op::Keyed>(dest);
    case Op::Blend: return storeFor<Op::Blend>(dest);
    case Op::BlendPremultiplied: return storeFor<Op::BlendPremultiplied>(dest);
  }
  return nullptr;
}

uint32_t skippedBits(const PixelFormat& format) {
  return format.kind == PixelKind::Word32 && format.alpha == AlphaKind::Opaque ? 0xFFu << shiftsOf(format.order).alpha
                                                                               : 0;
}

}  // namespace

RowFunction prepareRow(const PixelFormat& source, const PixelFormat& dest, Op op, bool scaled, RowParams& params) {
  params.destBytes = dest.bytesPerPixel;
  params.alphaFill = source.alpha == AlphaKind::Opaque ? kOpaqueAlpha : 0;
  params.masked = op == Op::Keyed && source.kind != PixelKind::Index8;
  params.keep = skippedBits(dest);
  if (op == Op::Copy && !scaled) {
    if (source.kind == PixelKind::Grey8 && dest.kind == PixelKind::Grey8) return &copyGreyRow;
    if (source.kind == PixelKind::Word32 && dest.kind == PixelKind::Word32 && source.order == dest.order) {
      params.set = dest.alpha == AlphaKind::Opaque ? 0 : 0xFFu << shiftsOf(dest.order).alpha;
      return &copyWordsRow;
    }
  }
  params.fetch = fetchFor(source, scaled);
  params.store = storeFor(dest, op);
  return params.fetch && params.store ? &pipelineRow : nullptr;
}

void copyDestinationRow(uint8_t* dst, const uint8_t* src, size_t count, const PixelFormat& dest) {
  const uint32_t keep = skippedBits(dest);
  if (keep)
    copyWords(dst, src, count, keep, 0);
  else
    std::memcpy(dst, src, count * dest.bytesPerPixel);
}

}  // namespace cg
