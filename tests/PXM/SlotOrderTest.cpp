// Slot numbers are the contract with hosts compiled elsewhere: each operation is reached here by
// its slot index in the raw table, as a host built against another header would reach it.
#include <gtest/gtest.h>

#include <cstring>

#include "CountingCollection.h"
#include "ModuleHost.h"

namespace {

// Calls slot n of an interface's table with the given arguments.
template <class... Args>
HRESULT CallSlot(void* face, int slot, Args... args) {
  void** table = *static_cast<void***>(face);
  return reinterpret_cast<HRESULT (*)(void*, Args...)>(table[slot])(face, args...);
}

// The slot of a virtual operation, from its pointer to member (Itanium C++ ABI: 1 + the byte
// offset of the slot in the table).
template <class F>
size_t SlotOf(F operation) {
  struct {
    uintptr_t pointer;
    ptrdiff_t adjustment;
  } raw;
  static_assert(sizeof(raw) == sizeof(operation));
  std::memcpy(&raw, &operation, sizeof(raw));
  return (raw.pointer - 1) / sizeof(void*);
}

TEST(SlotOrder, TheHeadersPutEveryOperationInItsSlot) {
  const std::pair<size_t, size_t> slots[] = {
      {SlotOf(&IUnknown::QueryInterface), 0},      {SlotOf(&IUnknown::Release), 2},
      {SlotOf(&IObjectInfo::GetName), 3},          {SlotOf(&IPXMImage::GetSize), 3},
      {SlotOf(&IPXMImage::GetPixelDescriptor), 4}, {SlotOf(&IPXMImage::GetImage), 5},
      {SlotOf(&IPXMImage::Create), 6},             {SlotOf(&IPXMImage::IsCreatable), 7},
      {SlotOf(&IPXMImage::Copy), 8},               {SlotOf(&IPXMImage::Equal), 9},
      {SlotOf(&IPXMImageDIB::Load), 10},           {SlotOf(&IPXMImageDIB::GetDIB), 11},
      {SlotOf(&IPXMImageDIB::CreateOnDIB), 12},    {SlotOf(&IPXMImageCANVAS::get_CANVAS), 10},
      {SlotOf(&IPXMImageCANVAS::get_TransparentColor), 11}, {SlotOf(&IPXMImageCANVAS::put_TransparentColor), 12},
      {SlotOf(&IPXMImageCANVAS::CreateOnCANVAS), 13},       {SlotOf(&IPXMImageRender::Render), 3},
      {SlotOf(&IRenderableObject::Render), 3},     {SlotOf(&IPXMImagePalette::SetPalette), 3},
      {SlotOf(&IPXMImagePalette::GetPalette), 4},  {SlotOf(&IDataPersist::Save), 3},
      {SlotOf(&IDataPersist::Load), 4},            {SlotOf(&IComponentCollection::GetComponent), 16},
      {SlotOf(&IComponentString::CreateObject), 5}, {SlotOf(&IComponentString::SetPart), 6},
      {SlotOf(&IString::GetText), 3},              {SlotOf(&ICreatableString::SetText), 4},
      {SlotOf(&ICreatableString::AppendText), 5},  {SlotOf(&IFolderStream::Reserve), 5},
      {SlotOf(&IFolderStream::Read), 7},           {SlotOf(&IFolderStream::Write), 8},
      {SlotOf(&IFolderStream::CreateFolder), 9},   {SlotOf(&IFolderStream::WriteValue), 11},
      {SlotOf(&IFolderStream::ReadValue), 16},     {SlotOf(&IFolderStream::OpenFolder), 18},
      {SlotOf(&IPXMTransform::Apply), 10},
  };
  for (size_t i = 0; i < std::size(slots); ++i) EXPECT_EQ(slots[i].first, slots[i].second) << "entry " << i;
}

TEST(SlotOrder, ImageInterfacesOfTheModule) {
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  ASSERT_TRUE(dib);
  void* face = dib.Get();
  EXPECT_EQ(CallSlot(face, 6, 4u, 3u, 1u, 24u, FOURCC_RGB), PXM_S_OK);  // Create
  uint32_t width = 0, height = 0, planes = 0;
  EXPECT_EQ(CallSlot(face, 3, &width, &height, &planes), PXM_S_OK);  // GetSize
  EXPECT_EQ(width * 100 + height * 10 + planes, 431u);
  uint32_t bits = 0, fourcc = 1, bytes = 0;
  EXPECT_EQ(CallSlot(face, 4, &bits, &fourcc, &bytes), PXM_S_OK);  // GetPixelDescriptor
  EXPECT_EQ(bits * 10 + bytes, 243u);
  uint32_t size = 0;
  uint8_t* data = nullptr;
  int32_t stride = 0;
  EXPECT_EQ(CallSlot(face, 5, 0u, &size, &data, &stride), PXM_S_OK);  // GetImage
  EXPECT_EQ(stride, -12);
  EXPECT_EQ(CallSlot(face, 7, 24u, FOURCC_MONO), PXM_E_NOTCREATABLE);  // IsCreatable
  EXPECT_EQ(CallSlot(face, 8, static_cast<IPXM*>(nullptr), 0), PXM_E_INVALIDARG);  // Copy
  EXPECT_EQ(CallSlot(face, 9, 0x00332211), PXM_S_OK);  // Equal
  EXPECT_EQ(data[0] * 10000 + data[1] * 100 + data[2], 0x11 * 10000 + 0x22 * 100 + 0x33);
  uint8_t* block = nullptr;
  uint32_t blockSize = 0;
  EXPECT_EQ(CallSlot(face, 11, &block, &blockSize), PXM_S_OK);  // GetDIB
  EXPECT_EQ(blockSize, 40u + 36u);
  EXPECT_EQ(CallSlot(face, 10, static_cast<IString*>(nullptr)), PXM_E_FAIL);  // Load: no path
  EXPECT_EQ(CallSlot(face, 12, static_cast<uint8_t*>(nullptr), static_cast<uint8_t*>(nullptr), 0),
            PXM_E_POINTER);  // CreateOnDIB

  ComPtr<IPXMImagePalette> palette = dib.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette);
  uint32_t count = 7;
  EXPECT_EQ(CallSlot(palette.Get(), 4, static_cast<uint32_t**>(nullptr), &count), PXM_E_FAIL);  // GetPalette
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(CallSlot(palette.Get(), 3, static_cast<uint32_t*>(nullptr), 0u, 0u), PXM_S_OK);  // SetPalette

  ComPtr<IObjectInfo> info = dib.As<IObjectInfo>(pxm::iid::IObjectInfo);
  tagREFString name{0, nullptr};
  EXPECT_EQ(CallSlot(info.Get(), 3, 0, &name), PXM_S_OK);  // GetName
  EXPECT_EQ(name.m_Length, 11u);

  ComPtr<IDataPersist> persist = dib.As<IDataPersist>(pxm::iid::IDataPersist);
  EXPECT_EQ(CallSlot(persist.Get(), 3, static_cast<IDataStream*>(nullptr), 0), PXM_E_FAIL);  // Save
  EXPECT_EQ(CallSlot(persist.Get(), 4, static_cast<IDataStream*>(nullptr), 0), PXM_E_FAIL);  // Load
}

TEST(SlotOrder, CanvasInterfaceAndRendering) {
  ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
  ASSERT_TRUE(canvas);
  void* face = canvas.Get();
  EXPECT_EQ(CallSlot(face, 12, 0x123456), PXM_S_OK);  // put_TransparentColor
  int colour = 0;
  EXPECT_EQ(CallSlot(face, 11, &colour), PXM_S_OK);  // get_TransparentColor
  EXPECT_EQ(colour, 0x123456);
  CGContext* context = reinterpret_cast<CGContext*>(0x1);
  EXPECT_EQ(CallSlot(face, 10, &context), PXM_S_OK);  // get_CANVAS
  EXPECT_EQ(context, nullptr);
  EXPECT_EQ(CallSlot(face, 13, static_cast<CGContext*>(nullptr), 5, 5), PXM_S_OK);  // CreateOnCANVAS

  CANVASRect where{0, 0, 4, 4};
  ComPtr<IPXMImageRender> render = canvas.As<IPXMImageRender>(pxm::iid::IPXMImageRender);
  EXPECT_EQ(CallSlot(render.Get(), 3, static_cast<CGContext*>(nullptr), &where, static_cast<CANVASRect*>(nullptr)),
            PXM_E_FAIL);  // Render: a canvas without a context
  ComPtr<IRenderableObject> renderable = canvas.As<IRenderableObject>(pxm::iid::IRenderableObject);
  EXPECT_EQ(CallSlot(renderable.Get(), 3, static_cast<CGContext*>(nullptr), &where, static_cast<IUnknown*>(nullptr),
                     0),
            PXM_E_FAIL);
}

TEST(SlotOrder, HostInterfacesTheModuleCalls) {
  // The module finds GetComponent in slot 16 of a collection compiled from this header.
  CountingCollection collection;
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(CallSlot(static_cast<IComponentCollection*>(&collection), 16, 3u, L"Any",
                     static_cast<const IID*>(nullptr), &out),
            PXM_E_FAIL);
  EXPECT_EQ(collection.lookups[L"Any"], 1);
  EXPECT_EQ(out, nullptr);
}

}  // namespace
