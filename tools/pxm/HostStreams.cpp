#include "HostStreams.h"

#include <dlfcn.h>

#include "duvirovurozad/DuvirovurozAd.h"

namespace {

template <class F>
F Find(const ModuleSet& modules, const char* name) {
  return reinterpret_cast<F>(dlsym(modules.hostLibrary(), name));
}

ComRef<IDataPersist> PersistOf(IUnknown* image) {
  ComRef<IDataPersist> persist;
  image->QueryInterface(pxm::iid::IDataPersist, persist.Out());
  return persist;
}

}  // namespace

HRESULT SaveStreamFile(const ModuleSet& modules, IUnknown* image, const std::string& path, std::string* error) {
  auto create = Find<DuvirovurozAdCreateDataStreamFunction>(modules, "DuvirovurozAdCreateDataStream");
  auto write = Find<DuvirovurozAdWriteStreamFileFunction>(modules, "DuvirovurozAdWriteStreamFile");
  ComRef<IDataPersist> persist = PersistOf(image);
  ComRef<IDataStream> stream;
  if (!create || !write || !persist || PXM_FAILED(create(reinterpret_cast<IDataStream**>(stream.Out())))) {
    *error = "the host module offers no data streams";
    return PXM_E_FAIL;
  }
  HRESULT hr = persist->Save(stream.Get(), 0);
  if (PXM_FAILED(hr)) {
    *error = "saving the image record";
    return hr;
  }
  hr = write(stream.Get(), path.c_str());
  if (PXM_FAILED(hr)) *error = "writing " + path;
  return hr;
}

HRESULT LoadStreamFile(const ModuleSet& modules, const std::string& path, IUnknown* image, std::string* error) {
  auto read = Find<DuvirovurozAdReadStreamFileFunction>(modules, "DuvirovurozAdReadStreamFile");
  ComRef<IDataPersist> persist = PersistOf(image);
  if (!read || !persist) {
    *error = "the host module offers no data streams";
    return PXM_E_FAIL;
  }
  ComRef<IDataStream> stream;
  HRESULT hr = read(path.c_str(), reinterpret_cast<IDataStream**>(stream.Out()));
  if (PXM_FAILED(hr)) {
    *error = "reading " + path + " as a stream file";
    return hr;
  }
  hr = persist->Load(stream.Get(), 0);
  if (PXM_FAILED(hr)) *error = "loading the image record";
  return hr;
}
