// The image record in a host folder, the binary persistence through a data stream's folder
// view, and the fill: shared by every image class, reaching the image only through IPXMImage.
#pragma once
#include "pxm/ImageInterfaces.h"

HRESULT FillImage(IPXMImage* image, int value);
HRESULT SaveImageRecord(IPXMImage* image, IFolderStream* folder);
HRESULT LoadImageRecord(IPXMImage* image, IFolderStream* folder);

// IDataPersist: the record written through the stream's folder view. A canvas passes its
// transparent colour, which goes in front of the record.
HRESULT SaveToDataStream(IPXMImage* image, IDataStream* stream, int32_t* transparentColor);
HRESULT LoadFromDataStream(IPXMImage* image, IDataStream* stream, int32_t* transparentColor);
