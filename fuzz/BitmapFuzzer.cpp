// Bitmap file bytes through Load into an image that already holds one, then the whole walk:
// everything read, copied into each class, drawn, filled, saved and loaded back. A failed Load
// must leave the previous image as it was.
#include <unistd.h>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzHost.h"

namespace {

// The bytes live in a file the module opens by path: on Linux a memory file reached through /proc,
// elsewhere a temporary file, removed at exit.
int g_File = -1;
std::wstring g_Path;

int OpenBytesFile(std::string& path) {
#ifdef __linux__
  const int file = memfd_create("bitmap", 0);
  path = "/proc/self/fd/" + std::to_string(file);
#else
  static std::string name;
  const char* dir = std::getenv("TMPDIR");
  name = std::string(dir && *dir ? dir : "/tmp") + "/pxm-bitmap-XXXXXX";
  const int file = mkstemp(name.data());
  if (file >= 0) std::atexit([] { unlink(name.c_str()); });
  path = name;
#endif
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ModuleHost::Get();
  HostApi::Get();
  std::string path;
  g_File = OpenBytesFile(path);
  if (g_File < 0) std::abort();
  g_Path.assign(path.begin(), path.end());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (ftruncate(g_File, 0) != 0 || pwrite(g_File, data, size, 0) != static_cast<ssize_t>(size)) std::abort();

  ComPtr<IPXMImageDIB> dib = ModuleHost::Get().CreateDIB();
  if (!dib || PXM_FAILED(dib->Create(3, 2, 1, 24, FOURCC_RGB))) std::abort();
  uint8_t* before = nullptr;
  dib->GetDIB(&before, nullptr);

  PathString path(g_Path);
  if (PXM_FAILED(dib->Load(&path))) {
    uint32_t width = 0, height = 0, planes = 0;
    uint8_t* after = nullptr;
    dib->GetSize(&width, &height, &planes);
    dib->GetDIB(&after, nullptr);
    if (width != 3 || height != 2 || after != before) {
      std::fprintf(stderr, "a failed Load changed the image\n");
      std::abort();
    }
    return 0;
  }
  Exercise(dib.Get());
  return 0;
}
