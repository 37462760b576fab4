#include "PXMImageDIB/PXMImageDIB.h"

// Loading bitmap files arrives with the DIB work.
HRESULT CPXMImageDIB::Load(IString*) { return PXM_E_NOTIMPL; }
