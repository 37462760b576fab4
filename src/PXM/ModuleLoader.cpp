#include "PXM/ModuleLoader.h"

#include <dlfcn.h>

#include <climits>
#include <cstring>
#include <cwchar>

#include "PXM/Module.h"
#include "PXM/Trace.h"
#include "pxm/Module.h"

bool BuildModulePath(tagREFString moduleName, char (&path)[256]) {
  size_t used = sizeof(kModuleDirectory) - 1;
  std::memcpy(path, kModuleDirectory, used);
  const size_t limit = sizeof(path) - sizeof(kModuleSuffix);  // room left for suffix and zero
  std::mbstate_t state{};
  for (uint32_t i = 0; i < moduleName.m_Length; ++i) {
    if (moduleName.m_Text[i] == L'\0') return false;  // would cut the path short
    char bytes[MB_LEN_MAX];
    const size_t n = std::wcrtomb(bytes, moduleName.m_Text[i], &state);
    if (n == static_cast<size_t>(-1) || used + n > limit) return false;
    std::memcpy(path + used, bytes, n);
    used += n;
  }
  std::memcpy(path + used, kModuleSuffix, sizeof(kModuleSuffix));
  return true;
}

PXMCreatorFunction MODULECreateFunction(tagREFString moduleName, tagREFString className) {
  char path[256];
  if (!BuildModulePath(moduleName, path)) return nullptr;

  // Never closed: the creator and every object it makes stay valid for the life of the process.
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    _TRACE_(L"Module not available %s, error %s\n", path, dlerror());
    return nullptr;
  }
  auto createFunction = reinterpret_cast<PXMCreateFunction>(dlsym(library, "CreateFunction"));
  auto initializeModule = reinterpret_cast<PXMInitializeModuleFunction>(dlsym(library, "InitializeModule"));
  if (!createFunction) return nullptr;
  if (initializeModule && gGlobalComponentCollection) initializeModule(nullptr, gGlobalComponentCollection.Get());

  void* creator = nullptr;
  createFunction(className, &creator);
  return reinterpret_cast<PXMCreatorFunction>(creator);
}
