// Loading in a process that was handed no collection, run from a folder holding a library planted
// under the host module's name: the module finds the host module beside itself, never in the
// current folder, so the planted library is never opened; the path itself is still taken
// relative to the current folder.
#include <gtest/gtest.h>

#include "DibTestSupport.h"

namespace {

TEST(DibLoadWithoutHost, SiblingsComeFromBesideTheModuleNotTheCurrentFolder) {
  const std::filesystem::path planted = ScratchFolder() / "_binLinux" / ("DuvirovurozAd" PXM_MODULE_SUFFIX);
  std::filesystem::create_directories(planted.parent_path());
  std::filesystem::copy_file(ModulePath("PXMPlantedSibling"), planted);
  ASSERT_EQ(chdir(ScratchFolder().c_str()), 0);
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  ASSERT_TRUE(dib);
  const Bytes colour = MakeBlock(InfoHeaderBytes({.width = 3, .height = 2}), 0, 4, 12, 2);
  std::wstring path = WriteFile("colour.bmp", MakeFile(colour).data).wstring();
  for (wchar_t& c : path) c = c == L'\\' ? L'/' : c == L'/' ? L'\\' : c;
  PathString colourPath(path), greyPath(std::wstring(L"grey.bmp"));
  const uint64_t applies = TransformApplies();
  ASSERT_EQ(dib->Load(&colourPath), PXM_S_OK);
  EXPECT_EQ(TransformApplies() - applies, 1u) << "the real host module's transform";
  ASSERT_EQ(dib->Load(&greyPath), PXM_E_FAIL) << "not written yet";
  WriteFile("grey.bmp", MakeFile(MakeBlock(InfoHeaderBytes({.width = 3, .height = 2, .bitsPerPixel = 8}), 256, 4, 4, 2)).data);
  ASSERT_EQ(dib->Load(&greyPath), PXM_S_OK) << "relative to the current folder";
  EXPECT_FALSE(std::filesystem::exists("planted-sibling-was-loaded"));
}

}  // namespace
