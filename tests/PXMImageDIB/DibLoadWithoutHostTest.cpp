// Loading with no host framework at all: no collection was handed to the module and the current
// folder holds no sibling modules, so neither a host string nor the transform can be had. The
// path is then used as given, and colour files load without the transform step.
#include <gtest/gtest.h>

#include "DibTestSupport.h"

namespace {

TEST(DibLoadWithoutHost, PathAsGivenAndNoTransform) {
  ASSERT_EQ(chdir(ScratchFolder().c_str()), 0);
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  ASSERT_TRUE(dib);
  const Bytes colour = MakeBlock(InfoHeaderBytes({.width = 3, .height = 2}), 0, 4, 12, 2);
  std::wstring path = WriteFile("colour.bmp", MakeFile(colour).data).wstring();
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  PathString colourPath(path), greyPath(std::wstring(L"grey.bmp"));
  ASSERT_EQ(dib->Load(&colourPath), PXM_S_OK);
  uint8_t* block = nullptr;
  uint32_t size = 0;
  dib->GetDIB(&block, &size);
  EXPECT_EQ(std::vector<uint8_t>(block, block + size), colour.data) << "rows as read: no transform";
  ASSERT_EQ(dib->Load(&greyPath), PXM_E_FAIL) << "not written yet";
  WriteFile("grey.bmp", MakeFile(MakeBlock(InfoHeaderBytes({.width = 3, .height = 2, .bitsPerPixel = 8}), 256, 4, 4, 2)).data);
  ASSERT_EQ(dib->Load(&greyPath), PXM_S_OK) << "relative to the current folder";
}

}  // namespace
