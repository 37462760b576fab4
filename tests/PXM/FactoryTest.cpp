// The module as a host meets it: entry points, creators, reference counts, interface maps.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "ModuleHost.h"

namespace {

const ModuleHost& Host() { return ModuleHost::Get(); }

HRESULT Lookup(const wchar_t* text, uint32_t length, void** creator) {
  return Host().createFunction(tagREFString{length, text}, creator);
}

TEST(CreateFunction, MatchesWholeNamesExactlyLengthFirst) {
  void* creator = nullptr;
  EXPECT_EQ(Lookup(L"PXMImage", 8, &creator), PXM_S_OK);
  EXPECT_NE(creator, nullptr);
  void* marker = reinterpret_cast<void*>(0x1234);
  creator = marker;
  EXPECT_EQ(Lookup(L"PXMImage", 7, &creator), PXM_E_FAIL);
  EXPECT_EQ(Lookup(L"PXMImageX", 9, &creator), PXM_E_FAIL);
  EXPECT_EQ(Lookup(L"pxmimage", 8, &creator), PXM_E_FAIL);
  EXPECT_EQ(Lookup(L"PXMImagf", 8, &creator), PXM_E_FAIL);
  EXPECT_EQ(Lookup(L"", 0, &creator), PXM_E_FAIL);
  EXPECT_EQ(creator, marker) << "a refused name leaves the out-pointer unchanged";

  // Only the given length counts: the text may go on and need not be terminated.
  const wchar_t unterminated[] = {L'P', L'X', L'M', L'I', L'm', L'a', L'g', L'e', L'D', L'I', L'B'};
  void* raster = nullptr;
  void* dib = nullptr;
  EXPECT_EQ(Lookup(unterminated, 8, &raster), PXM_S_OK);
  EXPECT_EQ(Lookup(unterminated, 11, &dib), PXM_S_OK);
  void* canvas = nullptr;
  EXPECT_EQ(Lookup(L"PXMImageCANVAS", 14, &canvas), PXM_S_OK);
  EXPECT_NE(raster, dib);
  EXPECT_NE(dib, canvas);
}

TEST(Creator, HandsOutTheOnlyReference) {
  for (const wchar_t* name : {L"PXMImage", L"PXMImageDIB", L"PXMImageCANVAS"}) {
    SCOPED_TRACE(testing::Message() << "class " << std::wstring(name).size());
    PXMCreatorFunction creator = Host().Creator(name);
    ASSERT_NE(creator, nullptr);
    IUnknown* object = nullptr;
    ASSERT_EQ(creator(nullptr, &pxm::iid::IUnknown, reinterpret_cast<void**>(&object)), PXM_S_OK);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(object->Release(), 0u);

    // A refused interface: the result of QueryInterface, null, and no object left behind.
    void* out = reinterpret_cast<void*>(0x1);
    const IID unknown = pxm::IIDFromName("INotOffered");
    EXPECT_EQ(creator(nullptr, &unknown, &out), PXM_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
}

struct MapCase {
  const wchar_t* className;
  std::vector<const char*> offered;
  std::vector<const char*> refused;
};

class InterfaceMap : public testing::TestWithParam<MapCase> {};

TEST_P(InterfaceMap, AnswersExactlyItsInterfacesWithOneIdentity) {
  const MapCase& c = GetParam();
  ComPtr<IUnknown> object = Host().Create<IUnknown>(c.className, pxm::iid::IUnknown);
  ASSERT_TRUE(object);
  for (const char* name : c.offered) {
    SCOPED_TRACE(name);
    ComPtr<IUnknown> face = object.As<IUnknown>(pxm::IIDFromName(name));
    ASSERT_TRUE(face);
    // Through any interface, IUnknown gives the same pointer.
    ComPtr<IUnknown> identity = face.As<IUnknown>(pxm::iid::IUnknown);
    EXPECT_EQ(identity.Get(), object.Get());
    EXPECT_EQ(RefCount(object.Get()), 3u);
  }
  for (const char* name : c.refused) {
    SCOPED_TRACE(name);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(object->QueryInterface(pxm::IIDFromName(name), &out), PXM_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(RefCount(object.Get()), 1u);

  // IPXM and IPXMImage are one face, and so is the class's own image interface.
  ComPtr<IUnknown> pxmFace = object.As<IUnknown>(pxm::iid::IPXM);
  ComPtr<IUnknown> imageFace = object.As<IUnknown>(pxm::iid::IPXMImage);
  EXPECT_EQ(pxmFace.Get(), imageFace.Get());
}

INSTANTIATE_TEST_SUITE_P(
    Classes, InterfaceMap,
    testing::Values(
        MapCase{L"PXMImage",
                {"IPXM", "IPXMImage", "IObjectInfo", "IDataPersist"},
                {"IPXMImageDIB", "IPXMImageCANVAS", "IPXMImagePalette", "IPXMImageRender", "IRenderableObject",
                 "IFolderStream"}},
        MapCase{L"PXMImageDIB",
                {"IObjectInfo", "IPXM", "IPXMImage", "IPXMImageDIB", "IPXMImagePalette", "IPXMImageRender",
                 "IRenderableObject", "IDataPersist"},
                {"IPXMImageCANVAS", "IComponentCollection"}},
        MapCase{L"PXMImageCANVAS",
                {"IObjectInfo", "IPXM", "IPXMImage", "IPXMImageCANVAS", "IPXMImageRender", "IRenderableObject",
                 "IDataPersist"},
                {"IPXMImageDIB", "IPXMImagePalette", "IString"}}));

TEST(InterfaceMap, DibImageInterfaceIsTheSameFaceAsIPXMImage) {
  ComPtr<IPXMImageDIB> dib = Host().CreateDIB();
  ASSERT_TRUE(dib);
  ComPtr<IPXMImage> image = dib.As<IPXMImage>(pxm::iid::IPXMImage);
  EXPECT_EQ(static_cast<IPXMImage*>(dib.Get()), image.Get());
}

TEST(ObjectInfo, GetNameGivesTheClassNameForAnyArgument) {
  const std::pair<const wchar_t*, uint32_t> classes[] = {{L"PXMImage", 8}, {L"PXMImageDIB", 11}, {L"PXMImageCANVAS", 14}};
  for (const auto& [className, length] : classes) {
    ComPtr<IObjectInfo> info = Host().Create<IObjectInfo>(className, pxm::iid::IObjectInfo);
    ASSERT_TRUE(info);
    for (int arg : {0, 1, -1, 1 << 30}) {
      tagREFString name{0, nullptr};
      EXPECT_EQ(info->GetName(arg, &name), PXM_S_OK);
      EXPECT_EQ(name.m_Length, length);
      EXPECT_EQ(std::wstring(name.m_Text, name.m_Length), std::wstring(className));
    }
  }
}

TEST(Identifiers, ExportedAsDataWithTheirComputedValues) {
  const auto* unknown = static_cast<const IID*>(dlsym(Host().handle, "IID_IUnknown"));
  const auto* null = static_cast<const IID*>(dlsym(Host().handle, "IID_NULL"));
  ASSERT_NE(unknown, nullptr);
  ASSERT_NE(null, nullptr);
  const uint8_t unknownBytes[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  EXPECT_EQ(std::memcmp(unknown, unknownBytes, 16), 0);
  EXPECT_EQ(*null, pxm::iid::Null);
  for (const char* name : {"IObjectInfo", "IPXM", "IPXMImage", "IPXMImageDIB", "IPXMImageCANVAS", "IPXMImageRender",
                           "IRenderableObject", "IPXMImagePalette", "IDataPersist", "IFolderStream",
                           "IComponentCollection", "IComponentString", "ICreatableString", "IPXMTransform"}) {
    const auto* exported = static_cast<const IID*>(dlsym(Host().handle, (std::string("IID_") + name).c_str()));
    ASSERT_NE(exported, nullptr) << name;
    EXPECT_EQ(*exported, pxm::IIDFromName(name)) << name;
  }
}

TEST(Identifiers, PackingFollowsTheWorkedExamples) {
  static_assert(pxm::PackIIDName("IString") ==
                pxm::IIDBytes{{0x69, 0x52, 0x99, 0xDC, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}});
  static_assert(pxm::PackIIDName("I4") == pxm::IIDBytes{{0x09, 0x04}});
  static_assert(pxm::PackIIDName("I4A") == pxm::PackIIDName("I4"));
  static_assert(pxm::PackIIDName("ipxmimage") == pxm::PackIIDName("IPXMImage"));
  static_assert(pxm::PackIIDName("A5") == pxm::PackIIDName("A_"));
  static_assert(pxm::PackIIDName("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == pxm::PackIIDName("ABCDEFGHIJKLMNOPQRSTUVWXY"));
  static_assert(pxm::PackIIDName("ABCDEFGHIJKLMNOPQRSTUVWXY") != pxm::PackIIDName("ABCDEFGHIJKLMNOPQRSTUVWXZ"));
  // The 25th character fills bits 120 to 124; the sixth bit of a '4' there is bit 125.
  static_assert(pxm::PackIIDName("AAAAAAAAAAAAAAAAAAAAAAAA4").b[15] == 0x20);
  SUCCEED();
}

TEST(Exports, OnlyTheEntryPointsAndIdentifiers) {
  EXPECT_NE(dlsym(Host().handle, "InitializeModule"), nullptr);
  EXPECT_EQ(dlsym(Host().handle, "InitializeModule"), dlsym(Host().handle, "InitializeModule"));
  EXPECT_NE(dlsym(Host().handle, "_Z16InitializeModulePvP20IComponentCollection"), nullptr);
  EXPECT_EQ(dlsym(Host().handle, "gGlobalComponentCollection"), nullptr);
  EXPECT_EQ(dlsym(Host().handle, "_Z20MODULECreateFunction12tagREFStringS_"), nullptr);
}

}  // namespace
