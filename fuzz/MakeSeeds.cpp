// Writes the seed corpora: bitmap files and data streams of images the module makes itself,
// one per class and pixel format it creates, small and with a pattern. Usage: MakeSeeds DIR
// (writes DIR/bitmap and DIR/stream).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzHost.h"

namespace {

void Write(const std::filesystem::path& path, const uint8_t* bytes, size_t size) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

// A file header in front of the block: signature, file size, reserved, offset of the rows.
void WriteBitmapFile(const std::filesystem::path& path, const uint8_t* block, uint32_t size, uint32_t rowsOffset) {
  std::vector<uint8_t> file(14 + size);
  const uint32_t fileSize = 14 + size, offset = 14 + rowsOffset;
  file[0] = 'B';
  file[1] = 'M';
  std::memcpy(&file[2], &fileSize, 4);
  std::memcpy(&file[10], &offset, 4);
  std::memcpy(&file[14], block, size);
  Write(path, file.data(), file.size());
}

void Pattern(IPXMImage* image) {
  uint32_t width = 0, height = 0, planes = 0, bits = 0, fourcc = 0, bytes = 0;
  image->GetSize(&width, &height, &planes);
  image->GetPixelDescriptor(&bits, &fourcc, &bytes);
  for (uint32_t plane = 0; plane < planes; ++plane) {
    uint32_t size = 0;
    uint8_t* data = nullptr;
    int32_t stride = 0;
    if (PXM_FAILED(image->GetImage(plane, &size, &data, &stride)) || !data) continue;
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < (width * bits + 7) / 8; ++x) data[int64_t{y} * stride + x] = uint8_t(x * 37 + y * 11 + plane);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path root(argv[1]);
  std::filesystem::create_directories(root / "bitmap");
  std::filesystem::create_directories(root / "stream");
  struct Format {
    uint32_t planes, bits, fourcc;
  };
  const Format formats[] = {{1, 1, FOURCC_RGB},  {1, 4, FOURCC_RGB},  {1, 8, FOURCC_RGB},   {1, 8, FOURCC_MONO},
                            {3, 8, FOURCC_MONO}, {1, 16, FOURCC_RGB}, {1, 24, FOURCC_RGB},  {1, 32, FOURCC_RGB},
                            {1, 32, FOURCC_ARGB}, {1, 24, FOURCC_BGR}, {1, 32, FOURCC_ABGR}};
  const HostApi& host = HostApi::Get();
  int written = 0;
  for (const wchar_t* className : kClassNames) {
    for (const Format& f : formats) {
      ComPtr<IPXMImage> image = NewImage(className);
      if (!image || PXM_FAILED(image->Create(5, 3, f.planes, f.bits, f.fourcc))) continue;
      Pattern(image.Get());
      const std::string stem = std::string(className, className + std::wcslen(className)) + "-" +
                               std::to_string(f.planes) + "x" + std::to_string(f.bits) + "-" +
                               std::to_string(f.fourcc & 0xFF);
      if (auto dib = image.As<IPXMImageDIB>(pxm::iid::IPXMImageDIB)) {
        uint8_t* block = nullptr;
        uint32_t size = 0;
        if (PXM_SUCCEEDED(dib->GetDIB(&block, &size)) && block) {
          uint32_t headerSize = 0;
          std::memcpy(&headerSize, block, 4);
          const uint32_t paletteSize = f.bits <= 8 ? 4u << f.bits : 0;
          WriteBitmapFile(root / "bitmap" / (stem + ".bmp"), block, size, headerSize + paletteSize);
          ++written;
        }
      }
      ComPtr<IDataStream> stream;
      auto persist = image.As<IDataPersist>(pxm::iid::IDataPersist);
      uint8_t* bytes = nullptr;
      size_t size = 0;
      if (persist && PXM_SUCCEEDED(host.createDataStream(reinterpret_cast<IDataStream**>(stream.Out()))) &&
          PXM_SUCCEEDED(persist->Save(stream.Get(), 0)) && PXM_SUCCEEDED(host.streamToBytes(stream.Get(), &bytes, &size))) {
        Write(root / "stream" / (stem + ".dvst"), bytes, size);
        host.freeBytes(bytes);
        ++written;
      }
    }
  }
  std::printf("%d seeds written\n", written);
  return 0;
}
