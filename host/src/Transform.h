// The "PXMTransform" component: turns the blue-green-red pixels of a bitmap into the
// red-green-blue order that drawing reads, and back, in place.
#pragma once
#include <atomic>
#include <span>

#include "Object.h"
#include "pxm/HostInterfaces.h"

namespace host {

// Apply calls made in this process, for tests.
std::atomic<uint64_t>& TransformApplyCounter();

class Transform final : public Object<Transform, IPXMTransform> {
 public:
  static std::span<const InterfaceEntry<Transform>> Interfaces();

  // Swaps the first and third byte of every pixel of a colour image of 24 or 32 bits per
  // pixel; every other image is left as it is. Applying twice restores the image.
  HRESULT Apply(IPXMImage* image) override;
};

}  // namespace host
