#include "PXMImageDIB/PXMImageDIB.h"

template <>
const tagREFString IObjectInfoImpl<CPXMImageDIB>::m_ObjectName = {11, L"PXMImageDIB"};

const InterfaceEntry<CPXMImageDIB> CPXMImageDIB::kInterfaceMap[8] = {
    {&IID_IObjectInfo, InterfaceOf<CPXMImageDIB, IObjectInfo>},
    {&IID_IPXM, InterfaceOf<CPXMImageDIB, IPXMImageDIB>},
    {&IID_IPXMImage, InterfaceOf<CPXMImageDIB, IPXMImageDIB>},
    {&IID_IPXMImageDIB, InterfaceOf<CPXMImageDIB, IPXMImageDIB>},
    {&IID_IPXMImagePalette, InterfaceOf<CPXMImageDIB, IPXMImagePalette>},
    {&IID_IPXMImageRender, InterfaceOf<CPXMImageDIB, IPXMImageRender>},
    {&IID_IRenderableObject, InterfaceOf<CPXMImageDIB, IRenderableObject>},
    {&IID_IDataPersist, InterfaceOf<CPXMImageDIB, IDataPersist>},
};

HRESULT CPXMImageDIB::Lock() { return m_Lock.Lock(); }
HRESULT CPXMImageDIB::Unlock() { return m_Lock.Unlock(); }

// The DIB image's operations arrive with the DIB work.
CPXMImageDIB::~CPXMImageDIB() {}
HRESULT CPXMImageDIB::FinalRelease() { return PXM_S_OK; }
HRESULT CPXMImageDIB::GetDIB(uint8_t**, uint32_t*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageDIB::CreateOnDIB(uint8_t*, uint8_t*, int) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageDIB::GetSize(uint32_t*, uint32_t*, uint32_t*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageDIB::GetPixelDescriptor(uint32_t*, uint32_t*, uint32_t*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageDIB::GetImage(uint32_t, uint32_t*, uint8_t**, int32_t*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageDIB::Create(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageDIB::Create(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageDIB::IsCreatable(uint32_t, uint32_t) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageDIB::SetPalette(uint32_t*, uint32_t, uint32_t) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageDIB::GetPalette(uint32_t**, uint32_t*) { return PXM_E_NOTIMPL; }

HRESULT CPXMImageDIB::Save(IDataStream* stream, int) { return SaveToDataStream(this, stream, nullptr); }
HRESULT CPXMImageDIB::Load(IDataStream* stream, int) { return LoadFromDataStream(this, stream, nullptr); }
