// Loading with no host framework at all: no collection was handed to the module and the current
// folder holds no sibling modules, so no host string and no transform can be had. The path is
// then used as given, and colour files load without the transform step.
#include <gtest/gtest.h>
#include <unistd.h>

#include "DibTestSupport.h"

namespace {

class NoSiblingModules : public testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(chdir(ScratchFolder().c_str()), 0); }
};
const testing::Environment* const kEnvironment = testing::AddGlobalTestEnvironment(new NoSiblingModules);

TEST(LoadWithoutHost, PathAsGivenAndNoTransform) {
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  ASSERT_TRUE(dib);
  const Bytes colour = MakeBlock(InfoHeaderBytes({.width = 3, .height = 2, .bitsPerPixel = 24}), 0, 4, 12, 2);
  std::wstring path = WriteFile("colour.bmp", MakeFile(colour).data).wstring();
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  ASSERT_EQ(dib->Load(HostText(path).Get()), PXM_S_OK);
  uint8_t* block = nullptr;
  uint32_t size = 0;
  dib->GetDIB(&block, &size);
  ASSERT_EQ(size, colour.size());
  EXPECT_EQ(std::vector<uint8_t>(block, block + size), colour.data) << "rows as read: no transform";

  const Bytes grey = MakeBlock(InfoHeaderBytes({.width = 3, .height = 2, .bitsPerPixel = 8}), 256, 4, 4, 2);
  ASSERT_EQ(dib->Load(HostText(L"grey.bmp").Get()), PXM_E_FAIL) << "not written yet";
  WriteFile("grey.bmp", MakeFile(grey).data);
  ASSERT_EQ(dib->Load(HostText(L"grey.bmp").Get()), PXM_S_OK) << "relative to the current folder";
  uint32_t fourcc = 0;
  dib->GetPixelDescriptor(nullptr, &fourcc, nullptr);
  EXPECT_EQ(fourcc, FOURCC_MONO);
}

}  // namespace
