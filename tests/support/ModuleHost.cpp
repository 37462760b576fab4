#include "ModuleHost.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

std::string ModulePath(const char* name) { return std::string(PXM_MODULE_DIR) + "/" + name + PXM_MODULE_SUFFIX; }

void* HostModuleSymbol(const char* name) {
  static void* library = dlopen(ModulePath("DuvirovurozAd").c_str(), RTLD_NOW | RTLD_LOCAL);
  void* symbol = library ? dlsym(library, name) : nullptr;
  return symbol ? symbol : (std::fprintf(stderr, "no %s in the host module\n", name), std::abort(), nullptr);
}

ModuleHost::ModuleHost() : handle(dlopen(ModulePath("PXM").c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (!handle) std::fprintf(stderr, "cannot load %s: %s\n", ModulePath("PXM").c_str(), dlerror()), std::abort();
  createFunction = reinterpret_cast<PXMCreateFunction>(dlsym(handle, "CreateFunction"));
  initializeModule = reinterpret_cast<PXMInitializeModuleFunction>(dlsym(handle, "_Z16InitializeModulePvP20IComponentCollection"));
}

ModuleHost& ModuleHost::Get() {
  static ModuleHost host;
  return host;
}

PXMCreatorFunction ModuleHost::Creator(const std::wstring& className) const {
  void* creator = nullptr;
  return PXM_SUCCEEDED(createFunction(Ref(className), &creator)) ? reinterpret_cast<PXMCreatorFunction>(creator) : nullptr;
}
