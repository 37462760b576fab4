// A growable array of plain elements for data that callers size: it never throws, reports
// allocation failure, keeps its old content when a call fails, and holds at most 4 GiB - 1
// bytes, since every size in the host's interfaces is 32-bit.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <type_traits>

#include "LargeBlocks.h"

namespace host {

template <class T>
class PodVector {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  static constexpr uint64_t kMaxBytes = UINT32_MAX;
  static constexpr uint64_t kMaxCount = kMaxBytes / sizeof(T);

  PodVector() = default;
  PodVector(const PodVector&) = delete;
  PodVector& operator=(const PodVector&) = delete;
  ~PodVector() { Free(); }

  T* Data() { return data_; }
  const T* Data() const { return data_; }
  uint32_t Size() const { return size_; }
  T& operator[](uint32_t i) { return data_[i]; }
  const T& operator[](uint32_t i) const { return data_[i]; }

  // Room for count elements in all without reallocating.
  bool Reserve(uint64_t count) {
    if (count <= capacity_) return true;
    if (count > kMaxCount) return false;
    const size_t bytes = static_cast<size_t>(count) * sizeof(T);
    if (data_ == nullptr && bytes >= kLargeBlockMin) {
      // A first large allocation: whole huge pages, perhaps those of a stream released before.
      size_t length = 0;
      data_ = static_cast<T*>(TakeLargeBlock(bytes, &length));
      if (data_ == nullptr) return false;
      large_ = length;
      capacity_ = static_cast<uint32_t>(count);
      return true;
    }
    T* grown = static_cast<T*>(std::realloc(data_, bytes));
    if (grown == nullptr) return false;
    data_ = grown;
    large_ = 0;  // realloc keeps neither the alignment nor the length
    capacity_ = static_cast<uint32_t>(count);
    return true;
  }

  // Appends count elements; items may point into this array.
  bool Append(const T* items, uint32_t count) {
    const uint64_t needed = uint64_t{size_} + count;
    if (needed > kMaxCount) return false;
    if (needed > capacity_) {
      const bool inside = items != nullptr && !std::less<const T*>()(items, data_) &&
                          std::less<const T*>()(items, data_ + capacity_);
      const size_t offset = inside ? static_cast<size_t>(items - data_) : 0;
      uint64_t grown = uint64_t{capacity_} * 2;
      if (grown < needed) grown = needed < 16 ? 16 : needed;
      if (grown > kMaxCount) grown = kMaxCount;  // still room for needed, checked above
      if (!Reserve(grown) && !Reserve(needed)) return false;
      if (inside) items = data_ + offset;
    }
    if (count != 0) std::memmove(data_ + size_, items, size_t{count} * sizeof(T));
    size_ = static_cast<uint32_t>(needed);
    return true;
  }

  bool Append(const T& item) { return Append(&item, 1); }

  // Holds exactly these count elements; the old content stays when this fails.
  bool Assign(const T* items, uint32_t count) {
    if (count > kMaxCount) return false;
    if (count > capacity_) {
      T* fresh = static_cast<T*>(std::malloc(size_t{count} * sizeof(T)));
      if (fresh == nullptr) return false;
      std::memcpy(fresh, items, size_t{count} * sizeof(T));
      Free();
      data_ = fresh;
      capacity_ = count;
    } else if (count != 0) {
      std::memmove(data_, items, size_t{count} * sizeof(T));
    }
    size_ = count;
    return true;
  }

 private:
  void Free() {
    if (large_ != 0) GiveLargeBlock(data_, large_);
    else std::free(data_);
    large_ = 0;
  }

  T* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ = 0;
  size_t large_ = 0;  // the length of a block from TakeLargeBlock, else 0
};

}  // namespace host
