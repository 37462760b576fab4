#include "PXMImageCANVAS/PXMImageCANVAS.h"

// Copying into a canvas arrives with the canvas work.
HRESULT CPXMImageCANVAS::Copy(IPXM*, int) { return PXM_E_NOTIMPL; }
