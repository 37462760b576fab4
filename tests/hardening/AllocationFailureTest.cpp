// Every allocation of an operation fails in turn: Create of each class, Load of a bitmap file,
// Copy into each class, rendering, Save and Load of records and parsing stream bytes. Each run
// must end with a result code of the module's contract, free all it allocated, and keep what is
// promised: a failed Load keeps the previous image, a failed Create leaves an empty or whole one.
#include <gtest/gtest.h>

#include <CoreGraphics/CoreGraphics.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "FailingAllocator.h"
#include "FuzzHost.h"
#include "TestImage.h"

namespace {

// Runs the operation with the allocator armed and checks its result code.
using Armed = std::function<HRESULT(const std::function<HRESULT()>&)>;

// One run without failures first (it fills what the module keeps for good and counts the
// operation's allocations), then one run per allocation with the n-th failing, each of which
// must free what it allocated.
void Sweep(const std::string& name, const std::function<void(const Armed&)>& scenario, long atLeast = 0) {
  SCOPED_TRACE(name);
  long count = 0;
  for (long n = 0; n <= count; ++n) {
    failing::Start();
    scenario([&](const std::function<HRESULT()>& op) {
      failing::Arm(n);
      const HRESULT hr = op();
      if (n == 0) count = failing::Attempts();
      failing::Disarm();
      const HRESULT contract[] = {PXM_S_OK,      PXM_S_FALSE,   PXM_E_FAIL,        PXM_E_OUTOFMEMORY,  PXM_E_INVALIDARG,
                                  PXM_E_POINTER, PXM_E_NOTIMPL, PXM_E_NOINTERFACE, PXM_E_NOTCREATABLE};
      EXPECT_NE(std::find(std::begin(contract), std::end(contract), hr), std::end(contract))
          << "allocation " << n << " failing: result 0x" << std::hex << hr;
      return hr;
    });
    const long outstanding = failing::Outstanding();
    failing::Stop();
    EXPECT_EQ(n > 0 ? outstanding : 0, 0) << "blocks left by the run with allocation " << n << " failing";
  }
  EXPECT_GE(count, atLeast);
  std::printf("%-16s %ld allocations\n", name.c_str(), count);
}

struct Shape {
  uint32_t width, height, planes, bits, fourcc;
};
const Shape kShapes[] = {{7, 5, 3, 8, FOURCC_MONO}, {7, 5, 1, 24, FOURCC_RGB}, {7, 5, 1, 8, FOURCC_RGB}};
const Shape kSmall = {2, 2, 1, 8, FOURCC_MONO};

ComPtr<IPXMImage> Made(const wchar_t* className, const Shape& s) {
  ComPtr<IPXMImage> image = NewImage(className);
  if (image) image->Create(s.width, s.height, s.planes, s.bits, s.fourcc);
  return image;
}
std::string Name(const char* what, const Shape& s) { return what + std::to_string(s.bits) + "/" + std::to_string(s.planes); }

class AllocationFailure : public testing::Test {
 protected:
  static void SetUpTestSuite() { ModuleHost::Get(), HostApi::Get(); }
};

TEST_F(AllocationFailure, CreateOfEachClassLeavesAnEmptyOrAWholeImage) {
  for (const wchar_t* className : kClassNames) {
    const PXMCreatorFunction creator = ModuleHost::Get().Creator(className);  // the lookup allocates
    for (const Shape& s : kShapes)
      Sweep(Name("Create ", s), [&](const Armed& armed) {
        ComPtr<IPXMImage> image;
        armed([&] {
          const HRESULT made = creator(nullptr, &pxm::iid::IPXMImage, image.Out());
          return PXM_FAILED(made) ? made : image->Create(s.width, s.height, s.planes, s.bits, s.fourcc);
        });
        // Empty (no size, or no plane's pixels: a canvas keeps the size it got no pixels for) or whole.
        const view::Described d = image ? view::Describe(image.Get()) : view::Described{};
        uint32_t withPixels = 0;
        for (uint32_t p = 0; d.width && d.height && p < d.planes; ++p) withPixels += view::Plane(image.Get(), p).data != nullptr;
        EXPECT_TRUE(!withPixels || (std::vector{withPixels, d.width, d.height}) == (std::vector{d.planes, s.width, s.height}));
      }, 1);
  }
}

TEST_F(AllocationFailure, LoadKeepsThePreviousImage) {
  const auto sweep = [](const std::string& name, const std::string& path, uint32_t width, uint32_t height) {
    const std::wstring widePath(path.begin(), path.end());
    Sweep(name, [&](const Armed& armed) {
      ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
      ASSERT_EQ(dib->Create(3, 2, 1, 32, FOURCC_ARGB), PXM_S_OK);
      uint8_t *before = nullptr, *after = nullptr;
      dib->GetDIB(&before, nullptr);
      PathString text(widePath);
      const HRESULT hr = armed([&] { return dib->Load(&text); });
      uint32_t w = 0, h = 0;
      dib->GetSize(&w, &h, nullptr);
      dib->GetDIB(&after, nullptr);
      if (PXM_FAILED(hr)) {
        EXPECT_EQ(after, before);
      }
      EXPECT_EQ(w * 10 + h, PXM_FAILED(hr) ? 32 : width * 10 + height);
    }, 2);
  };
  const auto write = [](const std::string& name, const void* bytes, size_t size, const uint8_t* more = nullptr, size_t moreSize = 0) {
    const std::string path = testing::TempDir() + name;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes, 1, size, out);
    if (more) std::fwrite(more, 1, moreSize, out);
    std::fclose(out);
    return path;
  };
  for (const Shape& s : kShapes) {
    // A bitmap file of the module's own making: colour (through the host's transform) or grey.
    uint8_t* block = nullptr;
    uint32_t size = 0;
    ComPtr<IPXMImage> made = Made(L"PXMImageDIB", s);
    made.As<IPXMImageDIB>(pxm::iid::IPXMImageDIB)->GetDIB(&block, &size);
    ASSERT_TRUE(block);
    sweep(Name("Load ", s), write("alloc-" + std::to_string(s.bits) + ".bmp", "BM\0\0\0\0\0\0\0\0\0\0\0\0", 14, block, size), s.width, s.height);
  }
  // Files decoded into a new block: 5-6-5 bit fields (a 40-byte header and three masks), 2 x 3,
  // and run-length 8-bit, 4 x 2 (no palette entries: the offset says the rows follow the header).
  const uint8_t bitFields[] = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 66, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 1, 0, 16, 0,
                               3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0, 0, 0xE0,
                               7, 0, 0, 0x1F, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const uint8_t runLength[] = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0,
                               1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 9, 0, 0, 0, 1};
  sweep("Load 5-6-5", write("alloc-565.bmp", bitFields, sizeof bitFields), 2, 3);
  sweep("Load RLE8", write("alloc-rle8.bmp", runLength, sizeof runLength), 4, 2);
}

TEST_F(AllocationFailure, CopyIntoEachClassAndRender) {
  CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  CGContextRef context = CGBitmapContextCreate(nullptr, 16, 16, 8, 0, space, kCGImageAlphaPremultipliedLast);
  CGColorSpaceRelease(space);
  for (const Shape& s : kShapes) {
    for (const wchar_t* sourceClass : kClassNames) {
      ComPtr<IPXMImage> source = Made(sourceClass, s);
      for (const wchar_t* className : kClassNames)
        Sweep(Name("Copy ", s), [&](const Armed& armed) {
          ComPtr<IPXMImage> target = Made(className, kSmall);
          armed([&] { return target->Copy(source.Get(), 0); });
          ReadEverything(target.Get());
        });
      if (auto render = source.As<IPXMImageRender>(pxm::iid::IPXMImageRender)) {
        CANVASRect destination{1, 2, 12, 9};
        Sweep(Name("Render ", s), [&](const Armed& armed) {
          armed([&] { return render->Render(context, &destination, nullptr); });
        });
      }
    }
  }
  CGContextRelease(context);
}

TEST_F(AllocationFailure, RecordsSavedParsedAndLoaded) {
  const HostApi& host = HostApi::Get();
  for (const Shape& s : kShapes) {
    for (const wchar_t* className : kClassNames) {
      auto persist = Made(className, s).As<IDataPersist>(pxm::iid::IDataPersist);
      Sweep(Name("Save ", s), [&](const Armed& armed) {
        ComPtr<IDataStream> stream;
        ASSERT_EQ(host.createDataStream(reinterpret_cast<IDataStream**>(stream.Out())), PXM_S_OK);
        armed([&] { return persist->Save(stream.Get(), 0); });
      });
      ComPtr<IDataStream> saved;
      host.createDataStream(reinterpret_cast<IDataStream**>(saved.Out()));
      persist->Save(saved.Get(), 0);
      uint8_t* bytes = nullptr;
      size_t size = 0;
      host.streamToBytes(saved.Get(), &bytes, &size);
      Sweep(Name("Parse ", s), [&](const Armed& armed) {
        IDataStream* stream = nullptr;
        const HRESULT hr = armed([&] { return host.streamFromBytes(bytes, size, &stream); });
        EXPECT_EQ(PXM_SUCCEEDED(hr), stream != nullptr);
        if (stream) stream->Release();
      });
      ComPtr<IDataStream> parsed;
      host.streamFromBytes(bytes, size, reinterpret_cast<IDataStream**>(parsed.Out()));
      host.freeBytes(bytes);
      for (const wchar_t* targetClass : kClassNames)
        Sweep(Name("Load record ", s), [&](const Armed& armed) {
          ComPtr<IPXMImage> target = Made(targetClass, kSmall);
          armed([&] { return target.As<IDataPersist>(pxm::iid::IDataPersist)->Load(parsed.Get(), 1); });
          ReadEverything(target.Get());
        });
    }
  }
}

}  // namespace
