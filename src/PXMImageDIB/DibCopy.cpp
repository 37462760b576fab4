#include "PXMImageDIB/PXMImageDIB.h"

// Copying into a DIB arrives with the DIB work.
HRESULT CPXMImageDIB::Copy(IPXM*, int) { return PXM_E_NOTIMPL; }
