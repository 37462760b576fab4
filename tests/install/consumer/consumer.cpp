// A tiny host: loads the installed module by path, creates a raster image and describes it.
#include <dlfcn.h>

#include <cstdio>

#include "pxm/PXM.h"

int main() {
  void* module = dlopen(PXM_MODULE_DIR "/PXM" PXM_MODULE_SUFFIX, RTLD_NOW | RTLD_LOCAL);
  auto createFunction = module ? reinterpret_cast<PXMCreateFunction>(dlsym(module, "CreateFunction")) : nullptr;
  void* creator = nullptr;
  IPXMImage* image = nullptr;
  const IID iid = pxm::iid::IPXMImage;
  if (!createFunction || PXM_FAILED(createFunction({8, L"PXMImage"}, &creator)) ||
      PXM_FAILED(reinterpret_cast<PXMCreatorFunction>(creator)(nullptr, &iid, reinterpret_cast<void**>(&image))))
    return std::fprintf(stderr, "no raster image: %s\n", module ? "refused" : dlerror()), 1;
  uint32_t width = 0, height = 0, planes = 0;
  const HRESULT hr = image->Create(5, 3, 2, 8, FOURCC_MONO);
  image->GetSize(&width, &height, &planes);
  image->Release();
  std::printf("created %u x %u with %u planes: 0x%08X\n", width, height, planes, static_cast<unsigned>(hr));
  return hr == PXM_S_OK && width == 5 && height == 3 && planes == 2 ? 0 : 1;
}
