// Bitmap file bytes through Load into an image that already holds one, then the whole walk:
// everything read, copied into each class, drawn, filled, saved and loaded back. A failed Load
// must leave the previous image as it was.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzHost.h"

namespace {

// The bytes live in a memory file, reached by the module through its /proc path.
int g_File = -1;
std::wstring g_Path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ModuleHost::Get();
  HostApi::Get();
  g_File = memfd_create("bitmap", 0);
  if (g_File < 0) std::abort();
  const std::string path = "/proc/self/fd/" + std::to_string(g_File);
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
