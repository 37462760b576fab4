// Without a collection the module makes its string component from the sibling module, and fills
// the global collection from it on first use.
#include <gtest/gtest.h>

#include "ModuleHost.h"
#include "PXM/HostServices.h"
#include "PXM/Module.h"
#include "PXM/REFString.h"

namespace {

TEST(HostStrings, FallBackToTheSiblingModulesStringComponent) {
  ASSERT_FALSE(gGlobalComponentCollection);
  ComPtr<ICreatableString> string(CREFString::CreateString());
  ASSERT_TRUE(string);
  ASSERT_EQ(string->SetText(3, L"abc"), PXM_S_OK);
  const wchar_t* text = nullptr;
  uint32_t length = 0;
  string->GetText(&text, &length);
  EXPECT_EQ(std::wstring(text, length), L"abc");
  EXPECT_FALSE(gGlobalComponentCollection) << "strings alone do not fill the collection";
}

TEST(HostStrings, TheTransformFillsTheGlobalCollectionFromTheSibling) {
  SmartPtr<IPXMTransform> transform = GetTransformComponent();
  EXPECT_TRUE(transform);
  EXPECT_TRUE(gGlobalComponentCollection);
  IComponentCollection* filled = gGlobalComponentCollection.Get();
  EXPECT_EQ(GlobalComponentCollection(), filled) << "filled once, then kept";
}

}  // namespace
