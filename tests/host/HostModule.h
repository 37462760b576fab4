// The built DuvirovurozAd.so, loaded as a host loads it: dlopen by path, entry points and
// API functions by their plain names, objects only through interfaces.
#pragma once
#include <dlfcn.h>

#include <string_view>

#include "duvirovurozad/DuvirovurozAd.h"
#include "HostTestSupport.h"
#include "pxm/Module.h"
#include "pxm/Types.h"

class HostModule {
 public:
  static HostModule& Get() {
    static HostModule module;
    return module;
  }

  bool Loaded() const { return handle_ != nullptr; }

  template <class F>
  F Symbol(const char* name) const {
    return reinterpret_cast<F>(dlsym(handle_, name));
  }

  HRESULT CreateFunction(std::wstring_view name, void** creator) const {
    const tagREFString text{static_cast<uint32_t>(name.size()), name.data()};
    return Symbol<PXMCreateFunction>("CreateFunction")(text, creator);
  }

  PXMCreatorFunction Creator(std::wstring_view name) const {
    void* creator = nullptr;
    CreateFunction(name, &creator);
    return reinterpret_cast<PXMCreatorFunction>(creator);
  }

  // Makes an object of the class through its creator.
  template <class T>
  HRESULT Create(std::wstring_view className, const IID& iid, Ref<T>& out) const {
    return Creator(className)(nullptr, &iid, out.out());
  }

  int64_t LiveObjects() const { return Symbol<DuvirovurozAdLiveObjectsFunction>("DuvirovurozAdLiveObjects")(); }

 private:
  HostModule() : handle_(dlopen(DUVIROVUROZAD_PATH, RTLD_NOW | RTLD_LOCAL)) {}
  void* handle_;  // never closed, like the module's own sibling loads
};
