#include "Transform.h"

#include <cstdlib>

#include "ChannelSwap.h"
#include "pxm/ImageInterfaces.h"

namespace host {

std::atomic<uint64_t>& TransformApplyCounter() {
  static std::atomic<uint64_t> counter{0};
  return counter;
}

std::span<const InterfaceEntry<Transform>> Transform::Interfaces() {
  static constexpr InterfaceEntry<Transform> kMap[] = {
      {&pxm::iid::IUnknown, AnswerAs<Transform, IPXMTransform>},
      {&pxm::iid::IPXMTransform, AnswerAs<Transform, IPXMTransform>},
  };
  return kMap;
}

namespace {

using RowSwap = void (*)(uint8_t* row, uint32_t width);

struct Plane {
  uint8_t* data = nullptr;  // row 0; null for an empty plane
  int32_t stride = 0;
};

// Asks for one plane and checks that its rows fit in the bytes that it reports.
HRESULT GetPlane(IPXMImage* image, uint32_t index, uint32_t width, uint32_t height, uint32_t bytesPerPixel,
                 Plane* plane) {
  uint32_t size = 0;
  const HRESULT hr = image->GetImage(index, &size, &plane->data, &plane->stride);
  if (hr < 0) return hr;
  if (plane->data == nullptr || width == 0 || height == 0) {
    plane->data = nullptr;
    return PXM_S_OK;
  }
  const uint64_t rowBytes = uint64_t{width} * bytesPerPixel;
  const uint64_t step = static_cast<uint64_t>(std::llabs(plane->stride));
  if (step < rowBytes || uint64_t{height - 1} * step + rowBytes > size) return PXM_E_INVALIDARG;
  return PXM_S_OK;
}

}  // namespace

HRESULT Transform::Apply(IPXMImage* image) {
  TransformApplyCounter().fetch_add(1, std::memory_order_relaxed);
  if (image == nullptr) return PXM_E_POINTER;
  uint32_t bitsPerPixel = 0, fourcc = 0, bytesPerPixel = 0;
  HRESULT hr = image->GetPixelDescriptor(&bitsPerPixel, &fourcc, &bytesPerPixel);
  if (hr < 0) return hr;
  // Chosen once per call: the row loop for the pixel size, or nothing to do.
  const RowSwap swap = bitsPerPixel == 24 ? SwapRedBlue24 : bitsPerPixel == 32 ? SwapRedBlue32 : nullptr;
  if (swap == nullptr || fourcc == FOURCC_MONO) return PXM_S_OK;
  uint32_t width = 0, height = 0, planes = 0;
  hr = image->GetSize(&width, &height, &planes);
  if (hr < 0) return hr;
  const uint32_t planeCount = planes > 1 ? planes : 1;
  // Every plane is checked before any is changed, so a refused image stays as it was.
  for (uint32_t index = 0; index < planeCount; ++index) {
    Plane plane;
    hr = GetPlane(image, index, width, height, bitsPerPixel / 8, &plane);
    if (hr < 0) return hr;
  }
  for (uint32_t index = 0; index < planeCount; ++index) {
    Plane plane;
    GetPlane(image, index, width, height, bitsPerPixel / 8, &plane);
    // Rows in ascending memory order, whichever way the image numbers them: walking memory
    // backwards runs at half the speed.
    for (uint32_t i = 0; plane.data != nullptr && i < height; ++i) {
      const uint32_t y = plane.stride < 0 ? height - 1 - i : i;
      swap(plane.data + int64_t{y} * plane.stride, width);
    }
  }
  return PXM_S_OK;
}

}  // namespace host
