#include "HostStreams.h"

#include <dlfcn.h>

#include "duvirovurozad/DuvirovurozAd.h"

namespace {

template <class F>
F Find(const ModuleSet& modules, const char* name) {
  return reinterpret_cast<F>(dlsym(modules.hostLibrary(), name));
}

ComPtr<IDataPersist> PersistOf(IUnknown* image) {
  ComPtr<IDataPersist> persist;
  image->QueryInterface(pxm::iid::IDataPersist, persist.Out());
  return persist;
}

}  // namespace

bool SaveStreamFile(const ModuleSet& modules, IUnknown* image, const std::string& path, Failure* failure) {
  auto create = Find<DuvirovurozAdCreateDataStreamFunction>(modules, "DuvirovurozAdCreateDataStream");
  auto write = Find<DuvirovurozAdWriteStreamFileFunction>(modules, "DuvirovurozAdWriteStreamFile");
  ComPtr<IDataPersist> persist = PersistOf(image);
  ComPtr<IDataStream> stream;
  if (!create || !write || !persist || PXM_FAILED(create(reinterpret_cast<IDataStream**>(stream.Out())))) {
    *failure = {"the host module offers no data streams", 0, false};
    return false;
  }
  HRESULT hr = persist->Save(stream.Get(), 0);
  if (PXM_FAILED(hr)) {
    *failure = {"saving the image record", hr};
    return false;
  }
  hr = write(stream.Get(), path.c_str());
  if (PXM_FAILED(hr)) *failure = {"writing " + path, hr};
  return PXM_SUCCEEDED(hr);
}

bool LoadStreamFile(const ModuleSet& modules, const std::string& path, IUnknown* image, Failure* failure) {
  auto read = Find<DuvirovurozAdReadStreamFileFunction>(modules, "DuvirovurozAdReadStreamFile");
  ComPtr<IDataPersist> persist = PersistOf(image);
  if (!read || !persist) {
    *failure = {"the host module offers no data streams", 0, false};
    return false;
  }
  ComPtr<IDataStream> stream;
  HRESULT hr = read(path.c_str(), reinterpret_cast<IDataStream**>(stream.Out()));
  if (PXM_FAILED(hr)) {
    *failure = {"reading " + path + " as a stream file", hr};
    return false;
  }
  hr = persist->Load(stream.Get(), 0);
  if (PXM_FAILED(hr)) *failure = {"loading the image record", hr};
  return PXM_SUCCEEDED(hr);
}
