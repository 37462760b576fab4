#include "PXMImage/PXMImage.h"

template <>
const tagREFString IObjectInfoImpl<CPXMImage>::m_ObjectName = {8, L"PXMImage"};

const InterfaceEntry<CPXMImage> CPXMImage::kInterfaceMap[4] = {
    {&IID_IPXM, InterfaceOf<CPXMImage, IPXMImage>},
    {&IID_IPXMImage, InterfaceOf<CPXMImage, IPXMImage>},
    {&IID_IObjectInfo, InterfaceOf<CPXMImage, IObjectInfo>},
    {&IID_IDataPersist, InterfaceOf<CPXMImage, IDataPersist>},
};

// The raster image's operations arrive with the raster image work.
CPXMImage::~CPXMImage() {}
HRESULT CPXMImage::GetSize(uint32_t*, uint32_t*, uint32_t*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImage::GetPixelDescriptor(uint32_t*, uint32_t*, uint32_t*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImage::GetImage(uint32_t, uint32_t*, uint8_t**, int32_t*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImage::Create(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) { return PXM_E_NOTIMPL; }
HRESULT CPXMImage::IsCreatable(uint32_t, uint32_t) { return PXM_E_NOTIMPL; }
HRESULT CPXMImage::Copy(IPXM*, int) { return PXM_E_NOTIMPL; }

HRESULT CPXMImage::Save(IDataStream* stream, int) { return SaveToDataStream(this, stream, nullptr); }
HRESULT CPXMImage::Load(IDataStream* stream, int) { return LoadFromDataStream(this, stream, nullptr); }
