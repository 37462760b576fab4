// The object model shared by every host class: an atomic reference count, a table-driven
// QueryInterface and a process-wide count of live objects.
#pragma once
#include <atomic>
#include <cstdint>
#include <new>
#include <span>

#include "pxm/Unknown.h"

namespace host {

// Objects of this module alive right now; tests check that it returns to zero.
std::atomic<int64_t>& LiveObjectCounter();

// One row of an interface map: the identifier and how the object answers it. The handler
// stores an interface pointer holding a new reference, or returns a failure.
template <class Self>
struct InterfaceEntry {
  const IID* iid;
  HRESULT (*answer)(Self* self, void** out);
};

// The usual answer: the object itself, seen as interface I.
template <class Self, class I>
HRESULT AnswerAs(Self* self, void** out) {
  I* face = static_cast<I*>(self);
  face->AddRef();
  *out = face;
  return PXM_S_OK;
}

// Walks the map in order; the first match answers. Null is stored on refusal.
template <class Self>
HRESULT QueryMap(Self* self, std::span<const InterfaceEntry<Self>> map, const IID& iid, void** out) {
  if (out == nullptr) return PXM_E_POINTER;
  *out = nullptr;
  for (const InterfaceEntry<Self>& entry : map) {
    if (*entry.iid == iid) return entry.answer(self, out);
  }
  return PXM_E_NOINTERFACE;
}

// Base of every host class. Self names its map with a static Interfaces() and is final, so
// the last Release deletes it through its own type.
template <class Self, class... Bases>
class Object : public Bases... {
 public:
  HRESULT QueryInterface(const IID& iid, void** out) override {
    return QueryMap<Self>(static_cast<Self*>(this), Self::Interfaces(), iid, out);
  }
  uint32_t AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  uint32_t Release() override {
    const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete static_cast<Self*>(this);
    return left;
  }

  // AddRef, unless the object is already on its way out (count 0): for process-wide holders
  // that hand out an object which may be dying on another thread.
  bool AddRefIfAlive() {
    uint32_t count = refs_.load(std::memory_order_relaxed);
    while (count != 0) {
      if (refs_.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel)) return true;
    }
    return false;
  }

  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

 protected:
  Object() { LiveObjectCounter().fetch_add(1, std::memory_order_relaxed); }
  ~Object() { LiveObjectCounter().fetch_sub(1, std::memory_order_relaxed); }

 private:
  std::atomic<uint32_t> refs_{1};
};

// Hands a new object (count 1, or null when it could not be made) to a caller: asks it for
// the interface, then drops the creation reference. Null is stored on refusal.
inline HRESULT HandOut(IUnknown* object, const IID* iid, void** out) {
  if (out == nullptr) {
    if (object != nullptr) object->Release();
    return PXM_E_POINTER;
  }
  *out = nullptr;
  if (object == nullptr) return PXM_E_OUTOFMEMORY;
  if (iid == nullptr) {
    object->Release();
    return PXM_E_POINTER;
  }
  const HRESULT hr = object->QueryInterface(*iid, out);
  object->Release();
  return hr;
}

// A new object with count 1, or null when memory runs out.
template <class T, class... Args>
T* Make(Args&&... args) {
  return new (std::nothrow) T(static_cast<Args&&>(args)...);
}

}  // namespace host
