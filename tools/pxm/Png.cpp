#include "Png.h"

#include <png.h>

#include <cstdio>
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
