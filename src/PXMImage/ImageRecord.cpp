#include "PXMImage/ImageRecord.h"

// Written with the persistence work; until then every operation reports that it is missing.
HRESULT FillImage(IPXMImage*, int) { return PXM_E_NOTIMPL; }
HRESULT SaveImageRecord(IPXMImage*, IFolderStream*) { return PXM_E_NOTIMPL; }
HRESULT LoadImageRecord(IPXMImage*, IFolderStream*) { return PXM_E_NOTIMPL; }
HRESULT SaveToDataStream(IPXMImage*, IDataStream*, int32_t*) { return PXM_E_NOTIMPL; }
HRESULT LoadFromDataStream(IPXMImage*, IDataStream*, int32_t*) { return PXM_E_NOTIMPL; }
