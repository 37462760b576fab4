// The built DuvirovurozAd.so as a host loads it (dlopen by path, objects only through interfaces): its entry points, the collection, the
// string component and strings, and the "PXMTransform" component on images of every row direction.
#include <gtest/gtest.h>

#include "ModuleHost.h"
#include "TestImage.h"

ComPtr<IComponentCollection> Collection() { return HostCreate<IComponentCollection>(L"GlobalComponentCollection", pxm::iid::IComponentCollection); }

struct HostModule : testing::Test {
  void TearDown() override { EXPECT_EQ(HostObjects(), live) << "everything a test took is released"; }
  const int64_t live = HostObjects();
};

// The creators and the shared collection hand out what they are asked for. The string component makes strings once described by the two
// parts the module sets; the collection's comes described. Strings hold what they are given, one object behind every face.
TEST_F(HostModule, CreatorsCollectionStringComponentAndStrings) {
  for (std::wstring_view name : {L"GlobalComponentCollection", L"ComponentString", L"DataStream"})
    EXPECT_TRUE(RefCount(HostCreate<IUnknown>(name, pxm::iid::IUnknown).Get()) == 1 && !HostCreate<IUnknown>(name, pxm::iid::IPXMImage)) << "refused: null";
  void* creator = &creator;
  EXPECT_TRUE((HostLookup(L"DataStrea", &creator) & HostLookup(L"datastream", &creator) & HostLookup(L"", &creator)) == PXM_E_FAIL && creator == &creator) << "left unchanged";
  EXPECT_EQ(HostLookup(std::wstring_view(L"DataStreamAndMore", 10), &creator), PXM_S_OK) << "only the length counts";
  EXPECT_EQ(HostModuleFunction<PXMInitializeModuleFunction>("InitializeModule")(nullptr, nullptr), PXM_S_OK);
  ComPtr<IComponentCollection> first = Collection(), second = Collection();
  EXPECT_TRUE(first.Get() == second.Get() && RefCount(first.Get()) == 2 && HostObjects() == live + 1) << "one collection until its last reference";
  const struct { std::wstring_view name; const IID* iid; HRESULT result; } cases[] = {
      {L"CreatableString", nullptr, PXM_S_OK}, {L"CreatableString", &pxm::iid::IComponentString, PXM_S_OK},
      {L"CreatableString", &pxm::iid::IPXMTransform, PXM_E_NOINTERFACE}, {L"PXMTransform", &pxm::iid::IPXMTransform, PXM_S_OK},
      {L"PXMTransform", nullptr, PXM_S_OK}, {L"PXMTransform", &pxm::iid::IComponentString, PXM_E_NOINTERFACE},
      {L"PXMTransfor", nullptr, PXM_E_FAIL}, {L"pxmtransform", nullptr, PXM_E_FAIL}, {L"GlobalComponentCollection", nullptr, PXM_E_FAIL},
  };
  void* component = &creator;
  for (const auto& c : cases) {
    EXPECT_EQ(first->GetComponent(uint32_t(c.name.size()), c.name.data(), c.iid, &(component = &creator)), c.result) << c.name.size();
    EXPECT_EQ(!ComPtr<IUnknown>(static_cast<IUnknown*>(component)), PXM_FAILED(c.result));
  }
  EXPECT_EQ(first->GetComponent(3, nullptr, nullptr, nullptr) & first->GetComponent(3, nullptr, nullptr, &component), PXM_E_POINTER);  // no text
  EXPECT_TRUE(first->GetComponent(0, nullptr, nullptr, &component) == PXM_E_FAIL && component == nullptr) << "no name at all: not found";
  const std::pair<std::wstring_view, std::wstring_view> parts[] = {{L"Collections", L"CreatableString"}, {L"", L"CreatableString"},
      {L"Collections", L""}, {L"Collections", L"CreatableStrin"}, {L"collections", L"CreatableString"}};
  for (const auto& [part4, part1] : parts) {
    ComPtr<IComponentString> made = HostCreate<IComponentString>(L"ComponentString", pxm::iid::IComponentString);
    void* string = &string;
    EXPECT_TRUE(made->CreateObject(&pxm::iid::ICreatableString, &string) == PXM_E_FAIL && string == nullptr) << "not described yet";
    made->SetPart(4, uint32_t(part4.size()), part4.data()); made->SetPart(1, uint32_t(part1.size()), part1.data());
    EXPECT_EQ(made->CreateObject(&pxm::iid::ICreatableString, &string), part4 == L"Collections" && part1 == L"CreatableString" ? PXM_S_OK : PXM_E_FAIL);
    ComPtr<IUnknown> release(static_cast<IUnknown*>(string));
  }
  ComPtr<IComponentString> described;
  first->GetComponent(15, L"CreatableString", nullptr, described.Out());
  ComPtr<ICreatableString> string;
  ASSERT_TRUE(described->CreateObject(&pxm::iid::ICreatableString, string.Out()) == PXM_S_OK && TextOf(string.Get()).empty());
  EXPECT_EQ((std::vector<HRESULT>{string->SetText(5, L"Width and more"), string->AppendText(1, L"P"), string->AppendText(2, L"XM")}), std::vector<HRESULT>(3));
  EXPECT_EQ(TextOf(string.Get()), L"WidthPXM");
  string->SetText(1, L"x");  // replaces; then its own text appended while it moves as it grows
  tagREFString text{0, nullptr};
  for (int i = 0; i < 12; ++i) ASSERT_EQ((string->GetText(&text.m_Text, &text.m_Length), string->AppendText(text.m_Length, text.m_Text)), PXM_S_OK);
  EXPECT_EQ(string->SetText(2, nullptr) & string->AppendText(1, nullptr) & string->GetText(nullptr, &text.m_Length) & string->GetText(&text.m_Text, nullptr),
            PXM_E_POINTER);
  EXPECT_EQ(TextOf(string.Get()), std::wstring(4096, L'x')) << "refusals leave the text";
  for (const IID& iid : {pxm::IIDFromName("IString"), pxm::iid::ICreatableString, pxm::iid::IUnknown})
    EXPECT_EQ(string.As<IUnknown>(iid).Get(), static_cast<IUnknown*>(string.Get()));
  EXPECT_FALSE(string.As<IUnknown>(pxm::iid::IComponentString));
}

// Bytes 0 and 2 of every pixel of every plane swapped for colour of 24 and 32 bits, nothing else changed; what it cannot use (a failing
// image, planes reported smaller than their rows) is refused before anything changes.
TEST_F(HostModule, TransformSwapsFirstAndThirdByteOfColourPixelsOnly) {
  ComPtr<IPXMTransform> transform;
  Collection()->GetComponent(12, L"PXMTransform", &pxm::iid::IPXMTransform, transform.Out());
  struct Case { TestImage::Shape shape; HRESULT getImage = PXM_S_OK, result = PXM_S_OK; uint32_t shortfall = 0; };
  std::vector<Case> cases = {{{9, 3, 32, FOURCC_ARGB, 1, true, 4}}, {{3, 2, 24, FOURCC_RGB, 3, false, 2}},  // every plane
      {{5, 3, 32, FOURCC_MONO, 1, false, 0}}, {{5, 3, 8, FOURCC_RGB, 1, true, 3}}, {{5, 3, 16, FOURCC_RGB, 1, true, 2}},
      {{4, 2, 24, FOURCC_RGB}, PXM_E_FAIL, PXM_E_FAIL}, {{4, 2, 24, FOURCC_RGB, 2, true, 0}, PXM_S_OK, PXM_E_INVALIDARG, 1}};
  // Every tail after none to four vector blocks, in rows at every alignment.
  for (uint32_t width : {0, 1, 2, 3, 5, 7, 15, 16, 17, 31, 32, 33, 47, 48, 49, 63, 64, 65, 70, 1001})
    for (uint32_t bits : {24, 32}) cases.push_back({{width, 2, bits, width % 2 ? FOURCC_BGR : FOURCC_RGB, 1, width % 3 == 0, width % 8}});
  for (const auto& [shape, getImage, result, shortfall] : cases) {
    SCOPED_TRACE(testing::Message() << shape.width << "x" << shape.height << " at " << shape.bitsPerPixel);
    ComPtr<TestImage> image = TestImage::Make(shape);
    image->FillPattern(shape.width);
    image->getImageResult = getImage; image->sizeShortfall = shortfall;
    std::vector<std::vector<uint8_t>> expected = image->Planes();
    const size_t pitch = image->RowBytes() + shape.padding, pixel = shape.bitsPerPixel / 8;
    for (std::vector<uint8_t>& plane : expected)
      for (size_t i = 0; result == PXM_S_OK && shape.fourcc != FOURCC_MONO && pixel >= 3 && i < plane.size(); ++i)
        if (i % pitch < shape.width * pixel && i % pitch % pixel == 0) std::swap(plane[i], plane[i + 2]);
    ASSERT_EQ(transform->Apply(image.Get()), result);
    EXPECT_EQ(image->Planes(), expected);
    EXPECT_TRUE(uint32_t(image->getImageCalls) <= 2 * shape.planes && RefCount(static_cast<IPXMImage*>(image.Get())) == 1) << "no plane past the last, nothing kept";
  }
  EXPECT_EQ(transform->Apply(nullptr), PXM_E_POINTER);
}
