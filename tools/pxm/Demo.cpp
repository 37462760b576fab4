// pxm demo: the module's main job on the built-in sample, one line per step.
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "BitmapFile.h"
#include "Commands.h"
#include "HostStreams.h"
#include "Images.h"
#include "OutputFile.h"
#include "Sample.h"

namespace {

class Stopwatch {
 public:
  double Milliseconds() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_Start).count();
  }

 private:
  std::chrono::steady_clock::time_point m_Start = std::chrono::steady_clock::now();
};

void Step(const char* what, const Stopwatch& watch) { std::printf("%-70s %8.2f ms\n", what, watch.Milliseconds()); }

constexpr uint32_t kCanvasWidth = 480, kCanvasHeight = 360;

}  // namespace

int RunDemo(const Arguments& args) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::printf(
        "usage: pxm demo [DIR]   (also: pxm)\n"
        "Writes the built-in sample as DIR/sample.bmp (default DIR: pxm-demo), loads it as a DIB image,\n"
        "draws it fitted into a larger canvas (fitted.png), copies it into a canvas and draws that over a\n"
        "checkerboard leaving the magenta key area out (transparent.png), saves the DIB into a stream file\n"
        "(sample.pxs), restores it into a new image and draws that too (restored.png).\n");
    return 0;
  }
  if (args.size() > 1) {
    std::fprintf(stderr, "pxm: demo takes at most one folder\n");
    return 2;
  }
  const std::string dir = args.empty() ? "pxm-demo" : args[0];
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "pxm: cannot make %s: %s\n", dir.c_str(), std::strerror(errno));
    return 1;
  }
  ModuleSet modules;
  if (!modules.error().empty()) {
    std::fprintf(stderr, "pxm: %s\n", modules.error().c_str());
    return 1;
  }
  char line[256];
  HRESULT hr = PXM_S_OK;
  Failure failure;

  Stopwatch watch;
  const std::vector<uint8_t> file = sample::BitmapFile();
  const std::string samplePath = dir + "/sample.bmp";
  if (std::string error = WriteWholeFile(samplePath, file.data(), file.size()); !error.empty())
    return Report({error, 0, false});
  std::snprintf(line, sizeof(line), "wrote the sample, %u x %u at 24 bits, %zu bytes: %s", sample::kWidth,
                sample::kHeight, file.size(), samplePath.c_str());
  Step(line, watch);

  watch = Stopwatch();
  ComPtr<IPXMImageDIB> dib = LoadBitmap(modules, samplePath, &failure);
  if (!dib) return Report(failure);
  const Description d = Describe(dib.Get());
  std::snprintf(line, sizeof(line), "loaded it as a DIB image: %u x %u, %u bits, code %s", d.width, d.height,
                d.bitsPerPixel, FourccName(d.fourcc).c_str());
  Step(line, watch);

  watch = Stopwatch();
  ComPtr<IPXMImageCANVAS> fitted = MakeCanvas(modules, kCanvasWidth, kCanvasHeight, Rgb{40, 40, 48}, &hr);
  if (!fitted) return Report({"creating a canvas", hr});
  hr = RenderFlipped(fitted.Get(), dib.Get(), CANVASRect{0, 0, int32_t(kCanvasWidth), int32_t(kCanvasHeight)},
                     nullptr, true);
  if (PXM_FAILED(hr)) return Report({"drawing the DIB fitted", hr});
  if (std::string error = WriteCanvasPng(fitted.Get(), dir + "/fitted.png"); !error.empty())
    return Report({error, 0, false});
  std::snprintf(line, sizeof(line), "drew it fitted into a %u x %u canvas: %s/fitted.png", kCanvasWidth,
                kCanvasHeight, dir.c_str());
  Step(line, watch);

  watch = Stopwatch();
  ComPtr<IPXMImageCANVAS> copy = modules.Create<IPXMImageCANVAS>(L"PXMImageCANVAS", pxm::iid::IPXMImageCANVAS);
  if (!copy || PXM_FAILED(hr = copy->Copy(dib.Get(), 0))) return Report({"copying the DIB into a canvas", hr});
  copy->put_TransparentColor(TransparentValue(Rgb{0xFF, 0x00, 0xFF}));
  ComPtr<IPXMImageCANVAS> board = MakeCanvas(modules, d.width, d.height, Rgb{255, 255, 255}, &hr);
  if (!board) return Report({"creating a canvas", hr});
  DrawCheckerboard(board.Get(), 10);
  hr = RenderFlipped(board.Get(), copy.Get(), CANVASRect{0, 0, int32_t(d.width), int32_t(d.height)}, nullptr, false);
  if (PXM_FAILED(hr)) return Report({"drawing the canvas with its transparent colour", hr});
  if (std::string error = WriteCanvasPng(board.Get(), dir + "/transparent.png"); !error.empty())
    return Report({error, 0, false});
  std::snprintf(line, sizeof(line), "copied it into a canvas, drew it over a checkerboard without magenta: %s",
                (dir + "/transparent.png").c_str());
  Step(line, watch);

  watch = Stopwatch();
  const std::string streamPath = dir + "/sample.pxs";
  if (!SaveStreamFile(modules, dib.Get(), streamPath, &failure)) return Report(failure);
  struct stat info {};
  stat(streamPath.c_str(), &info);
  std::snprintf(line, sizeof(line), "saved its record into a stream file, %lld bytes: %s", (long long)info.st_size,
                streamPath.c_str());
  Step(line, watch);

  watch = Stopwatch();
  ComPtr<IPXMImageDIB> restored = modules.Create<IPXMImageDIB>(L"PXMImageDIB", pxm::iid::IPXMImageDIB);
  if (!restored) return Report({"creating a DIB image", PXM_E_FAIL});
  if (!LoadStreamFile(modules, streamPath, restored.Get(), &failure)) return Report(failure);
  if (!WriteImage(modules, restored.Get(), dir + "/restored.png", &failure)) return Report(failure);
  const Description r = Describe(restored.Get());
  std::snprintf(line, sizeof(line), "restored it into a new image, %u x %u at %u bits, and drew it: %s", r.width,
                r.height, r.bitsPerPixel, (dir + "/restored.png").c_str());
  Step(line, watch);
  return 0;
}
