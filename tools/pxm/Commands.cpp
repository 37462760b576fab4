// info, render, convert, save and load.
#include "Commands.h"

#include <cstdio>
#include <optional>

#include "BitmapFile.h"
#include "HostStreams.h"
#include "Images.h"
#include "Options.h"

namespace {

// A command's syntax: its help text, how many file arguments it takes (0: one or more), whether
// it needs "-o OUT", and the options that take a value and the flags.
struct Syntax {
  const char* usage;
  size_t positionals;
  bool needsOutput;
  std::set<std::string> valued = {};
  std::set<std::string> flags = {};
};

// What every command starts from: its parsed arguments and both modules loaded.
struct Invocation {
  Options options;
  std::optional<ModuleSet> modules;
  const std::string& File() const { return options.positional[0]; }
};

// Parses the arguments and loads the modules. Returns -1 to go on, else the exit code: 0 after
// printing the help, 2 for an argument error, 1 when a module cannot be loaded.
int Start(const Arguments& args, const Syntax& syntax, Invocation* run) {
  Options& options = run->options;
  options = ParseOptions(args, syntax.valued, syntax.flags);
  if (options.flags.count("--help")) {
    std::printf("%s", syntax.usage);
    return 0;
  }
  std::string error = options.error;
  const size_t files = options.positional.size();
  if (error.empty() && (syntax.positionals ? files != syntax.positionals : files == 0))
    error = "wrong number of arguments";
  if (error.empty() && syntax.needsOutput && options.Value("-o").empty()) error = "no output given (-o OUT)";
  if (!error.empty()) {
    std::fprintf(stderr, "pxm: %s\n\n%s", error.c_str(), syntax.usage);
    return 2;
  }
  run->modules.emplace();
  if (run->modules->error().empty()) return -1;
  std::fprintf(stderr, "pxm: %s\n", run->modules->error().c_str());
  return 1;
}

}  // namespace

int RunInfo(const Arguments& args) {
  static const Syntax syntax{
      "usage: pxm info FILE...\n"
      "Loads each bitmap (or PNG) file as a DIB image and prints what the file held (its coding,\n"
      "depth, size and header) and what the image is: bits per pixel, pixel code, palette entries,\n"
      "header size and block size.\n",
      0, false};
  Invocation run;
  if (int code = Start(args, syntax, &run); code >= 0) return code;
  int exitCode = 0;
  for (const std::string& path : run.options.positional) {
    Failure failure;
    ComPtr<IPXMImageDIB> dib = LoadBitmap(*run.modules, path, &failure);
    if (!dib) {
      exitCode = Report(failure);
      continue;
    }
    const Description d = Describe(dib.Get());
    uint32_t entries = 0;
    if (auto palette = dib.As<IPXMImagePalette>(pxm::iid::IPXMImagePalette)) palette->GetPalette(nullptr, &entries);
    uint8_t* block = nullptr;
    uint32_t blockSize = 0;
    dib->GetDIB(&block, &blockSize);
    const uint32_t header = block ? (block[0] | block[1] << 8 | block[2] << 16 | uint32_t(block[3]) << 24) : 0;
    std::string held = DescribeBitmapFile(path);
    if (held.empty()) held = "PNG picture";
    std::printf("%s: %s -> %u x %u, %u bits per pixel, code %s, %u palette entries, header %u bytes, block %u bytes\n",
                path.c_str(), held.c_str(), d.width, d.height, d.bitsPerPixel, FourccName(d.fourcc).c_str(), entries,
                header, blockSize);
  }
  return exitCode;
}

int RunRender(const Arguments& args) {
  static const Syntax syntax{
      "usage: pxm render FILE -o OUT.png [--size WxH] [--fit] [--crop X,Y,W,H] [--transparent RRGGBB]\n"
      "                  [--background RRGGBB]\n"
      "Draws a bitmap or PNG file into a picture of the given size (default: the crop's or the image's size),\n"
      "stretched or, with --fit, fitted with its aspect ratio kept; --crop cuts a rectangle of the image\n"
      "(pixels from the top left) first; --transparent leaves that colour out; the background defaults\n"
      "to white.\n",
      1, true, {"-o", "--size", "--crop", "--transparent", "--background"}, {"--fit"}};
  Invocation run;
  if (int code = Start(args, syntax, &run); code >= 0) return code;
  const Options& options = run.options;
  const ModuleSet& modules = *run.modules;
  int32_t crop[4] = {0, 0, 0, 0};
  uint32_t width = 0, height = 0;
  Rgb background{255, 255, 255}, transparent;
  if ((options.Has("--crop") && !ParseRect(options.Value("--crop"), crop)) ||
      (options.Has("--size") && !ParseSize(options.Value("--size"), &width, &height)) ||
      (options.Has("--background") && !ParseRgb(options.Value("--background"), &background)) ||
      (options.Has("--transparent") && !ParseRgb(options.Value("--transparent"), &transparent))) {
    std::fprintf(stderr, "pxm: a malformed option value\n\n%s", syntax.usage);
    return 2;
  }
  Failure failure;
  ComPtr<IPXMImageDIB> dib = LoadBitmap(modules, run.File(), &failure);
  if (!dib) return Report(failure);

  // What gets drawn: the DIB, or a canvas holding its crop or its copy (a canvas carries the
  // transparent colour).
  ComPtr<IUnknown> source = dib.As<IUnknown>(pxm::iid::IUnknown);
  const Description d = Describe(dib.Get());
  uint32_t sourceWidth = d.width, sourceHeight = d.height;
  HRESULT hr = PXM_S_OK;
  ComPtr<IPXMImageCANVAS> staging;
  if (options.Has("--crop")) {
    sourceWidth = uint32_t(crop[2]);
    sourceHeight = uint32_t(crop[3]);
    staging = MakeCanvas(modules, sourceWidth, sourceHeight, background, &hr);
    if (!staging) return Report({"creating a canvas for the crop", hr});
    const CANVASRect cut{crop[0], crop[1], crop[2], crop[3]};
    hr = RenderAsCanvasCopy(staging.Get(), dib.Get(), CANVASRect{0, 0, crop[2], crop[3]}, &cut);
    if (PXM_FAILED(hr)) return Report({"drawing the crop", hr});
  } else if (options.Has("--transparent")) {
    staging = modules.Create<IPXMImageCANVAS>(L"PXMImageCANVAS", pxm::iid::IPXMImageCANVAS);
    hr = staging ? staging->Copy(dib.Get(), 0) : PXM_E_FAIL;
    if (PXM_FAILED(hr)) return Report({"copying the image into a canvas", hr});
  }
  if (staging) {
    if (options.Has("--transparent")) staging->put_TransparentColor(TransparentValue(transparent));
    source = staging.As<IUnknown>(pxm::iid::IUnknown);
  }
  if (!options.Has("--size")) {
    width = sourceWidth;
    height = sourceHeight;
  }
  ComPtr<IPXMImageCANVAS> target = MakeCanvas(modules, width, height, background, &hr);
  if (!target) return Report({"creating the picture's canvas", hr});
  hr = RenderFlipped(target.Get(), source.Get(), CANVASRect{0, 0, int32_t(width), int32_t(height)}, nullptr,
                     options.Has("--fit"));
  if (PXM_FAILED(hr)) return Report({"drawing the image", hr});
  const std::string error = WriteCanvasPng(target.Get(), options.Value("-o"));
  if (!error.empty()) return Report({error, 0, false});
  return 0;
}

namespace {

// Copies the source into a new image of the kind; the module's copies decide the layout.
ComPtr<IPXMImage> ConvertTo(const ModuleSet& modules, IPXMImageDIB* source, const std::string& kind,
                            Failure* failure) {
  ComPtr<IPXMImage> result;
  const Description d = Describe(source);
  HRESULT hr = PXM_E_FAIL;
  auto make = [&](const wchar_t* className) {
    result = modules.Create<IPXMImage>(className, pxm::iid::IPXMImage);
    return result.Get();
  };
  if (kind == "raster") {
    if (make(L"PXMImage")) hr = result->Copy(source, 0);
  } else if (kind == "canvas") {
    if (make(L"PXMImageCANVAS")) hr = result->Copy(source, 0);
  } else if (kind == "dib32") {
    // A canvas holds every source as 4-byte pixels, which a DIB copies as 32 bits, made opaque.
    ComPtr<IPXMImage> canvas = modules.Create<IPXMImage>(L"PXMImageCANVAS", pxm::iid::IPXMImage);
    if (canvas && PXM_SUCCEEDED(hr = canvas->Copy(source, 0)) && make(L"PXMImageDIB"))
      hr = result->Copy(canvas.Get(), 255);
  } else if (kind == "dib24") {
    if (d.bitsPerPixel == 24) {
      if (make(L"PXMImageDIB")) hr = result->Copy(source, 0);
    } else {
      *failure = {"dib24 takes a 24-bit file; this one has " + std::to_string(d.bitsPerPixel) + " bits", 0, false};
      return {};
    }
  } else if (kind == "dib8") {
    // An 8-bit source keeps its palette; a colour source goes through one grey plane (the mean).
    ComPtr<IPXMImage> grey;
    IPXMImage* from = source;
    if (d.bitsPerPixel != 8) {
      grey = modules.Create<IPXMImage>(L"PXMImage", pxm::iid::IPXMImage);
      if (!grey || PXM_FAILED(hr = grey->Create(d.width, d.height, 1, 8, FOURCC_MONO)) ||
          PXM_FAILED(hr = grey->Copy(source, 0))) {
        *failure = {"making a grey plane", hr};
        return {};
      }
      from = grey.Get();
    }
    if (make(L"PXMImageDIB")) hr = result->Copy(from, 0);
  } else {
    *failure = {"unknown kind '" + kind + "' (dib8, dib24, dib32, raster, canvas)", 0, false};
    return {};
  }
  if (PXM_FAILED(hr)) {
    *failure = {"copying into " + kind, hr};
    result.Reset();
  }
  return result;
}

}  // namespace

int RunConvert(const Arguments& args) {
  static const Syntax syntax{
      "usage: pxm convert FILE --to dib8|dib24|dib32|raster|canvas -o OUT\n"
      "Copies a bitmap or PNG file into an image of the given kind with the module's conversions and writes\n"
      "it as OUT: .bmp (DIB kinds), .png (drawn), or any other name as a stream file.\n",
      1, true, {"-o", "--to"}};
  Invocation run;
  if (int code = Start(args, syntax, &run); code >= 0) return code;
  if (!run.options.Has("--to")) {
    std::fprintf(stderr, "pxm: no kind given (--to KIND)\n\n%s", syntax.usage);
    return 2;
  }
  const ModuleSet& modules = *run.modules;
  Failure failure;
  ComPtr<IPXMImageDIB> dib = LoadBitmap(modules, run.File(), &failure);
  ComPtr<IPXMImage> converted = dib ? ConvertTo(modules, dib.Get(), run.options.Value("--to"), &failure) : ComPtr<IPXMImage>{};
  if (!converted || !WriteImage(modules, converted.Get(), run.options.Value("-o"), &failure)) return Report(failure);
  return 0;
}

int RunSave(const Arguments& args) {
  static const Syntax syntax{
      "usage: pxm save FILE -o OUT.pxs\n"
      "Loads a bitmap file as a DIB image and saves its image record into a stream file.\n",
      1, true, {"-o"}};
  Invocation run;
  if (int code = Start(args, syntax, &run); code >= 0) return code;
  Failure failure;
  ComPtr<IPXMImageDIB> dib = LoadBitmap(*run.modules, run.File(), &failure);
  if (!dib || !SaveStreamFile(*run.modules, dib.Get(), run.options.Value("-o"), &failure)) return Report(failure);
  return 0;
}

int RunLoad(const Arguments& args) {
  static const Syntax syntax{
      "usage: pxm load IN.pxs -o OUT.png|OUT.bmp\n"
      "Restores a DIB image from a stream file and writes it as a picture or a bitmap file.\n",
      1, true, {"-o"}};
  Invocation run;
  if (int code = Start(args, syntax, &run); code >= 0) return code;
  const ModuleSet& modules = *run.modules;
  ComPtr<IPXMImageDIB> dib = modules.Create<IPXMImageDIB>(L"PXMImageDIB", pxm::iid::IPXMImageDIB);
  if (!dib) return Report({"creating a DIB image", PXM_E_FAIL});
  Failure failure;
  if (!LoadStreamFile(modules, run.File(), dib.Get(), &failure) ||
      !WriteImage(modules, dib.Get(), run.options.Value("-o"), &failure))
    return Report(failure);
  return 0;
}
