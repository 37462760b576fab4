#include "PXMImageDIB/PXMImageDIB.h"

// Drawing arrives with the rendering work.
HRESULT CPXMImageDIB::Render(CGContext*, CANVASRect*, CANVASRect*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageDIB::Render(CGContext*, CANVASRect*, IUnknown*, int) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageDIB::GetExtent(int*, int*) { return PXM_E_NOTIMPL; }
