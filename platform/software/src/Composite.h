// Row loops that convert, copy and blend source pixels into a destination row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "PixelFormat.h"

namespace cg {

enum class Op : uint8_t {
  Copy,                // replace the destination pixel
  Keyed,               // replace it, except where the masking colours left the source out
  Blend,               // source over destination, straight alpha
  BlendPremultiplied,  // source over destination, premultiplied colours
};

struct RowParams;

// How rows of 32-bit pixels in the destination's byte order combine with it. A skipped byte is
// written as an alpha byte would be (255 where an opaque picture is drawn): no drawn pixel keeps
// anything of the destination that its colour does not need, so a plain draw never reads it.
struct Combine {
  unsigned alphaShift = 24;  // the alpha byte, or the byte an opaque source fills with 255
  uint32_t fill = 0;         // or'd into every source word
  unsigned shifts[3] = {};   // red, green and blue, for masking
  uint32_t low[3] = {}, high[3] = {};  // masking ranges: pixels within all three leave the destination
};

// Source pixels first .. first + count - 1 of a row as working pixels.
using FetchFunction = void (*)(uint32_t* out, const uint8_t* row, size_t first, size_t count, const RowParams& params);
// Working pixels combined into count destination pixels; the store may reuse `in` as scratch.
using StoreFunction = void (*)(uint8_t* dst, uint32_t* in, size_t count, const RowParams& params);

// Everything a row loop needs besides the rows themselves; prepareRow fills it once per call.
struct RowParams {
  FetchFunction fetch = nullptr;
  StoreFunction store = nullptr;
  size_t destBytes = 0;               // per destination pixel
  size_t sourceBytes = 0;             // per source pixel
  uint32_t alphaFill = 0;             // or'd into Word32 source pixels: an opaque alpha when they have none
  const uint32_t* palette = nullptr;  // Index8 sources: 256 working pixels, alpha 0 where masked
  uint32_t solid = 0;                 // Solid sources: the colour as a working pixel
  bool masked = false;                // apply `mask` after fetching (Index8 masks through its palette)
  ColorMask mask{};
  uint32_t set = 0;  // same-layout copies: bits set in every pixel (an opaque alpha byte)
  Combine combine{};  // same-layout rows combined in place
  uint32_t table[256];  // 8-bit sources: the destination pixel of every value
  bool everyOther = false;  // scaled: the column map picks every other pixel (columns[i] == 2 * i)
  bool pickInto = false;    // scaled copies into RGBA words: converted pixels picked straight into the row
  bool stream = false;      // unscaled copies: write whole destination lines with streaming stores
};

// Draws count destination pixels starting at dst. Unscaled: the source pixels are the count pixels
// starting at src. Scaled: columns[i] is the index of pixel i's source in src, a row converted by
// convertRow, or the source row itself (from the leftmost column sampled) when params.fetch is null.
using RowFunction = void (*)(uint8_t* dst, const uint8_t* src, const uint32_t* columns, size_t count,
                             const RowParams& params);

// Completes params and picks the loop for this pair of formats; null if none applies. The caller sets
// params.palette, params.solid and params.mask beforehand.
RowFunction prepareRow(const PixelFormat& source, const PixelFormat& dest, Op op, bool scaled, RowParams& params);

// Scaled drawing converts each source row it samples once, count pixels from row, into working
// pixels (masked ones transparent) that the row function then picks from. next: the row to be
// converted after this one, fetched into the cache meanwhile; null when there is none.
void convertRow(uint32_t* out, const uint8_t* row, size_t count, const RowParams& params, const uint8_t* next);

// Copies count pixels between destination rows of the same context.
void copyDestinationRow(uint8_t* dst, const uint8_t* src, size_t count, const PixelFormat& dest);

// Orders the streaming stores of rows drawn with params.stream before whatever follows.
void streamingDone();

}  // namespace cg
