// The bitmap context object and its graphics state.
#pragma once

#include <CoreGraphics/CGContext.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "ColorSpace.h"
#include "PixelFormat.h"
#include "RefCounted.h"

namespace cg {
struct GState {
  CGAffineTransform ctm = CGAffineTransformIdentity;
  CGFloat fill[4] = {0, 0, 0, 1};  // red, green, blue, alpha
  CGInterpolationQuality interpolation = kCGInterpolationDefault;
};

// The pixel block of a large context's last released snapshot, kept for its next snapshot: a
// context drawn again and again (a canvas on every repaint) then copies into memory already
// touched, where fresh pages cost more than the copy. Shared by the context and its live
// snapshots, so that whichever goes last frees the block.
struct SnapshotBlocks : RefCounted {
  std::mutex lock;
  void* spare = nullptr;
  size_t spareSize = 0;

  ~SnapshotBlocks() { std::free(spare); }
  // The spare block when it has this size, else null.
  void* take(size_t size) {
    std::lock_guard<std::mutex> hold(lock);
    if (!spare || spareSize != size) return nullptr;
    void* block = spare;
    spare = nullptr;
    return block;
  }
  // Keeps the block as the spare, freeing the one it replaces.
  void give(void* block, size_t size) {
    std::lock_guard<std::mutex> hold(lock);
    std::free(spare);
    spare = block;
    spareSize = size;
  }
};
}  // namespace cg

struct CGContext : cg::RefCounted {
  uint8_t* data = nullptr;  // row 0 is the top row of the device
  bool ownsData = false;
  size_t width = 0;
  size_t height = 0;
  size_t bytesPerRow = 0;
  size_t bitsPerComponent = 0;
  size_t bitsPerPixel = 0;
  CGBitmapInfo bitmapInfo = 0;
  CGColorSpace* space = nullptr;  // retained
  cg::PixelFormat format{};

  cg::GState state;
  cg::GState* saved = nullptr;  // malloc'd stack of saved states
  size_t savedCount = 0;
  size_t savedCapacity = 0;
  size_t lostSaves = 0;  // saves on top of the stack that found no memory
  cg::SnapshotBlocks* snapshots = nullptr;  // for large contexts

  ~CGContext() {
    std::free(saved);
    if (ownsData) std::free(data);
    cg::release(space);
    cg::release(snapshots);
  }
};
