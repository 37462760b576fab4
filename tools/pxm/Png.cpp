#include "Png.h"

#include <png.h>

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "OutputFile.h"

namespace {

struct PngWriter {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngWriter() { png_destroy_write_struct(&png, &info); }
};

}  // namespace

std::string WritePng(const std::string& path, uint32_t width, uint32_t height, const uint8_t* rows,
                     int64_t stride) {
  OutputFile out(path);
  if (!out.file()) return out.error();

  PngWriter writer;
  writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (writer.png) writer.info = png_create_info_struct(writer.png);
  if (!writer.info) return "cannot start a PNG writer";

  std::vector<uint8_t> row(size_t(width) * 3);
  // libpng reports errors by longjmp; nothing with a destructor is created between here and the end.
  if (setjmp(png_jmpbuf(writer.png))) return "cannot write " + path;
  png_init_io(writer.png, out.file());
  png_set_IHDR(writer.png, writer.info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(writer.png, writer.info);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* src = rows + int64_t(y) * stride;
    for (uint32_t x = 0; x < width; ++x) {
      row[3 * x] = src[4 * x];
      row[3 * x + 1] = src[4 * x + 1];
      row[3 * x + 2] = src[4 * x + 2];
    }
    png_write_row(writer.png, row.data());
  }
  png_write_end(writer.png, writer.info);
  return out.Commit();
}

bool IsPngFile(const std::string& path) {
  uint8_t signature[8] = {};
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  const size_t got = std::fread(signature, 1, sizeof signature, file);
  std::fclose(file);
  return got == sizeof signature && png_sig_cmp(signature, 0, sizeof signature) == 0;
}

std::string ReadPng(const std::string& path, PngPicture* picture) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return "cannot read " + path + ": " + image.message;
  picture->alpha = image.format & PNG_FORMAT_FLAG_ALPHA;
  image.format = picture->alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  // The header's size is only a claim: deflate packs at most about 1032 bytes into one, so pixels
  // beyond that of the file's size (and 2^28 pixels in all) are refused before any memory is taken.
  std::error_code failed;
  const uint64_t size = std::filesystem::file_size(path, failed);
  const uint64_t fileSize = failed ? 0 : size;
  const uint64_t bytes = uint64_t{image.width} * image.height * PNG_IMAGE_PIXEL_SIZE(image.format);
  if (uint64_t{image.width} * image.height > (uint64_t{1} << 28) || bytes > 1032 * fileSize + (1u << 20)) {
    png_image_free(&image);
    return path + " claims more pixels than it can hold";
  }
  picture->width = image.width;
  picture->height = image.height;
  picture->pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture->pixels.data(), 0, nullptr)) return "cannot read " + path + ": " + image.message;
  return {};
}
