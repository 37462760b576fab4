// Loads the built module by path, as a host does, and creates its objects by class name.
// The module finds its sibling modules in its own module directory, whatever the current one.
#pragma once
#include <string>

#include "ComPtr.h"
#include "Text.h"

class ModuleHost {
 public:
  static ModuleHost& Get();  // the module, loaded once per process
  PXMCreateFunction createFunction = nullptr;
  PXMInitializeModuleFunction initializeModule = nullptr;  // under its C++ name
  void* handle = nullptr;
  PXMCreatorFunction Creator(const std::wstring& className) const;  // null for an unknown class

  template <class I>
  ComPtr<I> Create(const std::wstring& className, const IID& iid) const {  // asked for the interface; null when refused
    ComPtr<I> object;
    if (PXMCreatorFunction creator = Creator(className)) creator(nullptr, &iid, object.Out());
    return object;
  }
  ComPtr<IPXMImage> CreateRaster() const { return Create<IPXMImage>(L"PXMImage", pxm::iid::IPXMImage); }
  ComPtr<IPXMImageDIB> CreateDIB() const { return Create<IPXMImageDIB>(L"PXMImageDIB", pxm::iid::IPXMImageDIB); }
  ComPtr<IPXMImageCANVAS> CreateCanvas() const { return Create<IPXMImageCANVAS>(L"PXMImageCANVAS", pxm::iid::IPXMImageCANVAS); }
 private:
  ModuleHost();
};

std::string ModulePath(const char* name);  // in the build's module directory, with PXM and DuvirovurozAd
// The real host module's entry points, loaded on first use, and its counters: objects alive, transform calls.
void* HostModuleSymbol(const char* name);
template <class F>
F HostModuleFunction(const char* name) { return reinterpret_cast<F>(HostModuleSymbol(name)); }
inline int64_t HostObjects() { return HostModuleFunction<int64_t (*)()>("DuvirovurozAdLiveObjects")(); }
inline uint64_t TransformApplies() { return HostModuleFunction<uint64_t (*)()>("DuvirovurozAdTransformApplyCount")(); }
// The host module's creator of a class, and a new object of it asked for the interface (null when refused).
inline HRESULT HostLookup(std::wstring_view className, void** creator) { return HostModuleFunction<PXMCreateFunction>("CreateFunction")(Ref(className), creator); }
template <class I>
ComPtr<I> HostCreate(std::wstring_view className, const IID& iid) {
  void* creator = nullptr;
  ComPtr<I> object;
  if (PXM_SUCCEEDED(HostLookup(className, &creator))) reinterpret_cast<PXMCreatorFunction>(creator)(nullptr, &iid, object.Out());
  return object;
}
