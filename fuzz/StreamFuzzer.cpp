// Data stream bytes through the host module's parser, then IDataPersist::Load into an image of
// each class that already holds one; what loads takes the whole walk: read in full, copied into
// each class, drawn, filled, saved and loaded back.
#include "FuzzHost.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ModuleHost::Get();
  HostApi::Get();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ComPtr<IDataStream> stream;
  // Records claiming huge images from a few bytes are the module's to refuse, not the harness's.
  if (PXM_FAILED(HostApi::Get().streamFromBytes(data, size, reinterpret_cast<IDataStream**>(stream.Out())))) return 0;
  for (const wchar_t* className : kClassNames) {
    ComPtr<IPXMImage> image = NewImage(className);
    image->Create(2, 2, 1, 8, FOURCC_MONO);
    auto persist = image.As<IDataPersist>(pxm::iid::IDataPersist);
    if (!persist || PXM_FAILED(persist->Load(stream.Get(), 1))) continue;
    Exercise(image.Get());
  }
  return 0;
}
