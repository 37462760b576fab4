#include "DataProvider.h"

#include <new>

CGDataProviderRef CGDataProviderCreateWithData(void* info, const void* data, size_t size,
                                               CGDataProviderReleaseDataCallback releaseData) {
  if (!data) return nullptr;
  CGDataProvider* provider = new (std::nothrow) CGDataProvider;
  if (!provider) return nullptr;
  provider->info = info;
  provider->data = static_cast<const uint8_t*>(data);
  provider->size = size;
  provider->releaseData = releaseData;
  return provider;
}

CGDataProviderRef CGDataProviderRetain(CGDataProviderRef provider) { return cg::retain(provider); }

void CGDataProviderRelease(CGDataProviderRef provider) { cg::release(provider); }
