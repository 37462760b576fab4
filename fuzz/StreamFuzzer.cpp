// Data stream bytes through the host module's parser, then IDataPersist::Load into an image of
// each class that already holds one; what loads is read in full and drawn.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "FuzzHost.h"

namespace {

// A record may ask for any image whose sizes fit 32 bits, and Create makes what is asked for,
// also from a few bytes of stream. Such requests are the allocation test's matter; here they
// would only spend the fuzzer's memory and time walking rows, so records asking for more than
// 4 MiB of pixels or a million rows of pixels are skipped.
bool AsksForHugeImage(IDataStream* stream) {
  static const auto list = reinterpret_cast<DuvirovurozAdListFolderFunction>(
      dlsym(dlopen(ModulePath("DuvirovurozAd").c_str(), RTLD_NOW | RTLD_LOCAL), "DuvirovurozAdListFolder"));
  DuvirovurozAdEntry entries[32];
  uint32_t count = 0;
  if (!list || PXM_FAILED(list(stream, entries, 32, &count, nullptr))) return false;
  const wchar_t* keys[] = {L"Width", L"Height", L"NumberPlanes", L"BitsPerPixel"};
  uint64_t values[] = {0, 0, 0, 0};
  bool found[] = {false, false, false, false};
  for (uint32_t i = 0; i < count && i < 32; ++i) {
    const DuvirovurozAdEntry& e = entries[i];
    for (int k = 0; k < 4; ++k) {
      if (found[k] || e.kind != DuvirovurozAdValue || e.size != 4 || e.keyLength != std::wcslen(keys[k]) ||
          std::wmemcmp(e.key, keys[k], e.keyLength) != 0)
        continue;
      uint32_t v = 0;
      std::memcpy(&v, e.value, 4);
      values[k] = v;
      found[k] = true;
    }
  }
  const uint64_t bytesPerPixel = values[3] < 8 ? 1 : (values[3] + 7) / 8;
  const unsigned __int128 total = (unsigned __int128)values[0] * values[1] * (values[2] ? values[2] : 1) * bytesPerPixel;
  return total > (uint64_t{4} << 20) || (values[0] && values[1] > 1000000);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ModuleHost::Get();
  HostApi::Get();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ComPtr<IDataStream> stream;
  if (PXM_FAILED(HostApi::Get().streamFromBytes(data, size, reinterpret_cast<IDataStream**>(stream.Out()))) ||
      AsksForHugeImage(stream.Get()))
    return 0;
  for (const wchar_t* className : kClassNames) {
    ComPtr<IPXMImage> image = NewImage(className);
    image->Create(2, 2, 1, 8, FOURCC_MONO);
    auto persist = image.As<IDataPersist>(pxm::iid::IDataPersist);
    if (!persist || PXM_FAILED(persist->Load(stream.Get(), 1))) continue;
    Exercise(image.Get(), 1);
  }
  return 0;
}
