#include "ModuleSet.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>
#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

std::string ProgramDirectory() {
  char path[PATH_MAX];
#ifdef __APPLE__
  uint32_t capacity = sizeof(path);
  if (_NSGetExecutablePath(path, &capacity) != 0) return ".";
  std::string full(path);
#else
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return ".";
  std::string full(path, size_t(n));
#endif
  const size_t slash = full.rfind('/');
  return slash == std::string::npos ? "." : full.substr(0, slash);
}

namespace {

#ifdef __APPLE__
constexpr char kSuffix[] = ".dylib";
#else
constexpr char kSuffix[] = ".so";
#endif

void* Open(const std::string& path, std::string& error) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) error = std::string("cannot load ") + path + ": " + dlerror();
  return library;
}

}  // namespace

ModuleSet::ModuleSet() {
  const std::string dir = ProgramDirectory() + "/";
  m_Host = Open(dir + "DuvirovurozAd" + kSuffix, m_Error);
  if (m_Host) m_Module = Open(dir + "PXM" + kSuffix, m_Error);
  if (!m_Module) return;

  auto hostCreate = reinterpret_cast<PXMCreateFunction>(dlsym(m_Host, "CreateFunction"));
  m_CreateFunction = reinterpret_cast<PXMCreateFunction>(dlsym(m_Module, "CreateFunction"));
  auto initialize = reinterpret_cast<PXMInitializeModuleFunction>(dlsym(m_Module, "InitializeModule"));
  if (!hostCreate || !m_CreateFunction || !initialize) {
    m_Error = "a module lacks its entry points";
    return;
  }
  void* creator = nullptr;
  static const wchar_t kCollection[] = L"GlobalComponentCollection";
  hostCreate({25, kCollection}, &creator);
  if (creator) {
    const IID iid = pxm::iid::IComponentCollection;
    reinterpret_cast<PXMCreatorFunction>(creator)(nullptr, &iid, m_Collection.Out());
  }
  if (!m_Collection) {
    m_Error = "the host module offers no component collection";
    return;
  }
  initialize(nullptr, m_Collection.Get());
}

ModuleSet::~ModuleSet() {
  // The module keeps the collection until it is told to let go; the libraries stay loaded.
  if (m_Module) {
    if (auto initialize = reinterpret_cast<PXMInitializeModuleFunction>(dlsym(m_Module, "InitializeModule")))
      initialize(nullptr, nullptr);
  }
}

HRESULT ModuleSet::CreateObject(const wchar_t* className, const IID& iid, void** out) const {
  *out = nullptr;
  if (!m_CreateFunction) return PXM_E_FAIL;
  void* creator = nullptr;
  const tagREFString name{uint32_t(std::char_traits<wchar_t>::length(className)), className};
  const HRESULT hr = m_CreateFunction(name, &creator);
  if (PXM_FAILED(hr)) return hr;
  return reinterpret_cast<PXMCreatorFunction>(creator)(nullptr, &iid, out);
}

ComPtr<IString> ModuleSet::MakeString(const std::wstring& text) const {
  ComPtr<IComponentString> component;
  ComPtr<IString> string;
  if (!m_Collection) return string;
  m_Collection->GetComponent(15, L"CreatableString", nullptr, component.Out());
  ComPtr<ICreatableString> creatable;
  if (component) component->CreateObject(&pxm::iid::ICreatableString, creatable.Out());
  if (creatable && PXM_SUCCEEDED(creatable->SetText(uint32_t(text.size()), text.c_str())))
    string = creatable.As<IString>(pxm::IIDFromName("IString"));
  return string;
}
