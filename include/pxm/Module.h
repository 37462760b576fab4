// The module's entry points, as a host reaches them with dlsym.
#pragma once
#include "pxm/ImageInterfaces.h"

// Keeps one reference to the host's collection (null empties the holder). Exported under its
// C++ name and also under the plain name "InitializeModule".
HRESULT InitializeModule(void* reserved, IComponentCollection* collection);
// Writes the creator of the class named "PXMImage", "PXMImageDIB" or "PXMImageCANVAS".
extern "C" HRESULT CreateFunction(tagREFString className, void** creator);

typedef HRESULT (*PXMInitializeModuleFunction)(void*, IComponentCollection*);
typedef HRESULT (*PXMCreateFunction)(tagREFString, void**);
