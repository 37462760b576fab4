// Shared by the host tests: a reference holder and a small image that implements IPXMImage
// over its own buffers, with either row direction and padded rows.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "pxm/ImageInterfaces.h"
#include "pxm/Result.h"

// Holds one reference; &ref hands out the slot for an out-pointer.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p) : p_(p) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Reset(); }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** operator&() {
    Reset();
    return &p_;
  }
  void** out() { return reinterpret_cast<void**>(&*this); }

 private:
  T* p_ = nullptr;
};

struct TestImageShape {
  uint32_t width, height, planes, bitsPerPixel, fourcc;
  bool bottomUp;        // negative stride: row 0 is the last row in memory
  uint32_t padding;     // bytes after each row
};

class TestImage final : public IPXMImage {
 public:
  explicit TestImage(const TestImageShape& shape) : shape_(shape) {
    rowBytes_ = shape.width * (shape.bitsPerPixel / 8) + shape.padding;
    const uint32_t planes = shape.planes > 0 ? shape.planes : 1;
    for (uint32_t p = 0; p < planes; ++p) {
      std::vector<uint8_t> plane(size_t{rowBytes_} * shape.height);
      for (size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<uint8_t>(i * 7 + p * 31 + 3);
      planes_.push_back(plane);
    }
  }

  HRESULT QueryInterface(const IID&, void** out) override {
    *out = nullptr;
    return PXM_E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override { return --refs_; }  // lives on the test's stack

  HRESULT GetSize(uint32_t* w, uint32_t* h, uint32_t* planes) override {
    *w = shape_.width;
    *h = shape_.height;
    *planes = shape_.planes;
    return PXM_S_OK;
  }
  HRESULT GetPixelDescriptor(uint32_t* bits, uint32_t* fourcc, uint32_t* bytes) override {
    *bits = shape_.bitsPerPixel;
    *fourcc = shape_.fourcc;
    *bytes = shape_.bitsPerPixel / 8;
    return PXM_S_OK;
  }
  HRESULT GetImage(uint32_t plane, uint32_t* size, uint8_t** data, int32_t* stride) override {
    if (getImageResult < 0) return getImageResult;
    if (plane >= planes_.size()) return PXM_E_INVALIDARG;
    std::vector<uint8_t>& bytes = planes_[plane];
    *size = static_cast<uint32_t>(bytes.size()) - sizeShortfall;
    *data = shape_.bottomUp ? bytes.data() + size_t{rowBytes_} * (shape_.height - 1) : bytes.data();
    *stride = shape_.bottomUp ? -static_cast<int32_t>(rowBytes_) : static_cast<int32_t>(rowBytes_);
    return PXM_S_OK;
  }
  HRESULT Create(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT IsCreatable(uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT Copy(IPXM*, int) override { return PXM_E_NOTIMPL; }
  HRESULT Equal(int) override { return PXM_E_NOTIMPL; }

  // Pixel x of row y (as GetImage numbers rows) of a plane.
  uint8_t* Pixel(uint32_t plane, uint32_t y, uint32_t x) {
    const uint32_t memoryRow = shape_.bottomUp ? shape_.height - 1 - y : y;
    return planes_[plane].data() + size_t{rowBytes_} * memoryRow + size_t{x} * (shape_.bitsPerPixel / 8);
  }
  const std::vector<std::vector<uint8_t>>& Planes() const { return planes_; }
  uint32_t References() const { return refs_; }

  HRESULT getImageResult = PXM_S_OK;  // what GetImage answers when it fails on purpose
  uint32_t sizeShortfall = 0;         // reports a plane this much smaller than it is

 private:
  TestImageShape shape_;
  uint32_t rowBytes_ = 0;
  uint32_t refs_ = 1;
  std::vector<std::vector<uint8_t>> planes_;
};
