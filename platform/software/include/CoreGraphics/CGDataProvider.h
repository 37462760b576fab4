// Data providers: a view of caller memory, with a callback that hands the memory back.
#pragma once

#include <CoreGraphics/CGBase.h>

CG_EXTERN_C_BEGIN

typedef struct CGDataProvider *CGDataProviderRef;

typedef void (*CGDataProviderReleaseDataCallback)(void *info, const void *data, size_t size);

// The callback (may be null) runs once, when the provider and every image made from it are released.
// Null when data is null or on allocation failure; the callback is then not called.
CG_EXTERN CGDataProviderRef CGDataProviderCreateWithData(void *info, const void *data, size_t size,
                                                         CGDataProviderReleaseDataCallback releaseData);
CG_EXTERN CGDataProviderRef CGDataProviderRetain(CGDataProviderRef provider);
CG_EXTERN void CGDataProviderRelease(CGDataProviderRef provider);

CG_EXTERN_C_END
