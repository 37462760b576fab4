// The tool's holder of one interface reference.
#pragma once
#include <utility>

#include "pxm/PXM.h"

template <class T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ComRef(ComRef&& other) noexcept : m_Ptr(std::exchange(other.m_Ptr, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    std::swap(m_Ptr, other.m_Ptr);
    return *this;
  }
  ~ComRef() { Reset(); }

  void Reset() {
    if (T* old = std::exchange(m_Ptr, nullptr)) old->Release();
  }
  void** Out() {
    Reset();
    return reinterpret_cast<void**>(&m_Ptr);
  }
  T* Get() const { return m_Ptr; }
  T* operator->() const { return m_Ptr; }
  explicit operator bool() const { return m_Ptr != nullptr; }

  template <class U>
  ComRef<U> As(const IID& iid) const {
    ComRef<U> other;
    if (m_Ptr) m_Ptr->QueryInterface(iid, other.Out());
    return other;
  }

 private:
  T* m_Ptr = nullptr;
};
