// Reference counting shared by every Core Graphics object.
#pragma once

#include <atomic>
#include <cstdint>

namespace cg {

struct RefCounted {
  std::atomic<uint32_t> references{1};
};

template <class T>
T* retain(T* object) noexcept {
  if (object) object->references.fetch_add(1, std::memory_order_relaxed);
  return object;
}

// acq_rel: the last owner must see every write the other owners made before deleting.
template <class T>
void release(T* object) noexcept {
  if (object && object->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete object;
}

}  // namespace cg
