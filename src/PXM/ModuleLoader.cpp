#include "PXM/ModuleLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <cwchar>

#include "PXM/Module.h"
#include "PXM/Trace.h"
#include "pxm/Module.h"

namespace {

// Found while the library loads: a relative path the host opened it by still means then what the
// host meant, whatever directory it changes to later.
class ModuleBase {
 public:
  ModuleBase() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&MODULECreateFunction), &info) || !info.dli_fname) return;
    char path[kModulePathCapacity] = "";
    size_t used = 0;
    if (info.dli_fname[0] != '/') {
      if (!getcwd(path, sizeof path)) return;
      used = std::strlen(path);
      path[used++] = '/';
    }
    const size_t name = std::strlen(info.dli_fname);
    if (used + name >= sizeof path) return;
    std::memcpy(path + used, info.dli_fname, name + 1);
    // Drop the module's file name and its directory, keeping the slash before them.
    for (int part = 0; part < 2; ++part) {
      char* slash = std::strrchr(path, '/');
      if (!slash) return;
      *slash = '\0';
    }
    std::strcpy(m_Path, path);
    std::strcat(m_Path, "/");
  }
  const char* Path() const { return m_Path; }

 private:
  char m_Path[kModulePathCapacity] = "";
};

const ModuleBase gModuleBase;

}  // namespace

const char* ModuleBaseDirectory() { return gModuleBase.Path(); }

bool BuildModulePath(tagREFString moduleName, char (&path)[kModulePathCapacity]) {
  const char* base = ModuleBaseDirectory();
  if (base[0] == '\0') return false;
  size_t used = 0;
  for (const char* part : {base, kModuleDirectory}) {
    const size_t n = std::strlen(part);
    if (used + n >= sizeof(path)) return false;
    std::memcpy(path + used, part, n);
    used += n;
  }
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
  char path[kModulePathCapacity];
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
  if (SmartPtr<IComponentCollection> collection = gGlobalComponentCollection.Hold(); initializeModule && collection)
    initializeModule(nullptr, collection.Get());

  void* creator = nullptr;
  createFunction(className, &creator);
  return reinterpret_cast<PXMCreatorFunction>(creator);
}
