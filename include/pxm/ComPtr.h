// A host's holder of one interface reference: released when the holder goes, handed to calls
// that return a reference through Out(), and asked for another interface of the same object.
#pragma once
#include <utility>

#include "pxm/Unknown.h"

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* owned) : m_Ptr(owned) {}
  ComPtr(const ComPtr& other) : m_Ptr(other.m_Ptr) {
    if (m_Ptr) m_Ptr->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : m_Ptr(std::exchange(other.m_Ptr, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(m_Ptr, other.m_Ptr);
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() {
    if (T* old = std::exchange(m_Ptr, nullptr)) old->Release();
  }
  void** Out() {
    Reset();
    return reinterpret_cast<void**>(&m_Ptr);
  }
  T* Detach() { return std::exchange(m_Ptr, nullptr); }
  T* Get() const { return m_Ptr; }
  T* operator->() const { return m_Ptr; }
  explicit operator bool() const { return m_Ptr != nullptr; }

  // Another interface of the same object, or an empty holder.
  template <class U>
  ComPtr<U> As(const IID& iid) const {
    ComPtr<U> other;
    if (m_Ptr) m_Ptr->QueryInterface(iid, other.Out());
    return other;
  }

 private:
  T* m_Ptr = nullptr;
};
