// A growable array of plain elements for data that callers size: it never throws, reports
// allocation failure, keeps its old content when a call fails, and holds at most 4 GiB - 1
// bytes, since every size in the host's interfaces is 32-bit.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <type_traits>

#ifdef __linux__
#include <sys/mman.h>
#endif

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
  ~PodVector() { std::free(data_); }

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
    T* grown = static_cast<T*>(data_ != nullptr ? std::realloc(data_, bytes) : AllocateFresh(bytes));
    if (grown == nullptr) return false;
    data_ = grown;
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
      std::free(data_);
      data_ = fresh;
      capacity_ = count;
    } else if (count != 0) {
      std::memmove(data_, items, size_t{count} * sizeof(T));
    }
    size_ = count;
    return true;
  }

 private:
  // A first allocation; a large one starts on a huge page, spans whole ones and is advised to use
  // them before anything touches it. The first touch of fresh memory costs far more than copying
  // into it, a fault per 4 KiB page about as much as one per 2 MiB page, and huge pages cover only
  // whole aligned 2 MiB ranges: the 4 KiB pages of one unaligned end cost as much as the rest.
  static void* AllocateFresh(size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr size_t kHugePage = size_t{2} << 20;
    if (bytes >= 2 * kHugePage) {  // at most 4 GiB, so the rounding cannot overflow
      const size_t length = (bytes + kHugePage - 1) & ~(kHugePage - 1);
      void* block = std::aligned_alloc(kHugePage, length);
      if (block != nullptr) madvise(block, length, MADV_HUGEPAGE);  // advice only
      return block;
    }
#endif
    return std::malloc(bytes);
  }

  T* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ = 0;
};

}  // namespace host
