// The module as a host meets it: entry points and exports, creators and reference counts, interface maps, identifiers, InitializeModule's
// reference, and the slot numbers hosts compiled elsewhere call by (each operation reached by its index in the raw table).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <set>

#include "CountingCollection.h"
#include "ModuleHost.h"

const ModuleHost& Host() { return ModuleHost::Get(); }
const wchar_t* const kClasses[] = {L"PXMImage", L"PXMImageDIB", L"PXMImageCANVAS"};
const char* const kInterfaces[] = {"IObjectInfo", "IPXM", "IPXMImage", "IDataPersist", "IPXMImageDIB", "IPXMImagePalette", "IPXMImageRender",
                                   "IRenderableObject", "IPXMImageCANVAS", "IFolderStream", "IComponentCollection", "IComponentString",
                                   "ICreatableString", "IPXMTransform", "IString"};

TEST(Classes, CreatorsInterfaceMapsAndNames) {
  const wchar_t text[] = L"PXMImageDIBX";  // only the given length counts: no terminator needed
  const std::pair<tagREFString, bool> cases[] = {{{8, text}, true}, {{11, text}, true}, {{14, L"PXMImageCANVAS"}, true}, {{7, text}, false},
      {{9, text}, false}, {{12, text}, false}, {{8, L"pxmimage"}, false}, {{8, L"PXMImagf"}, false}, {{8, L"QXMImage"}, false}, {{0, L""}, false}};
  std::vector<void*> creators;
  for (const auto& [name, found] : cases) {
    void* creator = &creators;
    EXPECT_EQ(Host().createFunction(name, &creator), found ? PXM_S_OK : PXM_E_FAIL);
    EXPECT_TRUE(found || creator == &creators) << "a refused name leaves the out-pointer unchanged";
    if (found) creators.push_back(creator);
  }
  EXPECT_TRUE(creators[0] && creators[0] != creators[1] && creators[1] != creators[2]);
  // Each class: the only reference or nothing; exactly the class's interfaces, of one object; its name for any GetName argument.
  const std::set<std::string> offered[] = {  // beyond the first four interfaces, which every class offers
      {}, {"IPXMImageDIB", "IPXMImagePalette", "IPXMImageRender", "IRenderableObject"}, {"IPXMImageCANVAS", "IPXMImageRender", "IRenderableObject"}};
  for (size_t i = 0; i < 3; ++i) {
    PXMCreatorFunction creator = Host().Creator(kClasses[i]);
    void* out = &creator;
    const IID unknown = pxm::IIDFromName("INotOffered");
    EXPECT_TRUE(creator(nullptr, &unknown, &out) == PXM_E_NOINTERFACE && out == nullptr);
    ASSERT_EQ(creator(nullptr, &pxm::iid::IUnknown, &out), PXM_S_OK);
    ComPtr<IUnknown> object(static_cast<IUnknown*>(out));
    EXPECT_EQ(RefCount(object.Get()), 1u);
    for (const char* const& name : kInterfaces) {
      SCOPED_TRACE(testing::Message() << "class " << i << " " << name);
      const HRESULT hr = object->QueryInterface(pxm::IIDFromName(name), &out);
      ComPtr<IUnknown> face(static_cast<IUnknown*>(out));
      EXPECT_EQ(hr, &name < kInterfaces + 4 || offered[i].count(name) ? PXM_S_OK : PXM_E_NOINTERFACE);
      EXPECT_EQ(face.As<IUnknown>(pxm::iid::IUnknown).Get(), face ? object.Get() : nullptr) << "one identity";
      EXPECT_EQ(RefCount(object.Get()), face ? 2u : 1u);
    }
    // IPXM, IPXMImage and the DIB's own image interface are one face.
    ComPtr<IUnknown> image = object.As<IUnknown>(pxm::iid::IPXMImage);
    EXPECT_EQ(object.As<IUnknown>(pxm::iid::IPXM).Get(), image.Get());
    EXPECT_TRUE(i != 1 || object.As<IUnknown>(pxm::iid::IPXMImageDIB).Get() == image.Get());
    for (int arg : {0, -1, 1 << 30}) {
      tagREFString name{0, nullptr};
      EXPECT_TRUE(object.As<IObjectInfo>(pxm::iid::IObjectInfo)->GetName(arg, &name) == PXM_S_OK && std::wstring(name.m_Text, name.m_Length) == kClasses[i]);
    }
  }
}

TEST(Exports, IdentifiersAndEntryPoints) {
  const uint8_t unknownBytes[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  EXPECT_EQ(std::memcmp(dlsym(Host().handle, "IID_IUnknown"), unknownBytes, 16), 0);
  EXPECT_EQ(*static_cast<const IID*>(dlsym(Host().handle, "IID_NULL")), pxm::iid::Null);
  for (const char* name : kInterfaces) {
    const auto* exported = static_cast<const IID*>(dlsym(Host().handle, (std::string("IID_") + name).c_str()));
    EXPECT_TRUE(std::string_view(name) == "IString" || (exported && *exported == pxm::IIDFromName(name))) << name;
  }
  using pxm::PackIIDName;  // the worked examples
  static_assert(PackIIDName("IString") == pxm::IIDBytes{{0x69, 0x52, 0x99, 0xDC, 0x01}} && PackIIDName("I4") == pxm::IIDBytes{{0x09, 0x04}});
  static_assert(PackIIDName("I4A") == PackIIDName("I4") && PackIIDName("ipxmimage") == PackIIDName("IPXMImage") && PackIIDName("A5") == PackIIDName("A_"));
  static_assert(PackIIDName("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == PackIIDName("ABCDEFGHIJKLMNOPQRSTUVWXY") &&
                PackIIDName("ABCDEFGHIJKLMNOPQRSTUVWXY") != PackIIDName("ABCDEFGHIJKLMNOPQRSTUVWXZ"));
  // The 25th character fills bits 120 to 124; the sixth bit of a '4' there is bit 125.
  static_assert(PackIIDName("AAAAAAAAAAAAAAAAAAAAAAAA4").b[15] == 0x20);
  EXPECT_TRUE(!dlsym(Host().handle, "gGlobalComponentCollection") && !dlsym(Host().handle, "_Z20MODULECreateFunction12tagREFStringS_"));
  // InitializeModule keeps one reference to the collection, under either name; null drops it.
  for (const char* name : {"InitializeModule", "_Z16InitializeModulePvP20IComponentCollection"}) {
    auto initialize = reinterpret_cast<PXMInitializeModuleFunction>(dlsym(Host().handle, name));
    ASSERT_NE(initialize, nullptr) << name;
    CountingCollection collection;  // again: the old reference goes, a new one is kept
    const std::vector<uint32_t> seen{uint32_t(initialize(nullptr, &collection)), uint32_t(initialize(nullptr, &collection)), collection.References(),
                                     uint32_t(initialize(nullptr, nullptr)), collection.References()};
    EXPECT_EQ(seen, (std::vector<uint32_t>{0, 0, 2, 0, 1}));
  }
}

// The slot of a virtual operation, from its pointer to member (Itanium C++ ABI: 1 + the slot's byte offset).
template <class F>
size_t SlotOf(F operation) {
  struct { uintptr_t pointer; ptrdiff_t adjustment; } raw;
  static_assert(sizeof(raw) == sizeof(operation));
  return std::memcpy(&raw, &operation, sizeof(raw)), (raw.pointer - 1) / sizeof(void*);
}
template <class... F>
std::vector<size_t> Slots(F... operations) { return {SlotOf(operations)...}; }

TEST(SlotOrder, TheHeadersPutEveryOperationInItsSlot) {
  using V = std::vector<size_t>;
  EXPECT_EQ(Slots(&IUnknown::QueryInterface, &IUnknown::Release, &IObjectInfo::GetName, &IPXMImageRender::Render, &IRenderableObject::Render), (V{0, 2, 3, 3, 3}));
  EXPECT_EQ(Slots(&IPXMImage::GetSize, &IPXMImage::GetPixelDescriptor, &IPXMImage::GetImage, &IPXMImage::Create, &IPXMImage::IsCreatable, &IPXMImage::Copy,
                  &IPXMImage::Equal, &IPXMImageDIB::Load, &IPXMImageDIB::GetDIB, &IPXMImageDIB::CreateOnDIB), (V{3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(Slots(&IPXMImageCANVAS::get_CANVAS, &IPXMImageCANVAS::get_TransparentColor, &IPXMImageCANVAS::put_TransparentColor,
                  &IPXMImageCANVAS::CreateOnCANVAS, &IPXMImagePalette::SetPalette, &IPXMImagePalette::GetPalette, &IDataPersist::Save, &IDataPersist::Load),
            (V{10, 11, 12, 13, 3, 4, 3, 4}));
  EXPECT_EQ(Slots(&IComponentCollection::GetComponent, &IComponentString::CreateObject, &IComponentString::SetPart, &IString::GetText,
                  &ICreatableString::SetText, &ICreatableString::AppendText, &IPXMTransform::Apply), (V{16, 5, 6, 3, 4, 5, 10}));
  EXPECT_EQ(Slots(&IFolderStream::Reserve, &IFolderStream::Read, &IFolderStream::Write, &IFolderStream::CreateFolder, &IFolderStream::WriteValue,
                  &IFolderStream::ReadValue, &IFolderStream::OpenFolder), (V{5, 7, 8, 9, 11, 16, 18}));
}
