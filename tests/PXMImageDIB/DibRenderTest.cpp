// Drawing into canvases of the module: DIBs of every depth 1:1, scaled, cut and fitted, from a caller's
// block read no further than its rows; canvases with a transparent colour. This program's
// CGContextDrawImage stands in for contexts that keep the image they get (as a PDF context does) or draw again.
#include <dlfcn.h>

#include <chrono>
#include <future>
#include <utility>

#include "DibTestSupport.h"

namespace {
CGImageRef gKept = nullptr;
bool gKeep = false;
IPXMImageRender* gNested = nullptr;  // drawn again, once, from inside the drawing
HRESULT gNestedResult = PXM_E_FAIL;
std::future<HRESULT> gOther;  // drawn from another thread meanwhile
bool gOtherEarly = false;
using DrawImage = void (*)(CGContextRef, CGRect, CGImageRef);
DrawImage RealDrawImage() { return reinterpret_cast<DrawImage>(dlsym(RTLD_NEXT, "CGContextDrawImage")); }
}  // namespace

extern "C" __attribute__((visibility("default"))) void CGContextDrawImage(CGContextRef context, CGRect rect, CGImageRef image) {
  if (gKeep && image && !gKept) gKept = CGImageRetain(image);
  if (IPXMImageRender* nested = std::exchange(gNested, nullptr)) {
    CANVASRect where{0, 0, 4, 2};
    gNestedResult = nested->Render(context, &where, nullptr);
    // The outer drawing still holds the lock: another thread's drawing waits until it ends.
    gOther = std::async(std::launch::async, [=]() mutable { return nested->Render(context, &where, nullptr); });
    gOtherEarly = gOther.wait_for(std::chrono::milliseconds(200)) == std::future_status::ready;
  }
  RealDrawImage()(context, rect, image);
}

namespace {

constexpr uint32_t kBackground = Rgbx(9, 99, 199);

// A depth: how pattern value v is stored at pixel x of a row, and the colour it is drawn in. The
// palette is 0x00RRGGBB as SetPalette takes it; none: the grey ramp.
struct DepthCase { const char* name; uint32_t bitsPerPixel, fourcc; std::vector<uint32_t> palette; };
constexpr uint8_t kAlphas[] = {0, 255, 128, 77};
std::vector<uint32_t> Palette(uint32_t count, uint32_t seed) {
  std::vector<uint32_t> p(count);
  return std::generate(p.begin(), p.end(), [&, i = 0u]() mutable { return (i++ * 2654435761u + seed) & 0x00FFFFFF; }), p;
}
// Rows below 8 bits hold indices from the high bits of each byte on; 16 bits are 5-5-5 under a top
// bit that is not drawn (set in about half of them); a 32-bit pixel with alpha takes one of four alphas.
void Put(const DepthCase& c, uint8_t* row, uint32_t x, uint32_t v) {
  if (c.bitsPerPixel < 8) {
    const uint32_t mask = (1u << c.bitsPerPixel) - 1, shift = 8 - c.bitsPerPixel - x * c.bitsPerPixel % 8;
    row[x * c.bitsPerPixel / 8] = uint8_t((row[x * c.bitsPerPixel / 8] & ~(mask << shift)) | (v & mask) << shift);
    return;
  }
  if (c.fourcc == FOURCC_ARGB) v = (v & kRgbMask) | uint32_t{kAlphas[v >> 24 & 3]} << 24;
  std::memcpy(row + x * c.bitsPerPixel / 8, &v, c.bitsPerPixel / 8);
}
uint8_t Blend(uint32_t s, uint32_t d, uint32_t a) { return uint8_t((s * a + d * (255 - a) + 127) / 255); }
uint32_t Colour(const DepthCase& c, uint32_t v) {
  const uint32_t e = c.palette.empty() ? (v & 0xFF) * 0x010101u : c.palette[v & (c.palette.size() - 1)];  // 8 bits without one: grey
  if (!c.palette.empty() || c.bitsPerPixel == 8) return Rgbx(uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e));
  if (c.bitsPerPixel == 16) return Rgbx(Widen5(v >> 10), Widen5(v >> 5), Widen5(v));
  const uint32_t a = c.fourcc == FOURCC_ARGB ? kAlphas[v >> 24 & 3] : 255, d = kBackground;
  return Rgbx(Blend(v & 0xFF, d & 0xFF, a), Blend(v >> 8 & 0xFF, d >> 8 & 0xFF, a), Blend(v >> 16 & 0xFF, d >> 16 & 0xFF, a));
}

const DepthCase kDepths[] = {{"Bits1", 1, FOURCC_RGB, Palette(2, 11)},  {"Bits4", 4, FOURCC_RGB, Palette(16, 22)}, {"Bits8Palette", 8, FOURCC_RGB, Palette(256, 33)},
                             {"Bits8Grey", 8, FOURCC_MONO, {}}, {"Bits16", 16, FOURCC_RGB, {}}, {"Bits24", 24, FOURCC_RGB, {}},
                             {"Bits32Skipped", 32, FOURCC_RGB, {}}, {"Bits32Alpha", 32, FOURCC_ARGB, {}}};

uint32_t Value(uint32_t x, uint32_t y) { return (x * 2654435761u) ^ (y * 0x9E3779B9u) ^ (x * y * 40503u); }  // y from the top
uint32_t Blocks(uint32_t x, uint32_t y) { return Value(x / 2, y / 2); }  // 2 x 2 blocks: exact at half size

// Over a handed-over block of exactly header, palette and rows (but with alpha, which a header does
// not hold): the sanitizers catch any read past the rows.
ComPtr<IPXMImageDIB> MakeDib(const DepthCase& c, uint32_t w, uint32_t h, uint32_t (*value)(uint32_t, uint32_t)) {
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  EXPECT_EQ(dib->Create(w, h, 1, c.bitsPerPixel, c.fourcc), PXM_S_OK);
  const view::Probe made = ViewOf(dib.Get());
  auto* exact = static_cast<uint8_t*>(std::malloc(made.blockSize));
  std::memcpy(exact, made.block, made.blockSize);
  if (c.fourcc != FOURCC_ARGB) EXPECT_EQ(dib->CreateOnDIB(exact, nullptr, 1), PXM_S_OK); else std::free(exact);
  std::vector<uint32_t> palette = c.palette;
  if (!palette.empty()) PaletteOf(dib.Get())->SetPalette(palette.data(), uint32_t(palette.size()), 0);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) Put(c, ImageRow(dib.Get(), y), x, value(x, y));
  return dib;
}

// Whether the target shows `part` of the picture at `at`, scaled by at/part, and the background elsewhere.
testing::AssertionResult Shows(const Surface& target, const DepthCase& c, CANVASRect part, CANVASRect at) {
  for (uint32_t y = 0; y < target.height; ++y)
    for (uint32_t x = 0; x < target.width; ++x) {
      const int32_t u = int32_t(x) - at.x, v = int32_t(y) - at.y;
      const bool inside = u >= 0 && u < at.width && v >= 0 && v < at.height;
      const uint32_t expected = inside ? Colour(c, Value(uint32_t(part.x + u * part.width / at.width), uint32_t(part.y + v * part.height / at.height))) : kBackground;
      if (target.At(x, y) != expected)
        return testing::AssertionFailure() << "at " << x << "," << y << ": " << std::hex << target.At(x, y) << " not " << expected;
    }
  return testing::AssertionSuccess();
}

// At 1:1 user-space pixel (x, y) is picture pixel (x, y), upside down in unflipped coordinates; also
// at 2x and 1/2, fitted (aspect kept, centred whatever the size's sign, halves truncated; stretched
// without the flag) and cut by source rectangles (rows from the top; one covering the picture draws it
// whole, one reaching below it or without area nothing). A canvas copy draws the same and keeps the CTM.
TEST(DibRender, EveryDepthOneToOneScaledCutAndFitted) {
  struct Cut { CANVASRect source, destination, part; };  // part: what shows at the destination; no width: nothing
  // Half: the picture of 2 x 2 blocks, drawn at half size. Flags -1: through IPXMImageRender.
  struct Drawn { bool half; CANVASRect destination; int flags; CANVASRect drawn; };
  const Drawn draws[] = {{false, {2, 1, 13, 5}, -1, {2, 1, 13, 5}},           {false, {1, 0, 26, 10}, -1, {1, 0, 26, 10}},         {true, {2, 1, 5, 3}, -1, {2, 1, 5, 3}},
                         {false, {0, 0, 30, 10}, FitToRect, {2, 0, 26, 10}},  {false, {1, 0, 26, 12}, FitToRect, {1, 1, 26, 10}},  {false, {2, 0, -26, 10}, FitToRect, {2, 0, 26, 10}},
                         {false, {-20, -1, 26, 12}, FitToRect, {-20, 0, 26, 10}}, {false, {1, 1, 26, 5}, 0, {1, 1, 26, 5}},      {false, {1, 1, 26, 5}, ~FitToRect, {1, 1, 26, 5}}};
  const Cut cuts[] = {{{5, 7, 9, 6}, {1, 1, 9, 6}, {0, 0, 9, 6}},   {{-3, 2, 20, 30}, {0, 0, 9, 6}, {0, 0, 9, 6}},
                      {{0, 0, 9, 5}, {0, 0, 9, 5}, {0, 0, 9, 5}},   {{2, 1, 5, 3}, {3, 2, 5, 3}, {2, 1, 5, 3}},
                      {{6, 4, 3, 2}, {0, 0, 3, 2}, {6, 4, 3, 2}},   {{0, 5, 4, 2}, {0, 0, 4, 2}, {}},
                      {{0, 0, 0, 6}, {0, 0, 9, 6}, {}},             {{0, 0, 9, -1}, {0, 0, 9, 6}, {}},
                      {{20, 0, 4, 4}, {0, 0, 4, 4}, {}},            {{4, 0, -2, 6}, {0, 0, 9, 6}, {}}};
  for (const DepthCase& c : kDepths)
    for (const Coordinates coordinates : {Coordinates::Flipped, Coordinates::Unflipped}) {
      SCOPED_TRACE(testing::Message() << c.name << (coordinates == Coordinates::Flipped ? " flipped" : " unflipped"));
      ComPtr<IPXMImageDIB> dib = MakeDib(c, 13, 5, Value), blocks = MakeDib(c, 10, 6, Blocks);
      ComPtr<IPXMImageCANVAS> canvas, halfCanvas;
      if (c.bitsPerPixel == 32 && c.fourcc != FOURCC_ARGB) {
        (canvas = ModuleHost::Get().CreateCanvas())->Copy(dib.Get(), 0);
        (halfCanvas = ModuleHost::Get().CreateCanvas())->Copy(blocks.Get(), 0);
      }
      const std::pair<IUnknown*, IUnknown*> pictures[] = {{dib.Get(), blocks.Get()}, {canvas.Get(), halfCanvas.Get()}};
      for (const auto& [picture, blocked] : pictures) {
        if (!picture) continue;
        CANVASRect ignored{3, 3, 1, 1}, *source = picture == dib.Get() ? nullptr : &ignored;
        for (const Drawn& d : draws) {
          Surface target(30, 12, coordinates, kBackground);
          CANVASRect destination = d.destination;
          IUnknown* image = d.half ? blocked : picture;
          ASSERT_EQ(d.flags < 0 ? Draw(image, target.context, destination, source) : DrawWithFlags(image, target.context, &destination, d.flags), PXM_S_OK);
          EXPECT_TRUE(Shows(target, c, {0, 0, d.half ? 5 : 13, d.half ? 3 : 5}, d.drawn)) << "into " << destination.x << "," << destination.y << " flags " << d.flags;
          EXPECT_EQ(CGContextGetCTM(target.context).d, coordinates == Coordinates::Flipped ? -1.0 : 1.0);
        }
      }
      ComPtr<IPXMImageDIB> small = MakeDib(c, 9, 6, Value);
      for (const Cut& k : cuts) {
        SCOPED_TRACE(testing::Message() << "source " << k.source.x << "," << k.source.y << "," << k.source.width << "," << k.source.height);
        Surface target(11, 8, coordinates, kBackground);
        CANVASRect source = k.source;
        ASSERT_EQ(Draw(small.Get(), target.context, k.destination, &source), PXM_S_OK);
        EXPECT_TRUE(Shows(target, c, k.part, k.part.width ? k.destination : CANVASRect{}));
      }
      EXPECT_EQ((std::vector{RefCount(dib.Get()), RefCount(small.Get())}), (std::vector{1u, 1u})) << "the providers' references are released";
    }
}

// The transparent colour 0x00BBGGRR leaves out exactly the pixels of that colour, keys next to
// pixels one step off in red, green and blue; the top byte is not read, only -1 turns masking off.
// A grey canvas draws into a colour canvas as grey pixels; its transparent colour leaves out a grey level.
TEST(CanvasRender, ColourAndGreyCanvasesLeaveOutTheTransparentColour) {
  constexpr uint32_t kGrey = Rgbx(153, 153, 153);
  for (const uint32_t key : {Rgbx(0x99, 0x66, 0x33), Rgbx(255, 0, 255), Rgbx(255, 255, 255), Rgbx(0, 0, 0), kGrey}) {
    const bool grey = key == kGrey;
    const std::vector<uint32_t> row = grey ? std::vector<uint32_t>{0, kGrey, kGrey, 0} : std::vector{key, key ^ 0x000001, key ^ 0x000100, key ^ 0x010000, key ^ 0x808080};
    const uint32_t width = uint32_t(row.size());
    ComPtr<IPXMImageCANVAS> canvas = ModuleHost::Get().CreateCanvas();
    ASSERT_EQ(canvas->Create(width, grey ? 2 : 1, 1, grey ? 8 : 32, grey ? FOURCC_MONO : FOURCC_RGB), PXM_S_OK);
    uint8_t* bottom = ImageRow(canvas.Get(), 0);  // grey levels or colour words
    if (grey) std::copy(row.begin(), row.end(), bottom); else std::memcpy(bottom, row.data(), 4 * width);
    for (const int colour : {-1, int(key), int(key | 0x7F000000u), int(key | 0xFF000000u), 0x000000, 0x000099}) {
      SCOPED_TRACE(testing::Message() << std::hex << key << " key, colour " << colour);
      canvas->put_TransparentColor(colour);
      Surface target(width, 2, grey ? Coordinates::Unflipped : Coordinates::Flipped, kBackground);
      ASSERT_EQ(Draw(canvas.Get(), target.context, {0, 0, int32_t(width), 2}), PXM_S_OK);
      for (uint32_t i = 0; i < 2 * width; ++i) {
        const uint32_t pixel = grey && i >= width ? 0 : row[i % width];  // the top row of a grey canvas is black
        EXPECT_EQ(target.At(i % width, i / width), colour != -1 && pixel == (uint32_t(colour) & kRgbMask) ? kBackground : pixel) << i;
      }
    }
  }
}

// Drawing through IPXMImageRender (flags -1) or IRenderableObject: a missing rectangle or context is a
// null pointer (a fitted canvas draws into nothing); no pixels, or 2-bit rows without a palette, draw
// nothing; a canvas destination below 2 x 2 returns 0 first. Only the colour canvas at 2 x 2 shows.
TEST(Render, ResultCodes) {
  Surface target(4, 4, Coordinates::Flipped, kBackground);
  ComPtr<IPXMImageDIB> noDib = ModuleHost::Get().CreateDIB(), dib = MakeDib(kDepths[5], 4, 4, Value);
  ComPtr<IPXMImageDIB> twoBits = ModuleHost::Get().CreateDIB();
  Bytes rows = MakeBlock(InfoHeaderBytes({.width = 4, .height = 4, .bitsPerPixel = 2}), 0, 4, 4, 4);
  ASSERT_EQ(twoBits->CreateOnDIB(rows.data.data(), nullptr, 0), PXM_S_OK);
  ComPtr<IPXMImageCANVAS> empty = ModuleHost::Get().CreateCanvas(), failed = ModuleHost::Get().CreateCanvas(), colour = MakeColourCanvas(4, 4);
  failed->Create(0, 5, 1, 32, FOURCC_RGB);
  const CANVASRect none{0, 0, 0, 99};
  struct Case { IUnknown* image; CANVASRect rect; int flags; HRESULT expected; } const cases[] = {  // rect `none`: a null pointer
      {noDib.Get(), {0, 0, 4, 4}, -1, PXM_S_OK},      {noDib.Get(), {0, 0, 4, 4}, FitToRect, PXM_S_OK},  {twoBits.Get(), {0, 0, 4, 4}, -1, PXM_S_OK},
      {dib.Get(), none, -1, PXM_E_POINTER},           {dib.Get(), none, 0, PXM_E_POINTER},               {colour.Get(), none, -1, PXM_E_POINTER},
      {colour.Get(), none, FitToRect, PXM_S_OK},      {failed.Get(), {0, 0, 4, 4}, FitToRect, PXM_S_OK}, {empty.Get(), {0, 0, 1, 100}, -1, PXM_S_OK},
      {empty.Get(), {0, 0, 100, 1}, 0, PXM_S_OK},     {empty.Get(), {0, 0, -4, 4}, -1, PXM_S_OK},        {empty.Get(), {0, 0, 2, 2}, -1, PXM_E_FAIL},
      {failed.Get(), {0, 0, 4, 4}, 0, PXM_E_FAIL},    {colour.Get(), {0, 0, 1, 1}, -1, PXM_S_OK},        {colour.Get(), {0, 0, 2, 2}, 0, PXM_S_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rect.x << "," << c.rect.y << "," << c.rect.width << "," << c.rect.height << " flags " << c.flags);
    CANVASRect rect = c.rect, *r = c.rect.height == 99 ? nullptr : &rect;
    EXPECT_EQ(c.flags < 0 ? Query<IPXMImageRender>(c.image, pxm::iid::IPXMImageRender)->Render(target.context, r, nullptr)
                          : DrawWithFlags(c.image, target.context, r, c.flags), c.expected);
  }
  for (IUnknown* image : {static_cast<IUnknown*>(dib.Get()), static_cast<IUnknown*>(colour.Get())}) EXPECT_EQ(Draw(image, nullptr, {0, 0, 4, 4}), PXM_E_POINTER);
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(target.At(x, y) == kBackground, x >= 2 || y >= 2) << x << "," << y;
  uint32_t size = 0;
  int32_t stride = 0;
  EXPECT_EQ(dib->GetImage(0, &size, nullptr, &stride), PXM_E_POINTER);
  EXPECT_EQ((std::vector{RefCount(dib.Get()), RefCount(colour.Get())}), (std::vector{1u, 1u}));
}

HRESULT Finished(std::future<HRESULT>& drawing) {
  if (drawing.wait_for(std::chrono::seconds(30)) == std::future_status::ready) return drawing.get();
  ADD_FAILURE() << "the drawing waits for a lock it cannot have";
  std::_Exit(1);
}

// A render nested in one of the same DIB on its thread draws without waiting for itself, leaving the
// outer hold; an image the context keeps reads the rows it was made over after the DIB took new blocks.
TEST(DibRender, NestedRendersGoOnAndKeptImagesOutliveANewBlock) {
  Surface target(4, 2, Coordinates::Unflipped);
  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  for (const bool owned : {true, false})
    for (const bool handed : {false, true}) {
      SCOPED_TRACE(std::string(owned ? "a block of its own" : "a lent block") + (handed ? ", then one handed over" : ""));
      Bytes lent = MakeBlock(InfoHeaderBytes({.width = 4, .height = 2}), 0, 4, 12, 2);
      ASSERT_EQ(owned ? dib->Create(4, 2, 1, 24, FOURCC_RGB) : dib->CreateOnDIB(lent.data.data(), nullptr, 0), PXM_S_OK);
      for (uint32_t y = 0; y < 2; ++y) std::memset(view::Probe(dib.Get(), 0).Row(y), 0x40, 12);
      ComPtr<IPXMImageRender> render = dib.As<IPXMImageRender>(pxm::iid::IPXMImageRender);
      gKeep = true, gNested = owned && !handed ? render.Get() : nullptr;
      CANVASRect where{0, 0, 4, 2};
      std::future<HRESULT> outer = std::async(std::launch::async, [&] { return render->Render(target.context, &where, nullptr); });
      ASSERT_EQ(Finished(outer), PXM_S_OK);
      if (owned && !handed) {
        EXPECT_EQ(std::pair(gNestedResult, Finished(gOther)), std::pair(PXM_S_OK, PXM_S_OK));
        EXPECT_FALSE(gOtherEarly) << "the nested drawing released the outer one's hold";
      }
      gKeep = false;
      ASSERT_TRUE(gKept);
      render.Reset();
      EXPECT_EQ(RefCount(dib.Get()), 2u) << "the provider holds the image";
      // Created anew, or on a block handed over, then anew: each time a new block.
      uint8_t* block = handed ? MakeBlock(InfoHeaderBytes({.width = 64, .height = 64, .bitsPerPixel = 32}), 0, 4, 256, 64).HeapCopy() : nullptr;
      ASSERT_EQ(handed ? dib->CreateOnDIB(block, nullptr, 1) : dib->Create(64, 64, 1, 32, FOURCC_ARGB), PXM_S_OK);
      ASSERT_EQ(dib->Create(4, 2, 1, 24, FOURCC_RGB), PXM_S_OK);
      std::memset(view::Probe(dib.Get(), 0).Row(1), 0x99, 12);
      target.Fill(0);
      RealDrawImage()(target.context, CGRectMake(0, 0, 4, 2), gKept);
      for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(target.At(i % 4, i / 4), 0x404040u) << "the rows it was made over";
      CGImageRelease(std::exchange(gKept, nullptr));
      EXPECT_EQ(RefCount(dib.Get()), 1u);
    }
}

}  // namespace
