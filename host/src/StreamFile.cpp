#include "StreamFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

bool WriteAll(int fd, const uint8_t* bytes, size_t size) {
  while (size != 0) {
    const ssize_t written = write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool ReadAll(int fd, uint8_t* bytes, size_t size) {
  while (size != 0) {
    const ssize_t got = read(fd, bytes, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;  // an error, or the file shrank while it was read
    bytes += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

HRESULT WriteFileAtomically(const char* path, const uint8_t* bytes, size_t size) {
  static constexpr char kSuffix[] = ".XXXXXX";
  const size_t length = std::strlen(path);
  char* temporary = static_cast<char*>(std::malloc(length + sizeof(kSuffix)));
  if (temporary == nullptr) return PXM_E_OUTOFMEMORY;
  std::memcpy(temporary, path, length);
  std::memcpy(temporary + length, kSuffix, sizeof(kSuffix));
  const int fd = mkstemp(temporary);
  if (fd < 0) {
    std::free(temporary);
    return PXM_E_FAIL;
  }
  // mkstemp makes the file private; a stream file is an ordinary document.
  bool ok = fchmod(fd, 0644) == 0 && WriteAll(fd, bytes, size) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && std::rename(temporary, path) == 0;
  if (!ok) unlink(temporary);
  std::free(temporary);
  return ok ? PXM_S_OK : PXM_E_FAIL;
}

HRESULT ReadWholeFile(const char* path, uint8_t** bytes, size_t* size) {
  *bytes = nullptr;
  *size = 0;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return PXM_E_FAIL;
  struct stat info;
  HRESULT hr = PXM_E_FAIL;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    const size_t length = static_cast<size_t>(info.st_size);
    uint8_t* block = static_cast<uint8_t*>(std::malloc(length != 0 ? length : 1));
    if (block == nullptr) {
      hr = PXM_E_OUTOFMEMORY;
    } else if (!ReadAll(fd, block, length)) {
      std::free(block);
    } else {
      *bytes = block;
      *size = length;
      hr = PXM_S_OK;
    }
  }
  close(fd);
  return hr;
}

}  // namespace host
