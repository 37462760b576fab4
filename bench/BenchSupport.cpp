#include "BenchSupport.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <vector>

#include <time.h>

#ifdef __linux__
#include <sys/mman.h>
#endif

double CpuClock::Now() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

Modules& Modules::Get() {
  static Modules modules = [] {
    Modules m;
    const std::string dir = PXM_MODULE_DIR;
    void* module = dlopen((dir + "/PXM" PXM_MODULE_SUFFIX).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      std::fprintf(stderr, "cannot load the module: %s\n", dlerror());
      std::exit(1);
    }
    m.createFunction = reinterpret_cast<PXMCreateFunction>(dlsym(module, "CreateFunction"));
    m.host = dlopen((dir + "/DuvirovurozAd" PXM_MODULE_SUFFIX).c_str(), RTLD_NOW | RTLD_LOCAL);
    return m;
  }();
  return modules;
}

PXMCreatorFunction Modules::Creator(const wchar_t* className) const {
  void* creator = nullptr;
  const tagREFString name{static_cast<uint32_t>(std::wcslen(className)), className};
  if (!createFunction || PXM_FAILED(createFunction(name, &creator))) return nullptr;
  return reinterpret_cast<PXMCreatorFunction>(creator);
}

Buffer::Buffer(size_t bytes) : size(bytes) {
  data = static_cast<uint8_t*>(std::aligned_alloc(2 << 20, (bytes + (2 << 20) - 1) & ~size_t{(2 << 20) - 1}));
  if (!data) {
    std::fprintf(stderr, "out of memory\n");
    std::exit(1);
  }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  madvise(data, (bytes + (2 << 20) - 1) & ~size_t{(2 << 20) - 1}, MADV_HUGEPAGE);
#endif
  std::memset(data, 0, bytes);
}

Buffer::~Buffer() { std::free(data); }

void FillRandom(uint8_t* data, size_t size, uint32_t seed) {
  uint64_t state = 0x9E3779B97F4A7C15ull * (seed + 1);
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    std::memcpy(data + i, &state, 8);
  }
  for (; i < size; ++i) data[i] = static_cast<uint8_t>(i * 131 + seed);
}

namespace {

class SourceImage final : public IPXMImage {
 public:
  SourceImage(uint32_t width, uint32_t height, uint32_t bits, uint32_t fourcc)
      : m_Width(width), m_Height(height), m_Bits(bits), m_Fourcc(fourcc),
        m_Stride((width * bits / 8 + 3) & ~3u), m_Pixels(size_t{m_Stride} * height) {}
  HRESULT QueryInterface(const IID& iid, void** out) override {
    if (!out) return PXM_E_POINTER;
    if (iid == pxm::iid::IUnknown || iid == pxm::iid::IPXM || iid == pxm::iid::IPXMImage) {
      AddRef();
      *out = static_cast<IPXMImage*>(this);
      return PXM_S_OK;
    }
    *out = nullptr;
    return PXM_E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++m_Refs; }
  uint32_t Release() override {
    const uint32_t n = --m_Refs;
    if (!n) delete this;
    return n;
  }
  HRESULT GetSize(uint32_t* width, uint32_t* height, uint32_t* planes) override {
    if (width) *width = m_Width;
    if (height) *height = m_Height;
    if (planes) *planes = 1;
    return PXM_S_OK;
  }
  HRESULT GetPixelDescriptor(uint32_t* bits, uint32_t* fourcc, uint32_t* bytesPerPixel) override {
    if (bits) *bits = m_Bits;
    if (fourcc) *fourcc = m_Fourcc;
    if (bytesPerPixel) *bytesPerPixel = m_Bits / 8;
    return PXM_S_OK;
  }
  HRESULT GetImage(uint32_t plane, uint32_t* size, uint8_t** data, int32_t* stride) override {
    if (plane != 0) return PXM_E_INVALIDARG;
    if (size) *size = static_cast<uint32_t>(m_Pixels.size);
    if (data) *data = m_Pixels.data;
    if (stride) *stride = static_cast<int32_t>(m_Stride);
    return PXM_S_OK;
  }
  HRESULT Create(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT IsCreatable(uint32_t, uint32_t) override { return PXM_E_NOTIMPL; }
  HRESULT Copy(IPXM*, int) override { return PXM_E_NOTIMPL; }
  HRESULT Equal(int) override { return PXM_E_NOTIMPL; }
  Buffer& Pixels() { return m_Pixels; }

 private:
  ~SourceImage() = default;
  uint32_t m_Width, m_Height, m_Bits, m_Fourcc, m_Stride;
  Buffer m_Pixels;
  std::atomic<uint32_t> m_Refs{1};
};

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

ComPtr<IPXMImage> MakeSourceImage(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t fourcc,
                               uint32_t seed) {
  auto* image = new SourceImage(width, height, bitsPerPixel, fourcc);
  FillRandom(image->Pixels().data, image->Pixels().size, seed);
  ComPtr<IPXMImage> ref;
  image->QueryInterface(pxm::iid::IPXMImage, ref.Out());
  image->Release();
  return ref;
}

BitmapFileInCache BitmapFile(const benchmark::State& state) {
  const auto width = static_cast<uint32_t>(state.range(0)), height = static_cast<uint32_t>(state.range(1)),
             bitsPerPixel = static_cast<uint32_t>(state.range(2));
  const char* tmp = std::getenv("TMPDIR");
  const std::string path = std::string(tmp ? tmp : "/tmp") + "/pxm_bench_" + std::to_string(width) + "x" +
                           std::to_string(height) + "_" + std::to_string(bitsPerPixel) + ".bmp";
  const uint32_t rowLength = (width * bitsPerPixel / 8 + 3) & ~3u;
  const uint32_t paletteBytes = bitsPerPixel == 8 ? 256 * 4 : 0;
  const uint32_t offset = 14 + 40 + paletteBytes;
  const uint32_t imageBytes = rowLength * height;
  std::vector<uint8_t> file;
  file.reserve(offset);
  file.push_back('B');
  file.push_back('M');
  Put32(file, offset + imageBytes);
  Put32(file, 0);
  Put32(file, offset);
  Put32(file, 40);
  Put32(file, width);
  Put32(file, height);  // positive: rows bottom-up
  Put16(file, 1);
  Put16(file, bitsPerPixel);
  Put32(file, 0);  // no compression
  Put32(file, imageBytes);
  Put32(file, 2835);
  Put32(file, 2835);
  Put32(file, bitsPerPixel == 8 ? 256 : 0);
  Put32(file, 0);
  for (uint32_t i = 0; i < paletteBytes / 4; ++i) Put32(file, i * 0x010101u);
  Buffer rows(imageBytes);
  FillRandom(rows.data, imageBytes, bitsPerPixel);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(file.data(), 1, file.size(), f) != file.size() ||
      std::fwrite(rows.data, 1, imageBytes, f) != imageBytes) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  std::fclose(f);
  // Read once so that every measured load finds the file in the page cache.
  f = std::fopen(path.c_str(), "rb");
  while (f && std::fread(rows.data, 1, rows.size, f) == rows.size) {
  }
  if (f) std::fclose(f);
  return {path, file.size() + imageBytes};
}

// Both sides are Buffers, whatever the size: the memcpy's speed then does not depend on where
// malloc placed its blocks, which moved every ratio by up to a sixth with the heap's history (the
// benchmarks run before, a block the module keeps).
ReferenceRunner::ReferenceRunner(const Reference& reference)
    : m_Reference(reference),
      m_To(reference.kind == Reference::Memcpy ? reference.bytes / 2 : reference.bytes),
      m_From(reference.kind == Reference::Memcpy ? reference.bytes / 2 : 1) {
  if (reference.kind == Reference::Memcpy) FillRandom(m_From.data, m_From.size, 7);
}

double ReferenceRunner::Run() {
  const double begin = CpuClock::Now();
  if (m_Reference.kind == Reference::Memcpy)
    std::memcpy(m_To.data, m_From.data, m_Reference.bytes / 2);
  else
    std::memset(m_To.data, ++m_Value, m_Reference.bytes);
  benchmark::ClobberMemory();
  return CpuClock::Now() - begin;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  const size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + middle, values.end());
  return values[middle];
}
