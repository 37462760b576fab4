#include "Composite.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Pixel.h"

// Rows are drawn in two passes over chunks that stay in L1: fetch converts source pixels to working
// pixels, store combines those into the destination. Each pass is a plain counted loop specialised at
// compile time for one format, so the compiler vectorises it; a draw picks its pair of passes once.
// Scaled draws convert each sampled source row once and pick from it by a column map.

// The loops that decide the speed of a draw are also built for x86-64-v2 (SSSE3 byte shuffles, 32-bit
// multiplies) and AVX2; the loader binds the one the processor runs best, once.
#if defined(__x86_64__) && defined(__ELF__) && !defined(PXM_NO_TARGET_CLONES)
#define CG_ROW_LOOP __attribute__((target_clones("avx2", "arch=x86-64-v2", "default")))
#else
#define CG_ROW_LOOP
#endif

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

template <PixelKind K, WordOrder O>
void fetch(uint32_t* __restrict out, const uint8_t* __restrict row, size_t first, size_t count, const RowParams& params) {
  const RowParams& p = params;
  for (size_t i = 0; i < count; ++i) out[i] = Source<K, O>::load(row, first + i, p);
}

// Four 24-bit pixels a step as one 16-byte shuffle of the compiler's vector extension (the
// vectoriser's own code for 3-byte pixels is several times slower). The loop stops before a 16-byte
// load would pass the row's last pixel; the rest go one by one.
using Bytes16 = uint8_t __attribute__((vector_size(16)));
using Words4 = uint32_t __attribute__((vector_size(16)));

CG_ROW_LOOP void fetchRgb24(uint32_t* __restrict out, const uint8_t* __restrict row, size_t first, size_t count,
                            const RowParams& params) {
  const uint8_t* __restrict src = row + 3 * first;
  const Bytes16 opaque = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  size_t i = 0;
  for (; 3 * i + 16 <= 3 * count; i += 4) {
    Bytes16 pixels;
    std::memcpy(&pixels, src + 3 * i, 16);
    pixels = __builtin_shufflevector(pixels, opaque, 0, 1, 2, 19, 3, 4, 5, 23, 6, 7, 8, 27, 9, 10, 11, 31);
    std::memcpy(out + i, &pixels, 16);
  }
  for (; i < count; ++i) out[i] = Source<PixelKind::Rgb24, WordOrder::RGBA>::load(src, i, params);
}

CG_ROW_LOOP void fetchIndex8(uint32_t* __restrict out, const uint8_t* __restrict row, size_t first, size_t count,
                             const RowParams& params) {
  const uint32_t* __restrict palette = params.palette;
  const uint8_t* __restrict src = row + first;
  for (size_t i = 0; i < count; ++i) out[i] = palette[src[i]];
}

void fetchSolid(uint32_t* __restrict out, const uint8_t*, size_t, size_t count, const RowParams& p) {
  const uint32_t colour = p.solid;
  for (size_t i = 0; i < count; ++i) out[i] = colour;
}

// Masked colours become transparent, which Op::Keyed skips.
CG_ROW_LOOP void applyMask(uint32_t* __restrict pixels, size_t count, const ColorMask& m) {
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

// Combines count pixels already in the destination's byte order, read as little-endian words from
// `in`, into the destination. The combination is the same for every byte, so one loop serves every
// byte order. Masked: pixels whose colour lies in the masking ranges leave the destination as it was.
template <Op Operation, bool Masked = false>
inline void combineRow(uint8_t* __restrict dst, const uint8_t* __restrict in, size_t count, const Combine& how) {
  // Loop invariants in locals, so that the vectoriser sees them as such.
  const unsigned alphaShift = how.alphaShift, rs = how.shifts[0], gs = how.shifts[1], bs = how.shifts[2];
  const uint32_t fill = how.fill;
  const uint32_t rl = how.low[0], gl = how.low[1], bl = how.low[2];
  const uint32_t rh = how.high[0], gh = how.high[1], bh = how.high[2];
  for (size_t i = 0; i < count; ++i) {
    const uint32_t c = load32(in + 4 * i) | fill, a = (c >> alphaShift) & 0xFF;
    const uint32_t d = load32(dst + 4 * i);
    uint32_t out;
    if constexpr (Masked) {
      const uint32_t r = (c >> rs) & 0xFF, g = (c >> gs) & 0xFF, b = (c >> bs) & 0xFF;
      const bool hit = (r >= rl) & (r <= rh) & (g >= gl) & (g <= gh) & (b >= bl) & (b <= bh);
      out = hit ? d : c;
    } else if constexpr (Operation == Op::Copy) {
      out = c;
    } else if constexpr (Operation == Op::Keyed) {
      out = a ? c : d;
    } else if constexpr (Operation == Op::Blend) {
      // The alpha byte blends as a source of 255: a + d * (255 - a) / 255.
      out = blendStraight(c | 0xFFu << alphaShift, d, a);
    } else {
      out = blendPremultiplied(c, d, a);
    }
    store32(dst + 4 * i, out);
  }
}

// The vectors of a step of Bytes bytes (g++ 12 takes no template argument as a vector's size).
template <size_t Bytes>
struct Lanes;
template <>
struct Lanes<32> {
  using Words = uint32_t __attribute__((vector_size(32)));
  using Halves = uint16_t __attribute__((vector_size(32)));
};
template <>
struct Lanes<64> {
  using Words = uint32_t __attribute__((vector_size(64)));
  using Halves = uint16_t __attribute__((vector_size(64)));
};

// Straight source over destination, Bytes / 4 pixels a step, by blendStraight's formula with the two
// bytes of each pair in 16-bit lanes: a byte times an alpha fits one, and the vector unit's 16-bit
// multiplies cost half its 32-bit ones, on which the loop was bound (1024 x 1024 in the cache: 0.51 of
// memcpy in 32-bit lanes, 0.62 in 16-bit lanes; with SSE2 only, 0.18 and 0.31). Returns the pixels done.
template <size_t Bytes>
[[gnu::always_inline]] inline size_t blendStraightSteps(uint8_t* __restrict dst, const uint8_t* __restrict in,
                                                        size_t count, const Combine& how) {
  using Words = typename Lanes<Bytes>::Words;
  using Halves = typename Lanes<Bytes>::Halves;
  const unsigned alphaShift = how.alphaShift;
  const uint32_t fill = how.fill, opaque = 0xFFu << alphaShift;
  size_t i = 0;
  for (; i + Bytes / 4 <= count; i += Bytes / 4) {
    Words c, d;
    std::memcpy(&c, in + 4 * i, Bytes);
    std::memcpy(&d, dst + 4 * i, Bytes);
    c |= fill;
    const Words a = (c >> alphaShift) & 0xFF;
    const Halves a2 = (Halves)(a | a << 16), ia2 = 255 - a2;
    c |= opaque;
    const Halves rb = (Halves)(c & 0x00FF00FF) * a2 + (Halves)(d & 0x00FF00FF) * ia2 + 127;
    const Halves ga = (Halves)((c >> 8) & 0x00FF00FF) * a2 + (Halves)((d >> 8) & 0x00FF00FF) * ia2 + 127;
    // div255 written out: a function taking or returning these vectors changes the ABI without AVX.
    const Halves out = (rb + 1 + (rb >> 8)) >> 8 | ((ga + 1 + (ga >> 8)) >> 8) << 8;
    std::memcpy(dst + 4 * i, &out, Bytes);
  }
  return i;
}

// Nothing of the destination survives: do not read it.
void replaceRow(uint8_t* __restrict dst, const uint8_t* __restrict in, size_t count) { std::memcpy(dst, in, 4 * count); }
CG_ROW_LOOP void keyedRow(uint8_t* __restrict dst, const uint8_t* __restrict in, size_t count, const Combine& how) {
  combineRow<Op::Keyed>(dst, in, count, how);
}
CG_ROW_LOOP void maskedRow(uint8_t* __restrict dst, const uint8_t* __restrict in, size_t count, const Combine& how) {
  combineRow<Op::Keyed, true>(dst, in, count, how);
}
CG_ROW_LOOP void blendRow(uint8_t* __restrict dst, const uint8_t* __restrict in, size_t count, const Combine& how) {
  const size_t done = blendStraightSteps<32>(dst, in, count, how);
  combineRow<Op::Blend>(dst + 4 * done, in + 4 * done, count - done, how);
}
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CG_WIDE_BLEND 1
// With AVX-512 a step is a whole line of sixteen pixels: 0.62 -> 0.83-0.86 in the cache, 0.62 -> 0.69
// into 4096 x 4096. Vectors of 64 bytes built for narrower units go through memory (0.09), so this
// loop is kept apart and chosen by prepareRow where the processor has AVX-512.
__attribute__((target("avx512f,avx512bw"))) void blendWideRow(uint8_t* __restrict dst, const uint8_t* __restrict in,
                                                              size_t count, const Combine& how) {
  const size_t done = blendStraightSteps<64>(dst, in, count, how);
  combineRow<Op::Blend>(dst + 4 * done, in + 4 * done, count - done, how);
}
#endif
CG_ROW_LOOP void blendPremultipliedRow(uint8_t* __restrict dst, const uint8_t* __restrict in, size_t count,
                                       const Combine& how) {
  combineRow<Op::BlendPremultiplied>(dst, in, count, how);
}

// Working pixels into destination pixels in byte order O: placed in that order in the chunk, then
// combined by the operation's loop.
template <WordOrder O, Op Operation>
void storeWord(uint8_t* __restrict dst, uint32_t* __restrict in, size_t count, const RowParams&) {
  if constexpr (O != WordOrder::RGBA)
    for (size_t i = 0; i < count; ++i) in[i] = place<O>(in[i]);
  Combine how;
  how.alphaShift = shiftsOf(O).alpha;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(in);
  if constexpr (Operation == Op::Copy) {
    replaceRow(dst, bytes, count);
  } else if constexpr (Operation == Op::Keyed) {
    keyedRow(dst, bytes, count, how);
  } else if constexpr (Operation == Op::Blend) {
    blendRow(dst, bytes, count, how);
  } else {
    blendPremultipliedRow(dst, bytes, count, how);
  }
}

template <Op Operation>
void storeGrey(uint8_t* __restrict dst, uint32_t* __restrict in, size_t count, const RowParams&) {
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

void pipelineRow(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams& p) {
  uint32_t chunk[kChunk];
  for (size_t first = 0; first < count; first += kChunk) {
    const size_t n = count - first < kChunk ? count - first : kChunk;
    p.fetch(chunk, src, first, n, p);
    if (p.masked) applyMask(chunk, n, p.mask);
    p.store(dst + first * p.destBytes, chunk, n, p);
  }
}

// Picks working pixels from a converted source row through the column map.
CG_ROW_LOOP void pick(uint32_t* __restrict out, const uint32_t* __restrict row, const uint32_t* __restrict columns,
                      size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = row[columns[i]];
}

// Halving picks every other pixel: a strided load the vectoriser turns into shuffles, not a gather.
CG_ROW_LOOP void pickEveryOther(uint32_t* __restrict out, const uint32_t* __restrict row, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = row[2 * i];
}

// Working pixels are in the byte order RGBA: copied into such a destination, they are picked
// straight into it.
CG_ROW_LOOP void pickInto(uint8_t* __restrict dst, const uint32_t* __restrict row, const uint32_t* __restrict columns,
                          size_t count) {
  for (size_t i = 0; i < count; ++i) store32(dst + 4 * i, row[columns[i]]);
}

void scaledRow(uint8_t* dst, const uint8_t* src, const uint32_t* columns, size_t count, const RowParams& p) {
  const uint32_t* row = reinterpret_cast<const uint32_t*>(src);
  if (p.pickInto) return pickInto(dst, row, columns, count);
  uint32_t chunk[kChunk];
  for (size_t first = 0; first < count; first += kChunk) {
    const size_t n = count - first < kChunk ? count - first : kChunk;
    if (p.everyOther)
      pickEveryOther(chunk, row + 2 * first, n);
    else
      pick(chunk, row, columns + first, n);
    p.store(dst + first * p.destBytes, chunk, n, p);
  }
}

// Stores 16 bytes at a 16-byte-aligned address around the cache where the target has a streaming
// store, with a plain store elsewhere.
[[gnu::always_inline]] inline void streamStore16(uint8_t* dst, Bytes16 bytes) {
#if defined(__SSE2__)
  _mm_stream_si128(reinterpret_cast<__m128i*>(dst), reinterpret_cast<__m128i>(bytes));
#else
  std::memcpy(dst, &bytes, 16);
#endif
}

// Writes pixels [0, count) of a row of 4-byte pixels: one(i) stores pixel i, four(i) gives the 16
// bytes of pixels i to i + 3 (asked for while i + 4 <= steps). Streaming, the row's whole 64-byte
// lines go out with streaming stores: a destination larger than the cache is then not read before it
// is overwritten, and a line only partly streamed would be. Pixels before the first line and after
// the last go one by one.
template <bool Stream, class One, class Four>
[[gnu::always_inline]] inline void writeRow(uint8_t* __restrict dst, size_t count, size_t steps, One one, Four four) {
  size_t i = 0;
  if constexpr (Stream) {
    if ((reinterpret_cast<uintptr_t>(dst) & 3) == 0) {
      for (; i < count && (reinterpret_cast<uintptr_t>(dst + 4 * i) & 63); ++i) one(i);
      for (; i + 16 <= steps; i += 16)
        for (size_t k = 0; k < 16; k += 4) streamStore16(dst + 4 * (i + k), four(i + k));
    }
  }
  for (; i + 4 <= steps; i += 4) {
    const Bytes16 out = four(i);
    std::memcpy(dst + 4 * i, &out, 16);
  }
  for (; i < count; ++i) one(i);
}

// Same byte order, an opaque source: the colour bytes go straight across, the fourth byte opaque.
CG_ROW_LOOP void copyWords(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count, uint32_t set) {
  for (size_t i = 0; i < count; ++i) store32(dst + 4 * i, load32(src + 4 * i) | set);
}

CG_ROW_LOOP void streamWords(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count, uint32_t set) {
  const Bytes16 fill = (Bytes16)(Words4){set, set, set, set};
  writeRow<true>(
      dst, count, count, [&](size_t i) { store32(dst + 4 * i, load32(src + 4 * i) | set); },
      [&](size_t i) {
        Bytes16 words;
        std::memcpy(&words, src + 4 * i, 16);
        return words | fill;
      });
}

void copyWordsRow(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams& p) {
  p.stream ? streamWords(dst, src, count, p.set) : copyWords(dst, src, count, p.set);
}

// Same byte order, scaled: the sampled words straight from the source row, the fourth byte opaque.
CG_ROW_LOOP void pickWords(uint8_t* __restrict dst, const uint8_t* __restrict src, const uint32_t* __restrict columns,
                           size_t count, uint32_t set) {
  for (size_t i = 0; i < count; ++i) store32(dst + 4 * i, load32(src + 4 * size_t{columns[i]}) | set);
}
CG_ROW_LOOP void pickEveryOtherWord(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count,
                                    uint32_t set) {
  for (size_t i = 0; i < count; ++i) store32(dst + 4 * i, load32(src + 8 * i) | set);
}

void scaledWordsRow(uint8_t* dst, const uint8_t* src, const uint32_t* columns, size_t count, const RowParams& p) {
  if (p.everyOther)
    pickEveryOtherWord(dst, src, count, p.set);
  else
    pickWords(dst, src, columns, count, p.set);
}

// 24-bit sources into 32-bit destinations of byte order O, unscaled (Step 3) or halved (Step 6,
// every other pixel): four pixels a step by one byte shuffle straight into the destination row, the
// fourth byte opaque, with no pass through working pixels. Destination byte k of a step, as an index
// into the 32 bytes from the step's first source pixel (two 16-byte loads, 8 bytes apart).
template <WordOrder O, unsigned Step>
constexpr int rgb24Byte(int k) {
  constexpr WordShifts s = shiftsOf(O);
  const unsigned shift = 8 * unsigned(k % 4);
  const int offset = shift == s.red ? 0 : shift == s.green ? 1 : shift == s.blue ? 2 : 0;  // alpha: or'd in
  const int at = int(Step) * (k / 4) + offset;
  return at < 16 ? at : at - 8 + 16;
}

template <WordOrder O, unsigned Step>
[[gnu::always_inline]] inline Bytes16 widenStep(const uint8_t* src) {
  constexpr WordShifts s = shiftsOf(O);
  constexpr uint32_t alpha = 0xFFu << s.alpha;
  const Bytes16 opaque = (Bytes16)(Words4){alpha, alpha, alpha, alpha};
  Bytes16 a, b;
  std::memcpy(&a, src, 16);
  std::memcpy(&b, src + 8, 16);
#define CG_B(k) rgb24Byte<O, Step>(k)
  const Bytes16 pixels = __builtin_shufflevector(a, b, CG_B(0), CG_B(1), CG_B(2), CG_B(3), CG_B(4), CG_B(5), CG_B(6),
                                                 CG_B(7), CG_B(8), CG_B(9), CG_B(10), CG_B(11), CG_B(12), CG_B(13),
                                                 CG_B(14), CG_B(15));
#undef CG_B
  return pixels | opaque;
}

template <WordOrder O, unsigned Step, bool Stream = false>
[[gnu::always_inline]] inline void widenRgb24(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count) {
  constexpr WordShifts s = shiftsOf(O);
  constexpr uint32_t alpha = 0xFFu << s.alpha;
  // Steps of four while their loads (24 bytes from the step's first pixel) stay within the pixels
  // the row reads: 3 * count bytes unscaled, 6 * count - 3 halved.
  const size_t readable = Step * count - (Step - 3);
  const size_t steps = readable < 24 ? 0 : std::min(count, (readable - 24) / Step + 4);
  writeRow<Stream>(
      dst, count, steps,
      [&](size_t i) {
        const uint8_t* px = src + Step * i;
        store32(dst + 4 * i, uint32_t{px[0]} << s.red | uint32_t{px[1]} << s.green | uint32_t{px[2]} << s.blue | alpha);
      },
      [&](size_t i) { return widenStep<O, Step>(src + Step * i); });
}

// Multi-versioned functions cannot be templates: one set per destination byte order.
#define CG_RGB24_ROWS(order)                                                                                          \
  CG_ROW_LOOP void copyRgb24##order(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count) {          \
    widenRgb24<WordOrder::order, 3>(dst, src, count);                                                                 \
  }                                                                                                                   \
  CG_ROW_LOOP void streamRgb24##order(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count) {        \
    widenRgb24<WordOrder::order, 3, true>(dst, src, count);                                                           \
  }                                                                                                                   \
  CG_ROW_LOOP void halveRgb24##order(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count) {         \
    widenRgb24<WordOrder::order, 6>(dst, src, count);                                                                 \
  }                                                                                                                   \
  void copyRgb24##order##Row(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams& p) {  \
    p.stream ? streamRgb24##order(dst, src, count) : copyRgb24##order(dst, src, count);                               \
  }                                                                                                                   \
  void halveRgb24##order##Row(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams&) {   \
    halveRgb24##order(dst, src, count);                                                                               \
  }
CG_RGB24_ROWS(RGBA)
CG_RGB24_ROWS(ARGB)
CG_RGB24_ROWS(BGRA)
CG_RGB24_ROWS(ABGR)
#undef CG_RGB24_ROWS

RowFunction rgb24RowFor(WordOrder order, bool halved) {
  switch (order) {
    case WordOrder::RGBA: return halved ? &halveRgb24RGBARow : &copyRgb24RGBARow;
    case WordOrder::ARGB: return halved ? &halveRgb24ARGBRow : &copyRgb24ARGBRow;
    case WordOrder::BGRA: return halved ? &halveRgb24BGRARow : &copyRgb24BGRARow;
    case WordOrder::ABGR: return halved ? &halveRgb24ABGRRow : &copyRgb24ABGRRow;
  }
  return nullptr;
}

// 8-bit sources, unscaled: each row is one lookup in a table of the 256 destination pixels,
// built once per draw. Copied, every entry is drawn; keyed, entries of alpha 0 (masked indices)
// leave the destination as it was.
CG_ROW_LOOP void lookupRow(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count,
                           const uint32_t* __restrict table) {
  for (size_t i = 0; i < count; ++i) store32(dst + 4 * i, table[src[i]]);
}
CG_ROW_LOOP void lookupKeyedRow(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count,
                                const uint32_t* __restrict table, unsigned alphaShift) {
  for (size_t i = 0; i < count; ++i) {
    const uint32_t c = table[src[i]], d = load32(dst + 4 * i);
    store32(dst + 4 * i, (c >> alphaShift) & 0xFF ? c : d);
  }
}

// A table that is the grey ramp needs no lookup: the value three times and an opaque fourth byte.
CG_ROW_LOOP void greyRampRow(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count, uint32_t alpha) {
  for (size_t i = 0; i < count; ++i) store32(dst + 4 * i, src[i] * 0x01010101u | alpha);
}

CG_ROW_LOOP void streamGreyRampRow(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count,
                                   uint32_t alpha) {
  const Bytes16 fill = (Bytes16)(Words4){alpha, alpha, alpha, alpha};
  writeRow<true>(
      dst, count, count, [&](size_t i) { store32(dst + 4 * i, src[i] * 0x01010101u | alpha); },
      [&](size_t i) {
        Bytes16 values = {};
        std::memcpy(&values, src + i, 4);
        return __builtin_shufflevector(values, values, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3) | fill;
      });
}
CG_ROW_LOOP void streamLookupRow(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t count,
                                 const uint32_t* __restrict table) {
  writeRow<true>(
      dst, count, count, [&](size_t i) { store32(dst + 4 * i, table[src[i]]); },
      [&](size_t i) { return (Bytes16)(Words4){table[src[i]], table[src[i + 1]], table[src[i + 2]], table[src[i + 3]]}; });
}

void greyRampWordsRow(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams& p) {
  p.stream ? streamGreyRampRow(dst, src, count, p.set) : greyRampRow(dst, src, count, p.set);
}
void lookupWordsRow(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams& p) {
  p.stream ? streamLookupRow(dst, src, count, p.table) : lookupRow(dst, src, count, p.table);
}
void lookupKeyedWordsRow(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams& p) {
  lookupKeyedRow(dst, src, count, p.table, p.combine.alphaShift);
}

template <WordOrder O>
void placeTable(uint32_t* __restrict table, const uint32_t* __restrict pixels) {
  for (size_t i = 0; i < 256; ++i) table[i] = place<O>(pixels[i]);
}

// The table of lookupRow for an 8-bit source (its palette, or the grey ramp) in byte order O.
void buildTable(const PixelFormat& source, WordOrder order, RowParams& params) {
  uint32_t pixels[256];
  for (uint32_t i = 0; i < 256; ++i)
    pixels[i] = source.kind == PixelKind::Index8 ? params.palette[i] : i * 0x010101u | kOpaqueAlpha;
  switch (order) {
    case WordOrder::RGBA: placeTable<WordOrder::RGBA>(params.table, pixels); break;
    case WordOrder::ARGB: placeTable<WordOrder::ARGB>(params.table, pixels); break;
    case WordOrder::BGRA: placeTable<WordOrder::BGRA>(params.table, pixels); break;
    case WordOrder::ABGR: placeTable<WordOrder::ABGR>(params.table, pixels); break;
  }
}

// Same byte order, operations other than a plain copy: the source words are combined in place,
// without a pass through working pixels.
void maskedWordsRow(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams& p) {
  maskedRow(dst, src, count, p.combine);
}
void blendWordsRow(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams& p) {
  blendRow(dst, src, count, p.combine);
}
#if defined(CG_WIDE_BLEND)
void blendWideWordsRow(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams& p) {
  blendWideRow(dst, src, count, p.combine);
}
#endif
void blendPremultipliedWordsRow(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams& p) {
  blendPremultipliedRow(dst, src, count, p.combine);
}

void copyGreyRow(uint8_t* dst, const uint8_t* src, const uint32_t*, size_t count, const RowParams&) {
  std::memcpy(dst, src, count);
}

// ---- Choosing the passes.

FetchFunction fetchFor(const PixelFormat& source) {
  switch (source.kind) {
    case PixelKind::Word32:
      switch (source.order) {
        case WordOrder::RGBA: return &fetch<PixelKind::Word32, WordOrder::RGBA>;
        case WordOrder::ARGB: return &fetch<PixelKind::Word32, WordOrder::ARGB>;
        case WordOrder::BGRA: return &fetch<PixelKind::Word32, WordOrder::BGRA>;
        case WordOrder::ABGR: return &fetch<PixelKind::Word32, WordOrder::ABGR>;
      }
      break;
    case PixelKind::Rgb24: return &fetchRgb24;
    case PixelKind::Grey8: return &fetch<PixelKind::Grey8, WordOrder::RGBA>;
    case PixelKind::Index8: return &fetchIndex8;
    case PixelKind::Rgb555: return &fetch<PixelKind::Rgb555, WordOrder::RGBA>;
    case PixelKind::Solid: return &fetchSolid;
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

}  // namespace

RowFunction prepareRow(const PixelFormat& source, const PixelFormat& dest, Op op, bool scaled, RowParams& params) {
  params.destBytes = dest.bytesPerPixel;
  params.sourceBytes = source.bytesPerPixel;
  params.alphaFill = source.alpha == AlphaKind::Opaque ? kOpaqueAlpha : 0;
  params.masked = op == Op::Keyed && source.kind != PixelKind::Index8;
  if (op == Op::Copy && !scaled && source.kind == PixelKind::Grey8 && dest.kind == PixelKind::Grey8) return &copyGreyRow;
  if (op == Op::Copy && source.kind == PixelKind::Word32 && dest.kind == PixelKind::Word32 &&
      source.order == dest.order) {
    params.set = 0xFFu << shiftsOf(dest.order).alpha;
    return scaled ? &scaledWordsRow : &copyWordsRow;
  }
  if (op == Op::Copy && source.kind == PixelKind::Rgb24 && dest.kind == PixelKind::Word32 &&
      (!scaled || params.everyOther))
    return rgb24RowFor(dest.order, scaled);
  const bool eightBit = source.kind == PixelKind::Index8 || source.kind == PixelKind::Grey8;
  if (!scaled && eightBit && dest.kind == PixelKind::Word32 && (op == Op::Copy || op == Op::Keyed) &&
      (source.kind == PixelKind::Grey8 ? op == Op::Copy : params.palette != nullptr)) {
    buildTable(source, dest.order, params);
    params.combine.alphaShift = shiftsOf(dest.order).alpha;
    if (op != Op::Copy) return &lookupKeyedWordsRow;
    params.set = 0xFFu << params.combine.alphaShift;
    bool greyRamp = true;
    for (uint32_t i = 0; i < 256; ++i) greyRamp &= params.table[i] == (i * 0x01010101u | params.set);
    return greyRamp ? &greyRampWordsRow : &lookupWordsRow;
  }
  if (!scaled && source.kind == PixelKind::Word32 && dest.kind == PixelKind::Word32 && source.order == dest.order) {
    const WordShifts shifts = shiftsOf(dest.order);
    Combine& how = params.combine;
    how.alphaShift = shifts.alpha;
    how.fill = source.alpha == AlphaKind::Opaque ? 0xFFu << shifts.alpha : 0;
    switch (op) {
      case Op::Copy: break;
      case Op::Keyed:
        how.shifts[0] = shifts.red, how.shifts[1] = shifts.green, how.shifts[2] = shifts.blue;
        for (int j = 0; j < 3; ++j) how.low[j] = params.mask.low[j], how.high[j] = params.mask.high[j];
        return &maskedWordsRow;
      case Op::Blend:
#if defined(CG_WIDE_BLEND)
        if (__builtin_cpu_supports("avx512bw")) return &blendWideWordsRow;
#endif
        return &blendWordsRow;
      case Op::BlendPremultiplied: return &blendPremultipliedWordsRow;
    }
  }
  params.fetch = source.kind == PixelKind::Solid && scaled ? nullptr : fetchFor(source);
  params.store = storeFor(dest, op);
  params.pickInto = op == Op::Copy && dest.kind == PixelKind::Word32 && dest.order == WordOrder::RGBA && !params.everyOther;
  if (!params.fetch || !params.store) return nullptr;
  return scaled ? &scaledRow : &pipelineRow;
}

void convertRow(uint32_t* out, const uint8_t* row, size_t count, const RowParams& params, const uint8_t* next) {
  const size_t bytesPerPixel = params.sourceBytes;
  for (size_t first = 0; first < count; first += kChunk) {
    const size_t n = count - first < kChunk ? count - first : kChunk;
    // Rows sampled apart break the hardware's streams: the next one is asked for a row ahead.
    if (next && next != row)
      for (size_t b = first * bytesPerPixel; b < (first + n) * bytesPerPixel; b += 64) __builtin_prefetch(next + b);
    params.fetch(out + first, row, first, n, params);
    if (params.masked) applyMask(out + first, n, params.mask);
  }
}

void copyDestinationRow(uint8_t* dst, const uint8_t* src, size_t count, const PixelFormat& dest) {
  std::memcpy(dst, src, count * dest.bytesPerPixel);
}

void streamingDone() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

}  // namespace cg
