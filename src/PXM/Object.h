// The object model every class of the module is built on: one reference count per object,
// QueryInterface driven by the class's interface map, and the creator.
//
// A class T derives from CObject<T> first, then from IObjectInfoImpl<T> and one base per
// interface, is final, and declares
//   static constexpr InterfaceEntry<T> kInterfaceMap[] = { {&IID_..., InterfaceOf<T, I>}, ... };
//   PXM_IMPLEMENT_IUNKNOWN()
// IID_IUnknown is answered before the map with the CObject<T> part, the object's identity.
#pragma once
#include <atomic>
#include <new>

#include "pxm/ImageInterfaces.h"

template <class T>
struct InterfaceEntry {
  const IID* iid;
  IUnknown* (*face)(T*);
};

// The face of an object for interface I.
template <class T, class I>
IUnknown* InterfaceOf(T* object) {
  return static_cast<I*>(object);
}

template <class T>
class CObject : public IUnknown {
 public:
  // The class's creator, handed out by CreateFunction.
  static HRESULT _CreateInstance(void* outer, const IID* iid, void** out);

  virtual HRESULT FinalConstruct() { return PXM_S_OK; }
  virtual HRESULT FinalRelease() { return PXM_S_OK; }
  virtual HRESULT Lock() { return PXM_S_OK; }
  virtual HRESULT Unlock() { return PXM_S_OK; }

 protected:
  CObject() = default;
  ~CObject() = default;

  HRESULT InternalQueryInterface(const IID& iid, void** out) {
    if (!out) return PXM_E_POINTER;
    T* self = static_cast<T*>(this);
    if (iid == IID_IUnknown) {
      *out = static_cast<IUnknown*>(this);
      _AddRef();
      return PXM_S_OK;
    }
    *out = nullptr;
    for (const InterfaceEntry<T>& entry : T::kInterfaceMap) {
      if (*entry.iid == iid) {
        *out = entry.face(self);
        _AddRef();
        return PXM_S_OK;
      }
    }
    return PXM_E_NOINTERFACE;
  }

  uint32_t _AddRef() { return m_RefCount.fetch_add(1, std::memory_order_relaxed) + 1; }

  // Only the Release whose own decrement reaches zero destroys the object.
  uint32_t _Release() {
    const uint32_t count = m_RefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) Destroy();
    return count;
  }

 private:
  void Destroy() {
    FinalRelease();
    delete static_cast<T*>(this);
  }

  std::atomic<uint32_t> m_RefCount{1};
};

template <class T>
HRESULT CObject<T>::_CreateInstance(void* /*outer: no aggregation*/, const IID* iid, void** out) {
  if (!iid || !out) return PXM_E_POINTER;
  T* object = new (std::nothrow) T();
  if (!object) return PXM_E_OUTOFMEMORY;
  HRESULT hr = object->FinalConstruct();
  if (hr != PXM_S_OK) {
    object->Destroy();
    return hr;
  }
  *out = nullptr;
  hr = object->QueryInterface(*iid, out);
  if (PXM_FAILED(hr)) {
    object->Destroy();
    return hr;
  }
  object->Release();  // the caller holds the one reference QueryInterface added
  return PXM_S_OK;
}

// Final overriders of IUnknown for every interface base of the class.
#define PXM_IMPLEMENT_IUNKNOWN()                                                                       \
  HRESULT QueryInterface(const IID& iid, void** out) override { return InternalQueryInterface(iid, out); } \
  uint32_t AddRef() override { return _AddRef(); }                                                      \
  uint32_t Release() override { return _Release(); }

template <class T>
class IObjectInfoImpl : public IObjectInfo {
 public:
  static const tagREFString m_ObjectName;

  HRESULT GetName(int /*reserved*/, tagREFString* name) override {
    if (!name) return PXM_E_POINTER;
    *name = m_ObjectName;
    return PXM_S_OK;
  }
};
