// The module's hot paths, each driven through its interfaces as a host drives them.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "BenchSupport.h"
#include "duvirovurozad/DuvirovurozAd.h"

namespace {

ComPtr<IPXMImageDIB> NewDIB() { return Modules::Get().Create<IPXMImageDIB>(L"PXMImageDIB", pxm::iid::IPXMImageDIB); }
ComPtr<IPXMImage> NewRaster() { return Modules::Get().Create<IPXMImage>(L"PXMImage", pxm::iid::IPXMImage); }
ComPtr<IPXMImageCANVAS> NewCanvas() {
  return Modules::Get().Create<IPXMImageCANVAS>(L"PXMImageCANVAS", pxm::iid::IPXMImageCANVAS);
}

// Bytes of pixel rows an image holds (plane 0 times its plane count).
size_t ImageBytes(IPXM* image) {
  uint32_t width = 0, height = 0, planes = 0, size = 0;
  image->GetSize(&width, &height, &planes);
  uint8_t* data = nullptr;
  int32_t stride = 0;
  image->GetImage(0, &size, &data, &stride);
  return size_t{static_cast<uint32_t>(stride < 0 ? -stride : stride)} * height * (planes ? planes : 1);
}

// A module image of the given format with random pixels.
template <class I>
bool Randomise(I* image, uint32_t n, uint32_t bits, uint32_t fourcc) {
  if (!image || PXM_FAILED(image->Create(n, n, 1, bits, fourcc))) return false;
  uint32_t size = 0;
  uint8_t* data = nullptr;
  int32_t stride = 0;
  if (PXM_FAILED(image->GetImage(0, &size, &data, &stride)) || !data) return false;
  FillRandom(stride < 0 ? data + int64_t{stride} * (n - 1) : data, size_t{static_cast<uint32_t>(std::abs(stride))} * n,
             bits);
  return true;
}

// A host string holding a path.
class PathString final : public IString {
 public:
  explicit PathString(const std::string& path) : m_Text(path.begin(), path.end()) {}
  HRESULT QueryInterface(const IID& iid, void** out) override {
    if (iid != pxm::iid::IUnknown && iid != pxm::IIDFromName("IString")) return *out = nullptr, PXM_E_NOINTERFACE;
    *out = static_cast<IString*>(this);
    return PXM_S_OK;
  }
  uint32_t AddRef() override { return 2; }  // lives on the stack of the benchmark
  uint32_t Release() override { return 1; }
  HRESULT GetText(const wchar_t** text, uint32_t* length) override {
    *text = m_Text.c_str();
    *length = static_cast<uint32_t>(m_Text.size());
    return PXM_S_OK;
  }

 private:
  std::wstring m_Text;
};

// Load of a bitmap file in the page cache: traffic is the file read plus the block written.
// Arguments: width, height, bits per pixel.
void BM_Load(benchmark::State& state) {
  const BitmapFileInCache file = BitmapFile(state);
  PathString name(file.path);
  Measure(state, Traffic(2 * file.bytes), [&](Span& span) {
    ComPtr<IPXMImageDIB> image = NewDIB();
    span.Start();
    const bool ok = image && PXM_SUCCEEDED(image->Load(&name));
    span.Stop();
    return ok;  // the object is released outside the span: only the load counts
  });
}

// Loads of the file forms that are decoded rather than taken as read: a top-down 24-bit file, a
// 5-6-5 bit-field file (a 40-byte header and three masks) and a run-length 8-bit file, of
// photo-like content (smooth shading with a little grain; the 8-bit one in steps of 4, as a grey
// photo's flat areas run). Traffic is the file read plus the block written, as for BM_Load; the
// goals compare their times with BM_Load's 24-bit file of the same pixel count.
constexpr uint32_t kVariantWidth = 4096, kVariantHeight = 3072;

// Red, green, blue of the photo at (x, y), top row first.
void Photo(uint32_t x, uint32_t y, uint8_t rgb[3]) {
  static uint32_t grain = 12345;
  for (int c = 0; c < 3; ++c) {
    grain = grain * 1664525u + 1013904223u;
    const double v = 120 + 70 * std::sin(x / (90.0 + 20 * c)) * std::cos(y / 70.0) + 50 * std::sin((x + 2.0 * y) / 400.0);
    rgb[c] = static_cast<uint8_t>(std::clamp(v + int(grain >> 30) - 1, 0.0, 255.0));
  }
}

void Append(std::vector<uint8_t>& f, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) f.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// File header and 40-byte header; the pixel data follows `extra` (masks or palette).
std::vector<uint8_t> VariantHeader(int32_t height, uint32_t bits, uint32_t compression, const std::vector<uint8_t>& extra) {
  std::vector<uint8_t> f = {'B', 'M'};
  Append(f, 0, 4);  // file size: not read
  Append(f, 0, 4);
  Append(f, 14 + 40 + static_cast<uint32_t>(extra.size()), 4);
  for (const uint32_t v : {40u, kVariantWidth, static_cast<uint32_t>(height)}) Append(f, v, 4);
  Append(f, 1, 2);
  Append(f, bits, 2);
  for (const uint32_t v : {compression, 0u, 2835u, 2835u, bits == 8 ? 256u : 0u, 0u}) Append(f, v, 4);
  f.insert(f.end(), extra.begin(), extra.end());
  return f;
}

// The 8-bit rows as a writer codes them: runs of two or more equal indices, absolute runs of the
// others (three or more, padded to 16 bits; one or two as runs of one), each row ended.
void AppendRunLength(std::vector<uint8_t>& f, const uint8_t* row, uint32_t width) {
  uint32_t x = 0;
  while (x < width) {
    uint32_t run = 1;
    while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
    if (run >= 2) {
      f.insert(f.end(), {static_cast<uint8_t>(run), row[x]});
      x += run;
      continue;
    }
    uint32_t n = 1;  // up to the next pair of equal indices
    while (x + n < width && n < 255 && !(x + n + 1 < width && row[x + n] == row[x + n + 1])) ++n;
    if (n < 3) {
      for (uint32_t i = 0; i < n; ++i) f.insert(f.end(), {1, row[x + i]});
    } else {
      f.insert(f.end(), {0, static_cast<uint8_t>(n)});
      f.insert(f.end(), row + x, row + x + n);
      if (n % 2) f.push_back(0);
    }
    x += n;
  }
  f.insert(f.end(), {0, 0});
}

BitmapFileInCache VariantFile(const char* name) {
  const std::string form = name;
  std::vector<uint8_t> f, row(size_t{kVariantWidth} * 3);
  uint8_t rgb[3];
  if (form == "topdown24") {
    f = VariantHeader(-int32_t{kVariantHeight}, 24, 0, {});
    for (uint32_t y = 0; y < kVariantHeight; ++y)
      for (uint32_t x = 0; x < kVariantWidth; ++x) Photo(x, y, rgb), f.insert(f.end(), {rgb[2], rgb[1], rgb[0]});
  } else if (form == "565") {
    f = VariantHeader(kVariantHeight, 16, 3, {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0});
    for (uint32_t y = kVariantHeight; y-- > 0;)
      for (uint32_t x = 0; x < kVariantWidth; ++x)
        Photo(x, y, rgb), Append(f, (rgb[0] >> 3) << 11 | (rgb[1] >> 2) << 5 | rgb[2] >> 3, 2);
  } else {
    std::vector<uint8_t> palette;
    for (uint32_t i = 0; i < 256; ++i) Append(palette, i * 0x010101u, 4);
    f = VariantHeader(kVariantHeight, 8, 1, palette);
    for (uint32_t y = kVariantHeight; y-- > 0;) {
      for (uint32_t x = 0; x < kVariantWidth; ++x) Photo(x, y, rgb), row[x] = static_cast<uint8_t>(rgb[1] & ~3);
      AppendRunLength(f, row.data(), kVariantWidth);
    }
    f.insert(f.end(), {0, 1});
  }
  const char* tmp = std::getenv("TMPDIR");
  const std::string path = std::string(tmp ? tmp : "/tmp") + "/pxm_bench_variant_" + form + ".bmp";
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out || std::fwrite(f.data(), 1, f.size(), out) != f.size() || std::fclose(out) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  return {path, f.size()};  // just written: in the page cache
}

void LoadVariant(benchmark::State& state, const char* form) {
  const BitmapFileInCache file = VariantFile(form);
  PathString name(file.path);
  ComPtr<IPXMImageDIB> probe = NewDIB();
  if (!probe || PXM_FAILED(probe->Load(&name))) return state.SkipWithError("the file is refused");
  Measure(state, Traffic(file.bytes + ImageBytes(probe.Get())), [&](Span& span) {
    ComPtr<IPXMImageDIB> image = NewDIB();
    span.Start();
    const bool ok = image && PXM_SUCCEEDED(image->Load(&name));
    span.Stop();
    return ok;
  });
  state.counters["file_MB"] = file.bytes / 1e6;
}
void BM_LoadTopDown24(benchmark::State& state) { LoadVariant(state, "topdown24"); }
void BM_Load565(benchmark::State& state) { LoadVariant(state, "565"); }
void BM_LoadRle8(benchmark::State& state) { LoadVariant(state, "rle8"); }

// Raster Copy from a 24-bit DIB: into three planes, or averaged into one 8-bit plane.
void RasterCopy(benchmark::State& state, uint32_t planes) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  ComPtr<IPXMImageDIB> source = NewDIB();
  ComPtr<IPXMImage> target = NewRaster();
  if (!Randomise(source.Get(), n, 24, FOURCC_RGB) || !target || PXM_FAILED(target->Create(n, n, planes, 8, FOURCC_MONO)))
    return state.SkipWithError("cannot make the images");
  target->Copy(source.Get(), 0);
  const size_t traffic = 3 * size_t{n} * n + ImageBytes(target.Get());
  Measure(state, Traffic(traffic), [&](Span&) { return PXM_SUCCEEDED(target->Copy(source.Get(), 0)); });
}
void BM_RasterCopyThreePlanes(benchmark::State& state) { RasterCopy(state, 3); }
void BM_RasterCopyMean(benchmark::State& state) { RasterCopy(state, 1); }

// A source of the given format with random pixels: a DIB, whose rows lie bottom-up as those of DIBs
// and canvases do, or (flipped) a top-down image of the bench's own, whose rows a copy turns over.
ComPtr<IPXM> CopySource(uint32_t n, uint32_t bits, uint32_t fourcc, bool flipped) {
  if (flipped) return MakeSourceImage(n, n, bits, fourcc).As<IPXM>(pxm::iid::IPXM);
  ComPtr<IPXMImageDIB> dib = NewDIB();
  return Randomise(dib.Get(), n, bits, fourcc) ? dib.As<IPXM>(pxm::iid::IPXM) : ComPtr<IPXM>();
}

// DIB Copy from a source of the given format (one row of the DIB's conversion table each).
void DibCopy(benchmark::State& state, uint32_t bits, uint32_t fourcc, int alphaOption, bool flipped = false) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  ComPtr<IPXM> source = CopySource(n, bits, fourcc, flipped);
  ComPtr<IPXMImageDIB> target = NewDIB();
  if (!source || !target || PXM_FAILED(target->Copy(source.Get(), alphaOption)))
    return state.SkipWithError("copy refused");
  const size_t traffic = ImageBytes(source.Get()) + ImageBytes(target.Get());
  Measure(state, Traffic(traffic), [&](Span&) { return PXM_SUCCEEDED(target->Copy(source.Get(), alphaOption)); });
}
void BM_DibCopy24(benchmark::State& state) { DibCopy(state, 24, FOURCC_RGB, 0); }
void BM_DibCopy24SwapBGR(benchmark::State& state) { DibCopy(state, 24, FOURCC_BGR, 0); }
void BM_DibCopy32AlphaForced(benchmark::State& state) { DibCopy(state, 32, FOURCC_ARGB, 255); }
void BM_DibCopy32MonoTo8(benchmark::State& state) { DibCopy(state, 32, FOURCC_MONO, 0); }
void BM_DibCopy8(benchmark::State& state) { DibCopy(state, 8, FOURCC_MONO, 0); }
void BM_DibCopy24SwapBGRFlipped(benchmark::State& state) { DibCopy(state, 24, FOURCC_BGR, 0, true); }
void BM_DibCopy32AlphaForcedFlipped(benchmark::State& state) { DibCopy(state, 32, FOURCC_ARGB, 255, true); }

// Canvas Copy into 4-byte pixels.
void CanvasCopy(benchmark::State& state, uint32_t bits, uint32_t fourcc, bool flipped) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  ComPtr<IPXM> source = CopySource(n, bits, fourcc, flipped);
  ComPtr<IPXMImageCANVAS> target = NewCanvas();
  if (!source || !target || PXM_FAILED(target->Copy(source.Get(), 0))) return state.SkipWithError("copy refused");
  const size_t traffic = ImageBytes(source.Get()) + ImageBytes(target.Get());
  Measure(state, Traffic(traffic), [&](Span&) { return PXM_SUCCEEDED(target->Copy(source.Get(), 0)); });
}


void BM_CanvasCopy8(benchmark::State& state) { CanvasCopy(state, 8, FOURCC_MONO, false); }
void BM_CanvasCopy24(benchmark::State& state) { CanvasCopy(state, 24, FOURCC_RGB, false); }
void BM_CanvasCopy8Flipped(benchmark::State& state) { CanvasCopy(state, 8, FOURCC_MONO, true); }
void BM_CanvasCopy24Flipped(benchmark::State& state) { CanvasCopy(state, 24, FOURCC_RGB, true); }
void BM_CanvasCopy32(benchmark::State& state) { CanvasCopy(state, 32, FOURCC_ARGB, false); }

// Equal on a DIB of the given depth, against memset of its rows.
void Equal(benchmark::State& state, uint32_t bits) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  ComPtr<IPXMImageDIB> image = NewDIB();
  if (!Randomise(image.Get(), n, bits, bits == 8 ? FOURCC_MONO : FOURCC_RGB)) return state.SkipWithError("no image");
  int value = 0x10203040;
  Measure(state, Fill(ImageBytes(image.Get())), [&](Span&) { return PXM_SUCCEEDED(image->Equal(++value)); });
}
void BM_Equal8(benchmark::State& state) { Equal(state, 8); }
void BM_Equal16(benchmark::State& state) { Equal(state, 16); }
void BM_Equal24(benchmark::State& state) { Equal(state, 24); }
void BM_Equal32(benchmark::State& state) { Equal(state, 32); }

// The host's transform: red and blue swapped in place in a 24-bit image.
void BM_TransformApply(benchmark::State& state) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  ComPtr<IPXMTransform> transform;
  void* creator = nullptr;
  auto create = Modules::Get().HostSymbol<PXMCreateFunction>("CreateFunction");
  const wchar_t kCollection[] = L"GlobalComponentCollection";
  ComPtr<IComponentCollection> collection;
  if (create && PXM_SUCCEEDED(create({25, kCollection}, &creator)) && creator)
    reinterpret_cast<PXMCreatorFunction>(creator)(nullptr, &pxm::iid::IComponentCollection, collection.Out());
  if (collection) collection->GetComponent(12, L"PXMTransform", &pxm::iid::IPXMTransform, transform.Out());
  ComPtr<IPXMImageDIB> image = NewDIB();
  if (!transform || !Randomise(image.Get(), n, 24, FOURCC_RGB)) return state.SkipWithError("no transform");
  Measure(state, Traffic(2 * ImageBytes(image.Get())),
          [&](Span&) { return PXM_SUCCEEDED(transform->Apply(image.Get())); });
}

// Rendering into a 32-bit canvas: the source's whole n x n drawn at 1:1 or into n/2 x n/2, or
// its top-left n/4 x n/4 drawn into n x n. Traffic: the source pixels read plus those written.
enum class Scale { One, Half, Four };
CANVASRect SourceRect(uint32_t n, Scale scale) {
  const int32_t side = static_cast<int32_t>(scale == Scale::Four ? n / 4 : n);
  return {0, 0, side, side};
}
CANVASRect DestinationRect(uint32_t n, Scale scale) {
  const int32_t side = static_cast<int32_t>(scale == Scale::Half ? n / 2 : n);
  return {0, 0, side, side};
}

template <class I>
void Render(benchmark::State& state, I* source, uint32_t sourceBits, Scale scale) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  ComPtr<IPXMImageCANVAS> canvas = NewCanvas();
  CGContext* context = nullptr;
  ComPtr<IPXMImageRender> render;
  if (source) source->QueryInterface(pxm::iid::IPXMImageRender, render.Out());
  if (!canvas || PXM_FAILED(canvas->Create(n, n, 1, 32, FOURCC_RGB)) || PXM_FAILED(canvas->get_CANVAS(&context)) ||
      !context || !render)
    return state.SkipWithError("no canvas to render into");
  CANVASRect from = SourceRect(n, scale), to = DestinationRect(n, scale);
  const size_t traffic = size_t(from.width) * from.height * sourceBits / 8 + size_t(to.width) * to.height * 4;
  Measure(state, Traffic(traffic),
          [&](Span&) { return PXM_SUCCEEDED(render->Render(context, &to, &from)); });
}

void RenderDIB(benchmark::State& state, uint32_t bits, uint32_t fourcc, Scale scale) {
  ComPtr<IPXMImageDIB> dib = NewDIB();
  if (!Randomise(dib.Get(), static_cast<uint32_t>(state.range(0)), bits, fourcc)) return state.SkipWithError("no DIB");
  Render(state, dib.Get(), bits, scale);
}
void BM_RenderDIB8(benchmark::State& state) { RenderDIB(state, 8, FOURCC_MONO, Scale::One); }
void BM_RenderDIB24(benchmark::State& state) { RenderDIB(state, 24, FOURCC_RGB, Scale::One); }
void BM_RenderDIB32(benchmark::State& state) { RenderDIB(state, 32, FOURCC_RGB, Scale::One); }
void BM_RenderDIB32Alpha(benchmark::State& state) { RenderDIB(state, 32, FOURCC_ARGB, Scale::One); }
void BM_RenderDIB32Half(benchmark::State& state) { RenderDIB(state, 32, FOURCC_RGB, Scale::Half); }
void BM_RenderDIB32Four(benchmark::State& state) { RenderDIB(state, 32, FOURCC_RGB, Scale::Four); }
void BM_RenderDIB24Half(benchmark::State& state) { RenderDIB(state, 24, FOURCC_RGB, Scale::Half); }
void BM_RenderDIB24Four(benchmark::State& state) { RenderDIB(state, 24, FOURCC_RGB, Scale::Four); }

void RenderCanvas(benchmark::State& state, bool transparent) {
  ComPtr<IPXMImageCANVAS> source = NewCanvas();
  if (!Randomise(source.Get(), static_cast<uint32_t>(state.range(0)), 32, FOURCC_RGB))
    return state.SkipWithError("no canvas");
  if (transparent) source->put_TransparentColor(0x00123456);
  Render(state, source.Get(), 32, Scale::One);
}
void BM_RenderCanvas(benchmark::State& state) { RenderCanvas(state, false); }
void BM_RenderCanvasTransparent(benchmark::State& state) { RenderCanvas(state, true); }

// The record written into a fresh memory stream, and read back into a fresh image.
ComPtr<IDataStream> NewStream() {
  ComPtr<IDataStream> stream;
  if (auto create = Modules::Get().HostSymbol<DuvirovurozAdCreateDataStreamFunction>("DuvirovurozAdCreateDataStream"))
    create(reinterpret_cast<IDataStream**>(stream.Out()));
  return stream;
}

void BM_RecordSave(benchmark::State& state) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  ComPtr<IPXMImageDIB> image = NewDIB();
  if (!Randomise(image.Get(), n, 24, FOURCC_RGB) || !NewStream()) return state.SkipWithError("no image or stream");
  ComPtr<IDataPersist> persist = image.As<IDataPersist>(pxm::iid::IDataPersist);
  Measure(state, Traffic(2 * ImageBytes(image.Get())), [&](Span& span) {
    ComPtr<IDataStream> stream = NewStream();
    span.Start();
    const bool ok = PXM_SUCCEEDED(persist->Save(stream.Get(), 0));
    span.Stop();
    return ok;
  });
}

void BM_RecordLoad(benchmark::State& state) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  ComPtr<IPXMImageDIB> image = NewDIB();
  ComPtr<IDataStream> stream = NewStream();
  if (!Randomise(image.Get(), n, 24, FOURCC_RGB) || !stream) return state.SkipWithError("no image or stream");
  image.As<IDataPersist>(pxm::iid::IDataPersist)->Save(stream.Get(), 0);
  Measure(state, Traffic(2 * ImageBytes(image.Get())), [&](Span& span) {
    ComPtr<IDataPersist> loaded = NewDIB().As<IDataPersist>(pxm::iid::IDataPersist);
    span.Start();
    const bool ok = loaded && PXM_SUCCEEDED(loaded->Load(stream.Get(), 0));
    span.Stop();
    return ok;
  });
}

// An object created, asked for a second interface and released: time per object.
void BM_CreateQueryRelease(benchmark::State& state) {
  const PXMCreatorFunction creator = Modules::Get().Creator(L"PXMImageDIB");
  if (!creator) return state.SkipWithError("no creator");
  for (auto _ : state) {
    IPXMImageDIB* image = nullptr;
    creator(nullptr, &pxm::iid::IPXMImageDIB, reinterpret_cast<void**>(&image));
    IPXMImageRender* render = nullptr;
    image->QueryInterface(pxm::iid::IPXMImageRender, reinterpret_cast<void**>(&render));
    benchmark::DoNotOptimize(render);
    if (render) render->Release();
    image->Release();
  }
}

}  // namespace

BENCHMARK(BM_Load)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->ArgNames({"w", "h", "bits"})
    ->ArgsProduct({{1024}, {1024}, {8, 24, 32}})
    ->ArgsProduct({{4096}, {4096}, {8, 24, 32}})
    ->ArgsProduct({{4096}, {3072}, {8, 24, 32}});
BENCHMARK(BM_LoadTopDown24)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load565)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadRle8)->UseManualTime()->Unit(benchmark::kMillisecond);
PXM_BENCH(BM_RasterCopyThreePlanes);
PXM_BENCH(BM_RasterCopyMean);
PXM_BENCH(BM_DibCopy24);
PXM_BENCH(BM_DibCopy24SwapBGR);
PXM_BENCH(BM_DibCopy32AlphaForced);
PXM_BENCH(BM_DibCopy32MonoTo8);
PXM_BENCH(BM_DibCopy8);
PXM_BENCH(BM_DibCopy24SwapBGRFlipped);
PXM_BENCH(BM_DibCopy32AlphaForcedFlipped);
PXM_BENCH(BM_CanvasCopy8);
PXM_BENCH(BM_CanvasCopy24);
PXM_BENCH(BM_CanvasCopy8Flipped);
PXM_BENCH(BM_CanvasCopy24Flipped);
PXM_BENCH(BM_CanvasCopy32);
PXM_BENCH(BM_Equal8);
PXM_BENCH(BM_Equal16);
PXM_BENCH(BM_Equal24);
PXM_BENCH(BM_Equal32);
PXM_BENCH(BM_TransformApply);
PXM_BENCH(BM_RenderDIB8);
PXM_BENCH(BM_RenderDIB24);
PXM_BENCH(BM_RenderDIB32);
PXM_BENCH(BM_RenderDIB32Alpha);
PXM_BENCH(BM_RenderDIB24Half);
PXM_BENCH(BM_RenderDIB32Half);
PXM_BENCH(BM_RenderDIB24Four);
PXM_BENCH(BM_RenderDIB32Four);
PXM_BENCH(BM_RenderCanvas);
PXM_BENCH(BM_RenderCanvasTransparent);
PXM_BENCH(BM_RecordSave);
PXM_BENCH(BM_RecordLoad);
BENCHMARK(BM_CreateQueryRelease)->Unit(benchmark::kNanosecond);
