// Every allocation of an operation fails in turn: Create of each class, Load of a bitmap file,
// Copy into each class, rendering, Save and Load of records and parsing stream bytes. Each run
// must end with a result code of the module's contract, free all it allocated, and keep what is
// promised: a failed Load keeps the previous image, a failed Create leaves an empty image or a
// whole one.
#include <gtest/gtest.h>

#include <CoreGraphics/CoreGraphics.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "FailingAllocator.h"
#include "FuzzHost.h"

namespace {

bool InContract(HRESULT hr) {
  for (HRESULT code : {PXM_S_OK, PXM_S_FALSE, PXM_E_FAIL, PXM_E_OUTOFMEMORY, PXM_E_INVALIDARG, PXM_E_POINTER,
                       PXM_E_NOTIMPL, PXM_E_NOINTERFACE, PXM_E_NOTCREATABLE})
    if (hr == code) return true;
  return false;
}

// Runs the operation with the armed allocator and checks its result code.
using Armed = std::function<HRESULT(const std::function<HRESULT()>&)>;

// One run without failures first (it fills what the module keeps for good: its collection, its
// string component, and counts the operation's allocations), then one run per allocation, the
// n-th failing. Every run, whole, must free what it allocated. Returns the allocation count.
long Sweep(const std::string& name, const std::function<void(const Armed&)>& scenario) {
  SCOPED_TRACE(name);
  long count = 0;
  for (long n = 0; n <= count; ++n) {
    failing::Start();
    scenario([&](const std::function<HRESULT()>& op) {
      failing::Arm(n);
      const HRESULT hr = op();
      if (n == 0) count = failing::Attempts();
      failing::Disarm();
      EXPECT_TRUE(InContract(hr)) << "allocation " << n << " failing: result 0x" << std::hex << hr;
      return hr;
    });
    const long outstanding = failing::Outstanding();
    failing::Stop();
    if (n > 0) {
      EXPECT_EQ(outstanding, 0) << "blocks left by the run with allocation " << n << " failing";
    }
  }
  std::printf("%-16s %ld allocations\n", name.c_str(), count);
  return count;
}

struct Shape {
  uint32_t width, height, planes, bits, fourcc;
};

ComPtr<IPXMImage> Made(const wchar_t* className, const Shape& s) {
  ComPtr<IPXMImage> image = NewImage(className);
  if (image) image->Create(s.width, s.height, s.planes, s.bits, s.fourcc);
  return image;
}

// After a successful Create every plane of the requested size is there; after a failed one the
// image is empty or, as a canvas keeps it, reports the requested size with no pixels at all.
void ExpectEmptyOrWhole(IPXMImage* image, const Shape& s, HRESULT created) {
  uint32_t width = 0, height = 0, planes = 0;
  image->GetSize(&width, &height, &planes);
  if (width == 0 || height == 0 || planes == 0) return;
  EXPECT_EQ(width, s.width);
  EXPECT_EQ(height, s.height);
  for (uint32_t p = 0; p < planes; ++p) {
    uint32_t size = 0;
    uint8_t* data = nullptr;
    int32_t stride = 0;
    const bool pixels = PXM_SUCCEEDED(image->GetImage(p, &size, &data, &stride)) && data;
    if (PXM_SUCCEEDED(created)) {
      EXPECT_TRUE(pixels) << "plane " << p;
    } else if (p == 0) {
      if (pixels) ADD_FAILURE() << "a failed Create left pixels";
      return;
    }
  }
}

std::vector<uint8_t> StreamBytes(IPXMImage* image) {
  const HostApi& host = HostApi::Get();
  ComPtr<IDataStream> stream;
  host.createDataStream(reinterpret_cast<IDataStream**>(stream.Out()));
  image->AddRef();
  ComPtr<IPXMImage>(image).As<IDataPersist>(pxm::iid::IDataPersist)->Save(stream.Get(), 0);
  uint8_t* bytes = nullptr;
  size_t size = 0;
  host.streamToBytes(stream.Get(), &bytes, &size);
  std::vector<uint8_t> copy(bytes, bytes + size);
  host.freeBytes(bytes);
  return copy;
}

ComPtr<IDataStream> StreamOf(const std::vector<uint8_t>& bytes) {
  ComPtr<IDataStream> stream;
  HostApi::Get().streamFromBytes(bytes.data(), bytes.size(), reinterpret_cast<IDataStream**>(stream.Out()));
  return stream;
}

const Shape kShapes[] = {{7, 5, 3, 8, FOURCC_MONO}, {7, 5, 1, 24, FOURCC_RGB}, {7, 5, 1, 8, FOURCC_RGB}};

class AllocationFailure : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ModuleHost::Get();
    HostApi::Get();
  }
};

TEST_F(AllocationFailure, CreateOfEachClass) {
  for (const wchar_t* className : kClassNames) {
    // Looked up before arming: the lookup allocates on the test's side.
    const PXMCreatorFunction creator = ModuleHost::Get().Creator(className);
    for (const Shape& s : kShapes) {
      ComPtr<IPXMImage> image;
      const long allocations = Sweep("Create " + std::to_string(s.bits), [&](const Armed& armed) {
        const HRESULT created = armed([&] {
          const HRESULT made = creator(nullptr, &pxm::iid::IPXMImage, image.Out());
          return PXM_FAILED(made) ? made : image->Create(s.width, s.height, s.planes, s.bits, s.fourcc);
        });
        if (image) ExpectEmptyOrWhole(image.Get(), s, created);
        image.Reset();
      });
      EXPECT_GE(allocations, 1) << "the object itself is allocated";
    }
  }
}

TEST_F(AllocationFailure, LoadKeepsThePreviousImage) {
  // Bitmap files of the module's own making, colour (through the host's transform) and grey.
  for (const Shape& s : kShapes) {
    ComPtr<IPXMImage> made = Made(L"PXMImageDIB", s);
    uint8_t* block = nullptr;
    uint32_t size = 0;
    made.As<IPXMImageDIB>(pxm::iid::IPXMImageDIB)->GetDIB(&block, &size);
    ASSERT_TRUE(block);
    std::vector<uint8_t> file(14 + size);
    file[0] = 'B';
    file[1] = 'M';
    std::copy(block, block + size, file.begin() + 14);
    const std::string path = testing::TempDir() + "alloc-" + std::to_string(s.bits) + ".bmp";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(out);
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
    const std::wstring widePath(path.begin(), path.end());

    const long allocations = Sweep("Load " + std::to_string(s.bits), [&](const Armed& armed) {
      ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
      ASSERT_EQ(dib->Create(3, 2, 1, 32, FOURCC_ARGB), PXM_S_OK);
      uint8_t* before = nullptr;
      dib->GetDIB(&before, nullptr);
      FixedString text(widePath.data(), static_cast<uint32_t>(widePath.size()));
      const HRESULT hr = armed([&] { return dib->Load(&text); });
      uint32_t width = 0, height = 0;
      uint8_t* after = nullptr;
      dib->GetSize(&width, &height, nullptr);
      dib->GetDIB(&after, nullptr);
      if (PXM_FAILED(hr)) {
        EXPECT_EQ(after, before);
        EXPECT_EQ(width * 10 + height, 32u) << "the previous 3 x 2 image";
      } else {
        EXPECT_EQ(width * 10 + height, s.width * 10 + s.height);
      }
    });
    EXPECT_GE(allocations, 2) << "the path and the block";
  }
}

TEST_F(AllocationFailure, CopyIntoEachClass) {
  for (const Shape& s : kShapes) {
    for (const wchar_t* sourceClass : {L"PXMImage", L"PXMImageDIB"}) {
      ComPtr<IPXMImage> source = Made(sourceClass, s);
      for (const wchar_t* className : kClassNames) {
        Sweep("Copy " + std::to_string(s.bits), [&](const Armed& armed) {
          ComPtr<IPXMImage> target = Made(className, {2, 2, 1, 8, FOURCC_MONO});
          armed([&] { return target->Copy(source.Get(), 0); });
          ReadEverything(target.Get());
        });
      }
    }
  }
}

TEST_F(AllocationFailure, Render) {
  CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  CGContextRef context = CGBitmapContextCreate(nullptr, 16, 16, 8, 0, space, kCGImageAlphaPremultipliedLast);
  CGColorSpaceRelease(space);
  ASSERT_TRUE(context);
  for (const Shape& s : kShapes) {
    for (const wchar_t* className : {L"PXMImageDIB", L"PXMImageCANVAS"}) {
      ComPtr<IPXMImage> image = Made(className, s);
      auto render = image.As<IPXMImageRender>(pxm::iid::IPXMImageRender);
      ASSERT_TRUE(render);
      CANVASRect destination{1, 2, 12, 9};
      Sweep("Render " + std::to_string(s.bits), [&](const Armed& armed) {
        armed([&] { return render->Render(context, &destination, nullptr); });
      });
    }
  }
  CGContextRelease(context);
}

TEST_F(AllocationFailure, RecordsSavedLoadedAndParsed) {
  const HostApi& host = HostApi::Get();
  for (const Shape& s : kShapes) {
    for (const wchar_t* className : kClassNames) {
      ComPtr<IPXMImage> image = Made(className, s);
      auto persist = image.As<IDataPersist>(pxm::iid::IDataPersist);
      Sweep("Save " + std::to_string(s.bits), [&](const Armed& armed) {
        ComPtr<IDataStream> stream;
        ASSERT_EQ(host.createDataStream(reinterpret_cast<IDataStream**>(stream.Out())), PXM_S_OK);
        armed([&] { return persist->Save(stream.Get(), 0); });
      });

      const std::vector<uint8_t> bytes = StreamBytes(image.Get());
      Sweep("Parse " + std::to_string(s.bits), [&](const Armed& armed) {
        IDataStream* stream = nullptr;
        const HRESULT hr = armed([&] { return host.streamFromBytes(bytes.data(), bytes.size(), &stream); });
        EXPECT_EQ(PXM_SUCCEEDED(hr), stream != nullptr);
        if (stream) stream->Release();
      });

      const ComPtr<IDataStream> stream = StreamOf(bytes);
      for (const wchar_t* targetClass : kClassNames) {
        Sweep("Load record " + std::to_string(s.bits), [&](const Armed& armed) {
          ComPtr<IPXMImage> target = Made(targetClass, {2, 2, 1, 8, FOURCC_MONO});
          armed([&] { return target.As<IDataPersist>(pxm::iid::IDataPersist)->Load(stream.Get(), 1); });
          ReadEverything(target.Get());
        });
      }
    }
  }
}

}  // namespace
