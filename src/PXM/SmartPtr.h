// One owned interface reference, or null; released when the holder goes.
#pragma once
#include <utility>

#include "pxm/Unknown.h"

template <class T>
class SmartPtr {
 public:
  constexpr SmartPtr() noexcept = default;
  // Takes over a reference the caller already owns.
  explicit SmartPtr(T* owned) noexcept : m_Ptr(owned) {}
  SmartPtr(const SmartPtr& other) noexcept : m_Ptr(other.m_Ptr) {
    if (m_Ptr) m_Ptr->AddRef();
  }
  SmartPtr(SmartPtr&& other) noexcept : m_Ptr(std::exchange(other.m_Ptr, nullptr)) {}
  SmartPtr& operator=(SmartPtr other) noexcept {
    std::swap(m_Ptr, other.m_Ptr);
    return *this;
  }
  ~SmartPtr() { Reset(); }

  // Takes the pointer out, leaves null, then releases it.
  void Reset() noexcept {
    if (T* old = std::exchange(m_Ptr, nullptr)) old->Release();
  }
  // Releases what is held and hands out the slot for an out-parameter.
  T** Receive() noexcept {
    Reset();
    return &m_Ptr;
  }
  void** ReceiveVoid() noexcept { return reinterpret_cast<void**>(Receive()); }
  T* Detach() noexcept { return std::exchange(m_Ptr, nullptr); }

  T* Get() const noexcept { return m_Ptr; }
  T* operator->() const noexcept { return m_Ptr; }
  explicit operator bool() const noexcept { return m_Ptr != nullptr; }

  // Whether both denote the same object: compared by their IUnknown identity.
  bool operator==(IUnknown* other) const noexcept { return SameObject(m_Ptr, other); }

 private:
  static bool SameObject(IUnknown* a, IUnknown* b) noexcept {
    if (!a || !b) return a == b;
    void* ia = nullptr;
    void* ib = nullptr;
    a->QueryInterface(IID_IUnknown, &ia);
    b->QueryInterface(IID_IUnknown, &ib);
    if (ia) static_cast<IUnknown*>(ia)->Release();
    if (ib) static_cast<IUnknown*>(ib)->Release();
    return ia == ib;
  }

  T* m_Ptr = nullptr;
};
