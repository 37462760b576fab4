// The built DuvirovurozAd.so as a host loads it (dlopen by path, objects only through
// interfaces): its entry points, the collection, the string component and strings, data
// streams' folder views, and the "PXMTransform" component on images of every row direction.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "ModuleHost.h"
#include "TestImage.h"
#include "duvirovurozad/DuvirovurozAd.h"

namespace {

template <class F>
F Symbol(const char* name) {
  static void* library = dlopen(ModulePath("DuvirovurozAd").c_str(), RTLD_NOW | RTLD_LOCAL);
  return reinterpret_cast<F>(dlsym(library, name));
}
HRESULT Lookup(std::wstring_view name, void** creator) {
  return Symbol<PXMCreateFunction>("CreateFunction")({static_cast<uint32_t>(name.size()), name.data()}, creator);
}
template <class T>
ComPtr<T> Create(std::wstring_view className, const IID& iid) {
  void* creator = nullptr;
  ComPtr<T> object;
  if (PXM_SUCCEEDED(Lookup(className, &creator))) reinterpret_cast<PXMCreatorFunction>(creator)(nullptr, &iid, object.Out());
  return object;
}
const IID kIDataStream = pxm::IIDFromName("IDataStream");

class HostModule : public testing::Test {
 protected:
  void SetUp() override { live = LiveObjects(); }
  void TearDown() override { EXPECT_EQ(LiveObjects(), live) << "everything a test took is released"; }
  static int64_t LiveObjects() { return Symbol<int64_t (*)()>("DuvirovurozAdLiveObjects")(); }
  static ComPtr<ICreatableString> NewString() {
    ComPtr<IComponentString> component;
    Create<IComponentCollection>(L"GlobalComponentCollection", pxm::iid::IComponentCollection)
        ->GetComponent(15, L"CreatableString", nullptr, component.Out());
    ComPtr<ICreatableString> string;
    EXPECT_EQ(component->CreateObject(&pxm::iid::ICreatableString, string.Out()), PXM_S_OK) << "comes described";
    return string;
  }
  static std::wstring Text(IString* string) {
    const wchar_t* text = nullptr;
    uint32_t length = 99;
    EXPECT_EQ(string->GetText(&text, &length), PXM_S_OK);
    return std::wstring(text, length);
  }
  int64_t live = 0;
};

TEST_F(HostModule, CreateFunctionAndCreatorsHandOutOneReferenceOrNothing) {
  const std::pair<std::wstring_view, bool> names[] = {
      {L"GlobalComponentCollection", true}, {L"ComponentString", true}, {L"DataStream", true}, {L"DataStrea", false},
      {L"DataStreams", false}, {L"datastream", false}, {L"PXMImage", false}, {L"", false}};
  for (const auto& [name, found] : names) {
    void* creator = &live;
    EXPECT_EQ(Lookup(name, &creator), found ? PXM_S_OK : PXM_E_FAIL) << std::wstring(name).size();
    if (!found) {
      EXPECT_EQ(creator, &live) << "left unchanged";
      continue;
    }
    ComPtr<IUnknown> object = Create<IUnknown>(name, pxm::iid::IUnknown);
    EXPECT_EQ(RefCount(object.Get()), 1u);
    void* refused = &live;
    EXPECT_EQ(reinterpret_cast<PXMCreatorFunction>(creator)(nullptr, &pxm::iid::IPXMImage, &refused), PXM_E_NOINTERFACE);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(reinterpret_cast<PXMCreatorFunction>(creator)(nullptr, nullptr, &refused), PXM_E_POINTER);
  }
  void* creator = nullptr;
  EXPECT_EQ(Lookup(std::wstring_view(L"DataStreamAndMore", 10), &creator), PXM_S_OK) << "only the length counts";
  EXPECT_EQ(Symbol<PXMInitializeModuleFunction>("InitializeModule")(nullptr, nullptr), PXM_S_OK);
}

TEST_F(HostModule, GlobalCollectionIsSharedUntilItsLastReferenceAndFindsByName) {
  ComPtr<IComponentCollection> first = Create<IComponentCollection>(L"GlobalComponentCollection", pxm::iid::IComponentCollection);
  ComPtr<IComponentCollection> second = Create<IComponentCollection>(L"GlobalComponentCollection", pxm::iid::IComponentCollection);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_EQ(LiveObjects(), live + 1);
  EXPECT_EQ(RefCount(first.Get()), 2u);
  const struct {
    std::wstring_view name;
    const IID* iid;
    HRESULT result;
  } cases[] = {
      {L"CreatableString", nullptr, PXM_S_OK}, {L"CreatableString", &pxm::iid::IComponentString, PXM_S_OK},
      {L"CreatableString", &pxm::iid::IUnknown, PXM_S_OK}, {L"CreatableString", &pxm::iid::IPXMTransform, PXM_E_NOINTERFACE},
      {L"PXMTransform", &pxm::iid::IPXMTransform, PXM_S_OK}, {L"PXMTransform", nullptr, PXM_S_OK},
      {L"PXMTransform", &pxm::iid::IComponentString, PXM_E_NOINTERFACE}, {L"PXMTransfor", nullptr, PXM_E_FAIL},
      {L"pxmtransform", nullptr, PXM_E_FAIL}, {L"GlobalComponentCollection", nullptr, PXM_E_FAIL}, {L"", nullptr, PXM_E_FAIL},
  };
  for (const auto& c : cases) {
    void* component = &live;
    EXPECT_EQ(first->GetComponent(static_cast<uint32_t>(c.name.size()), c.name.data(), c.iid, &component), c.result)
        << std::wstring(c.name).size();
    EXPECT_EQ(component == nullptr, PXM_FAILED(c.result));
    if (component) static_cast<IUnknown*>(component)->Release();
  }
  EXPECT_EQ(first->GetComponent(3, nullptr, nullptr, nullptr), PXM_E_POINTER);
  first.Reset();
  second.Reset();
  EXPECT_EQ(LiveObjects(), live) << "gone with its last reference";
}

// The string component makes strings once described by the two parts the module sets; the
// collection's comes described. Strings hold what they are given, one object behind every face.
TEST_F(HostModule, StringComponentAndStrings) {
  const std::pair<std::wstring_view, std::wstring_view> parts[] = {{L"Collections", L"CreatableString"}, {L"", L""},
      {L"Collections", L""}, {L"", L"CreatableString"}, {L"Collections", L"CreatableStrin"}, {L"collections", L"CreatableString"}};
  for (const auto& [part4, part1] : parts) {
    ComPtr<IComponentString> component = Create<IComponentString>(L"ComponentString", pxm::iid::IComponentString);
    void* string = &live;
    EXPECT_EQ(component->CreateObject(&pxm::iid::ICreatableString, &string), PXM_E_FAIL) << "not described yet";
    EXPECT_EQ(string, nullptr);
    if (!part4.empty()) component->SetPart(4, uint32_t(part4.size()), part4.data());
    if (!part1.empty()) component->SetPart(1, uint32_t(part1.size()), part1.data());
    EXPECT_EQ(component->CreateObject(&pxm::iid::ICreatableString, &string), part4 == L"Collections" && part1 == L"CreatableString" ? PXM_S_OK : PXM_E_FAIL);
    ComPtr<IUnknown> made(static_cast<IUnknown*>(string));
  }
  ComPtr<ICreatableString> string = NewString();
  EXPECT_EQ(Text(string.Get()), L"");
  EXPECT_EQ(string->SetText(5, L"Width and more"), PXM_S_OK);
  for (wchar_t c : std::wstring_view(L"PXM")) EXPECT_EQ(string->AppendText(1, &c), PXM_S_OK);
  EXPECT_EQ(Text(string.Get()), L"WidthPXM");
  string->SetText(1, L"x");  // replaces; then its own text appended while it moves as it grows
  for (int i = 0; i < 12; ++i) {
    const wchar_t* text = nullptr;
    uint32_t length = 0;
    string->GetText(&text, &length);
    ASSERT_EQ(string->AppendText(length, text), PXM_S_OK);
  }
  EXPECT_EQ(Text(string.Get()), std::wstring(4096, L'x'));
  EXPECT_EQ(string->SetText(2, nullptr) & string->AppendText(2, nullptr) & string->GetText(nullptr, nullptr), PXM_E_POINTER);
  EXPECT_EQ(Text(string.Get()).size(), 4096u) << "refusals leave the text";
  for (const IID& iid : {pxm::IIDFromName("IString"), pxm::iid::ICreatableString, pxm::iid::IUnknown})
    EXPECT_EQ(string.As<IUnknown>(iid).Get(), static_cast<IUnknown*>(string.Get()));
  EXPECT_FALSE(string.As<IUnknown>(pxm::iid::IComponentString));
  // A data stream's folder views all show its one root folder; a view is no data stream.
  ComPtr<IDataStream> stream = Create<IDataStream>(L"DataStream", kIDataStream);
  ComPtr<IFolderStream> first = stream.As<IFolderStream>(pxm::iid::IFolderStream), second = stream.As<IFolderStream>(pxm::iid::IFolderStream);
  char read[4] = {};
  uint32_t count = 0;
  EXPECT_EQ(first->Write("abc", 3, nullptr), PXM_S_OK);
  EXPECT_EQ(second->Read(read, 3, &count), PXM_S_OK);
  EXPECT_STREQ(read, "abc");
  EXPECT_FALSE(first.As<IUnknown>(kIDataStream));
}

class Transform : public HostModule {
 protected:
  void SetUp() override {
    HostModule::SetUp();
    Create<IComponentCollection>(L"GlobalComponentCollection", pxm::iid::IComponentCollection)
        ->GetComponent(12, L"PXMTransform", &pxm::iid::IPXMTransform, transform.Out());
    ASSERT_TRUE(transform);
  }
  void TearDown() override {
    transform.Reset();
    HostModule::TearDown();
  }
  static uint64_t Applied() { return Symbol<uint64_t (*)()>("DuvirovurozAdTransformApplyCount")(); }
  // Every row of every plane, padding included, in row order.
  static std::vector<uint8_t> Rows(TestImage& image) {
    std::vector<uint8_t> out;
    for (uint32_t p = 0; p < image.GetShape().planes; ++p)
      for (uint32_t y = 0; y < image.GetShape().height; ++y)
        out.insert(out.end(), image.Row(p, y), image.Row(p, y) + image.RowBytes() + image.GetShape().padding);
    return out;
  }
  ComPtr<IPXMTransform> transform;
};

TEST_F(Transform, SwapsFirstAndThirdByteOfColourPixelsOnly) {
  const struct {
    TestImage::Shape shape;
    bool swaps;
  } cases[] = {
      {{5, 3, 24, FOURCC_BGR, 1, true, 1}, true}, {{17, 4, 24, FOURCC_RGB, 1, false, 0}, true},  // a 48-byte block and a tail
      {{9, 3, 32, FOURCC_ARGB, 1, true, 4}, true}, {{3, 2, 24, FOURCC_RGB, 3, false, 2}, true},  // every plane
      {{5, 3, 32, FOURCC_MONO, 1, false, 0}, false}, {{5, 3, 8, FOURCC_RGB, 1, true, 3}, false},
      {{5, 3, 16, FOURCC_RGB, 1, true, 2}, false}, {{0, 0, 24, FOURCC_RGB, 1, false, 0}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.shape.width << "x" << c.shape.height << " at " << c.shape.bitsPerPixel);
    ComPtr<TestImage> image = TestImage::Make(c.shape), expected = TestImage::Make(c.shape);
    image->FillPattern(c.shape.width);
    expected->FillPattern(c.shape.width);
    const std::vector<uint8_t> before = Rows(*image.Get());
    for (uint32_t p = 0; c.swaps && p < c.shape.planes; ++p)
      for (uint32_t y = 0; y < c.shape.height; ++y)
        for (uint32_t x = 0; x < c.shape.width; ++x) {
          uint8_t* pixel = expected->Row(p, y) + x * c.shape.bitsPerPixel / 8;
          std::swap(pixel[0], pixel[2]);
        }
    const uint64_t applied = Applied();
    ASSERT_EQ(transform->Apply(image.Get()), PXM_S_OK);
    EXPECT_EQ(Applied(), applied + 1);
    EXPECT_EQ(RefCount(static_cast<IPXMImage*>(image.Get())), 1u) << "nothing kept";
    EXPECT_EQ(Rows(*image.Get()), Rows(*expected.Get()));
    ASSERT_EQ(transform->Apply(image.Get()), PXM_S_OK);
    EXPECT_EQ(Rows(*image.Get()), before) << "twice in a row restores";
  }
}

TEST_F(Transform, RefusesWhatItCannotUseBeforeChangingAnything) {
  EXPECT_EQ(transform->Apply(nullptr), PXM_E_POINTER);
  ComPtr<TestImage> failing = TestImage::Make({4, 2, 24, FOURCC_RGB});
  failing->getImageResult = PXM_E_FAIL;
  EXPECT_EQ(transform->Apply(failing.Get()), PXM_E_FAIL);
  // A plane reported smaller than its rows: refused before any plane changes.
  ComPtr<TestImage> shortPlane = TestImage::Make({4, 2, 24, FOURCC_RGB, 2, true, 0});
  shortPlane->FillPattern(1);
  const std::vector<uint8_t> before = Rows(*shortPlane.Get());
  shortPlane->sizeShortfall = 1;
  EXPECT_EQ(transform->Apply(shortPlane.Get()), PXM_E_INVALIDARG);
  EXPECT_EQ(Rows(*shortPlane.Get()), before);
}

}  // namespace
