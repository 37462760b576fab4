// A process-wide interface reference that any thread may read, fill or replace at any time.
// Readers get a reference of their own, so a reference that another thread replaces stays alive
// until its last reader lets it go: nothing is released while a thread may still use it.
#pragma once
#include <mutex>
#include <utility>

#include "PXM/SmartPtr.h"

template <class T>
class SharedGlobal {
 public:
  constexpr SharedGlobal() noexcept = default;
  SharedGlobal(const SharedGlobal&) = delete;
  SharedGlobal& operator=(const SharedGlobal&) = delete;
  // At exit the held reference goes, as any static holder's does.
  ~SharedGlobal() { Replace(nullptr); }

  // What is held, with a reference for the caller; null when empty.
  SmartPtr<T> Hold() const noexcept {
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Ptr) m_Ptr->AddRef();
    return SmartPtr<T>(m_Ptr);
  }

  // Takes over `owned` (null empties the holder); the previous reference is released after the
  // lock is let go, since its release may call back into the module.
  void Replace(T* owned) noexcept {
    T* previous = nullptr;
    {
      std::lock_guard<std::mutex> lock(m_Mutex);
      previous = std::exchange(m_Ptr, owned);
    }
    if (previous) previous->Release();
  }
  void Reset() noexcept { Replace(nullptr); }

  // A first filling: keeps the candidate when the holder is empty. A candidate that another
  // thread beat is released; either way the caller gets what is held now.
  SmartPtr<T> Fill(SmartPtr<T> candidate) noexcept {
    {
      std::lock_guard<std::mutex> lock(m_Mutex);
      if (!m_Ptr) m_Ptr = candidate.Detach();
    }
    return Hold();
  }

 private:
  mutable std::mutex m_Mutex;
  T* m_Ptr = nullptr;
};
