#include "PXMImageCANVAS/PXMImageCANVAS.h"

// Drawing arrives with the canvas work.
HRESULT CPXMImageCANVAS::Render(CGContext*, CANVASRect*, CANVASRect*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageCANVAS::Render(CGContext*, CANVASRect*, IUnknown*, int) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageCANVAS::GetExtent(int*, int*) { return PXM_E_NOTIMPL; }
