// The classes the module offers, in the order CreateFunction tries them.
#include "PXM/Module.h"
#include "PXMImage/PXMImage.h"
#include "PXMImageCANVAS/PXMImageCANVAS.h"
#include "PXMImageDIB/PXMImageDIB.h"

const ModuleClass kModuleClasses[] = {
    {&IObjectInfoImpl<CPXMImage>::m_ObjectName, CObject<CPXMImage>::_CreateInstance},
    {&IObjectInfoImpl<CPXMImageDIB>::m_ObjectName, CObject<CPXMImageDIB>::_CreateInstance},
    {&IObjectInfoImpl<CPXMImageCANVAS>::m_ObjectName, CObject<CPXMImageCANVAS>::_CreateInstance},
};
const unsigned kModuleClassCount = sizeof(kModuleClasses) / sizeof(kModuleClasses[0]);
