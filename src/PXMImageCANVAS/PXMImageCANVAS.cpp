#include "PXMImageCANVAS/PXMImageCANVAS.h"

template <>
const tagREFString IObjectInfoImpl<CPXMImageCANVAS>::m_ObjectName = {14, L"PXMImageCANVAS"};

const InterfaceEntry<CPXMImageCANVAS> CPXMImageCANVAS::kInterfaceMap[7] = {
    {&IID_IObjectInfo, InterfaceOf<CPXMImageCANVAS, IObjectInfo>},
    {&IID_IPXM, InterfaceOf<CPXMImageCANVAS, IPXMImageCANVAS>},
    {&IID_IPXMImage, InterfaceOf<CPXMImageCANVAS, IPXMImageCANVAS>},
    {&IID_IPXMImageCANVAS, InterfaceOf<CPXMImageCANVAS, IPXMImageCANVAS>},
    {&IID_IPXMImageRender, InterfaceOf<CPXMImageCANVAS, IPXMImageRender>},
    {&IID_IRenderableObject, InterfaceOf<CPXMImageCANVAS, IRenderableObject>},
    {&IID_IDataPersist, InterfaceOf<CPXMImageCANVAS, IDataPersist>},
};

HRESULT CPXMImageCANVAS::Lock() { return m_Lock.Lock(); }
HRESULT CPXMImageCANVAS::Unlock() { return m_Lock.Unlock(); }

HRESULT CPXMImageCANVAS::get_TransparentColor(int* color) {
  if (color) *color = m_TransparentColor;
  return PXM_S_OK;
}

HRESULT CPXMImageCANVAS::put_TransparentColor(int color) {
  m_TransparentColor = color;
  return PXM_S_OK;
}

// The canvas's other operations arrive with the canvas work.
CPXMImageCANVAS::~CPXMImageCANVAS() {}
HRESULT CPXMImageCANVAS::get_CANVAS(CGContext**) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageCANVAS::CreateOnCANVAS(CGContext*, int, int) { return PXM_S_OK; }
HRESULT CPXMImageCANVAS::GetSize(uint32_t*, uint32_t*, uint32_t*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageCANVAS::GetPixelDescriptor(uint32_t*, uint32_t*, uint32_t*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageCANVAS::GetImage(uint32_t, uint32_t*, uint8_t**, int32_t*) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageCANVAS::IsCreatable(uint32_t, uint32_t) { return PXM_E_NOTIMPL; }
HRESULT CPXMImageCANVAS::Create(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) { return PXM_E_NOTIMPL; }

HRESULT CPXMImageCANVAS::Save(IDataStream* stream, int) {
  return SaveToDataStream(this, stream, &m_TransparentColor);
}
HRESULT CPXMImageCANVAS::Load(IDataStream* stream, int) {
  return LoadFromDataStream(this, stream, &m_TransparentColor);
}
