// Every allocation of an operation fails in turn; each run ends with a result code of the module's
// contract, frees all it allocated and keeps its promise (a failed Load keeps the previous image).
#include <gtest/gtest.h>

#include <CoreGraphics/CoreGraphics.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>

#include "FuzzHost.h"
#include "TestImage.h"

// The test's own allocator interposes for the loaded modules too and calls glibc's by its internal
// names (so: glibc only, no sanitizer, which owns malloc). Armed, it fails exactly the n-th
// allocation; tracking, it keeps every block made in a table that needs no allocation. Single-threaded.
static void* g_Blocks[size_t{1} << 16];
static long g_Outstanding = 0, g_FailAt = 0, g_Attempts = 0;  // blocks made while tracking and not freed yet
static bool g_Tracking = false, g_Armed = false;

static void* Track(void* p) {
  if (g_Tracking && p && g_Outstanding < long(std::size(g_Blocks))) g_Blocks[g_Outstanding++] = p;
  return p;
}
static void Untrack(void* p) {
  for (long i = g_Outstanding - 1; g_Tracking && p && i >= 0; --i)
    if (g_Blocks[i] == p) return void(g_Blocks[i] = g_Blocks[--g_Outstanding]);
}
static bool FailThis() { return g_Armed && ++g_Attempts == g_FailAt; }

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* malloc(size_t size) { return Track(FailThis() ? nullptr : __libc_malloc(size)); }
void* calloc(size_t count, size_t size) { return Track(FailThis() ? nullptr : __libc_calloc(count, size)); }
void* realloc(void* old, size_t size) {
  if ((size || !old) && FailThis()) return nullptr;  // a failed realloc leaves the old block the caller's
  void* p = __libc_realloc(old, size);
  if (p != old || !size) { Untrack(old); Track(p); }
  return p;
}
void free(void* p) { Untrack(p); __libc_free(p); }
}  // extern "C"

namespace {

using Armed = std::function<HRESULT(const std::function<HRESULT()>&)>;  // runs the operation armed, checks its result code
// A run without failures first (it fills what the module keeps for good and counts the operation's
// allocations), then one run per allocation with the n-th failing, each freeing what it allocated.
void Sweep(const std::string& name, const std::function<void(const Armed&)>& scenario, long atLeast = 0) {
  SCOPED_TRACE(name);
  long count = 0;
  for (long n = 0; n <= count; ++n) {
    g_Outstanding = 0, g_Tracking = true;
    scenario([&](const std::function<HRESULT()>& op) {
      g_Attempts = 0, g_FailAt = n, g_Armed = true;
      const HRESULT hr = op();
      g_Armed = false, count = n == 0 ? g_Attempts : count;
      const HRESULT contract[] = {PXM_S_OK, PXM_S_FALSE, PXM_E_FAIL, PXM_E_OUTOFMEMORY, PXM_E_INVALIDARG, PXM_E_POINTER, PXM_E_NOTIMPL, PXM_E_NOINTERFACE, PXM_E_NOTCREATABLE};
      EXPECT_NE(std::find(std::begin(contract), std::end(contract), hr), std::end(contract)) << "allocation " << n << " failing: result 0x" << std::hex << hr;
      return hr;
    });
    g_Tracking = false;
    EXPECT_EQ(n > 0 ? g_Outstanding : 0, 0) << "blocks left by the run with allocation " << n << " failing";
  }
  EXPECT_GE(count, atLeast);
}

using Shape = view::Described;
const Shape kShapes[] = {{7, 5, 3, 8, FOURCC_MONO}, {7, 5, 1, 24, FOURCC_RGB}, {7, 5, 1, 8, FOURCC_RGB}};
ComPtr<IPXMImage> Made(const wchar_t* className, const Shape& s = {2, 2, 1, 8, FOURCC_MONO}) {
  ComPtr<IPXMImage> image = NewImage(className);
  if (image) image->Create(s.width, s.height, s.planes, s.bits, s.fourcc);
  return image;
}
std::string Name(const char* what, const Shape& s) { return what + std::to_string(s.bits) + "/" + std::to_string(s.planes); }

// A bitmap file of each kind loaded; an image of each class made and copied into, empty (a canvas keeps
// the size it got no pixels for) or whole; each source drawn, saved, and its record loaded into each class.
TEST(AllocationFailure, EveryOperationFreesWhatItMadeAndKeepsItsPromise) {
  ModuleHost::Get(), HostApi::Get();  // loaded before any sweep
  for (const char* name : {"info8", "core24", "rgb565", "rle8"})
    Sweep(name, [&](const Armed& armed) {
      ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
      ASSERT_EQ(dib->Create(3, 2, 1, 32, FOURCC_ARGB), PXM_S_OK);
      const uint8_t* before = view::Probe(dib.Get()).block;
      PathString text(std::filesystem::path(PXM_FIXTURES) / (std::string(name) + ".bmp"));
      const HRESULT hr = armed([&] { return dib->Load(&text); });
      const view::Probe after(dib.Get());
      EXPECT_EQ((std::pair{after.width, after.height}), (PXM_FAILED(hr) ? std::pair{3u, 2u} : std::pair{7u, 5u}));
      EXPECT_TRUE(PXM_SUCCEEDED(hr) || after.block == before);
    }, 2);
  CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  CGContextRef context = CGBitmapContextCreate(nullptr, 16, 16, 8, 0, space, kCGImageAlphaPremultipliedLast);
  CGColorSpaceRelease(space);
  for (const Shape& s : kShapes)
    for (const wchar_t* sourceClass : kClassNames) {
      ComPtr<IPXMImage> source = Made(sourceClass, s);
      auto persist = source.As<IDataPersist>(pxm::iid::IDataPersist);
      ComPtr<IDataStream> saved;
      ASSERT_EQ(HostApi::Get().createDataStream(reinterpret_cast<IDataStream**>(saved.Out())) | persist->Save(saved.Get(), 0), PXM_S_OK);
      for (const wchar_t* className : kClassNames) {
        const PXMCreatorFunction creator = ModuleHost::Get().Creator(className);  // the lookup allocates
        Sweep(Name("Create, copy ", s), [&](const Armed& armed) {
          ComPtr<IPXMImage> target;
          armed([&] {
            const HRESULT made = creator(nullptr, &pxm::iid::IPXMImage, target.Out());
            return PXM_FAILED(made) ? made : target->Copy(source.Get(), 0);
          });
          const view::Described d = target ? view::Probe(target.Get()) : view::Described{};
          uint32_t withPixels = 0;
          for (uint32_t p = 0; d.width && d.height && p < d.planes; ++p) withPixels += view::Probe(target.Get(), p).data != nullptr;
          EXPECT_TRUE(!withPixels || (std::vector{withPixels, d.width, d.height}) == (std::vector{d.planes, s.width, s.height}));
          if (target) ReadEverything(target.Get());
        }, 1);
        Sweep(Name("Load record ", s), [&](const Armed& armed) {
          ComPtr<IPXMImage> target = Made(className);
          armed([&] { return target.As<IDataPersist>(pxm::iid::IDataPersist)->Load(saved.Get(), 1); });
          ReadEverything(target.Get());
        });
      }
      CANVASRect destination{1, 2, 12, 9};
      if (auto render = source.As<IPXMImageRender>(pxm::iid::IPXMImageRender))
        Sweep(Name("Render ", s), [&](const Armed& armed) { armed([&] { return render->Render(context, &destination, nullptr); }); });
      Sweep(Name("Save ", s), [&](const Armed& armed) {
        ComPtr<IDataStream> stream;
        ASSERT_EQ(HostApi::Get().createDataStream(reinterpret_cast<IDataStream**>(stream.Out())), PXM_S_OK);
        armed([&] { return persist->Save(stream.Get(), 0); });
      });
    }
  CGContextRelease(context);
}

}  // namespace
