// The pxm tool as a user runs it: every command on the built-in sample and on fixture files, the
// pictures it writes decoded and probed, and its failures leaving no output behind.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ScratchFiles.h"

namespace {

struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;  // top row first
  uint32_t At(uint32_t x, uint32_t y) const { return uint32_t(rgb.at((size_t(y) * width + x) * 3)) << 16 | rgb.at((size_t(y) * width + x) * 3 + 1) << 8 | rgb.at((size_t(y) * width + x) * 3 + 2); }
};
std::string Slurp(const std::string& path) { return (std::stringstream() << std::ifstream(path).rdbuf()).str(); }
std::string Fixture(const char* name, const char* folder = PXM_FIXTURES) { return "'" + std::string(folder) + "/" + name + "'"; }

class Tool : public testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(dir = (ScratchFolder() / testing::UnitTest::GetInstance()->current_test_info()->name()).string()); }
  int Run(const std::string& args) {  // pxm run in the test's folder, what it printed kept
    const int status = std::system(("cd '" + dir + "' && '" PXM_TOOL "' " + args + " > out.txt 2> err.txt").c_str());
    out = Slurp(dir + "/out.txt"), err = Slurp(dir + "/err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  Picture Png(const std::string& name) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_file(&image, (dir + "/" + name).c_str())) << name;
    image.format = PNG_FORMAT_RGB;
    Picture p{image.width, image.height, std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) << name;
    return p;
  }
  std::string dir, out, err;
};

// The sample (tools/pxm/Sample.h): 320 x 200, a grey ramp in rows 0..39, red, green, blue and
// yellow quadrants below, a magenta key area [110, 210) x [90, 150).
constexpr uint32_t kRed = 0xE02020, kGreen = 0x20C040, kBlue = 0x2040E0, kYellow = 0xF0D020;

TEST_F(Tool, DemoDrawsUprightFittedMaskedAndRestoredPictures) {
  ASSERT_EQ(Run("demo out"), 0) << err;
  for (const char* name : {"sample.bmp", "sample.pxs"}) EXPECT_TRUE(std::filesystem::exists(dir + "/out/" + name)) << name;
  // Fitted into 480 x 360: scale 1.5, so 480 x 300 with 30 rows of background above and below.
  const Picture fitted = Png("out/fitted.png");
  ASSERT_EQ((std::pair{fitted.width, fitted.height}), (std::pair{480u, 360u}));
  EXPECT_EQ((std::vector{fitted.At(240, 10), fitted.At(240, 350), fitted.At(2, 32), fitted.At(479, 32), fitted.At(60, 120), fitted.At(420, 120), fitted.At(60, 300), fitted.At(420, 300)}),
            (std::vector{0x282830u, 0x282830u, 0x000000u, 0xFFFFFFu, kRed, kGreen, kBlue, kYellow}));
  // The key area lets the checkerboard through; restored, the key is an ordinary colour.
  const Picture masked = Png("out/transparent.png"), restored = Png("out/restored.png");
  ASSERT_EQ((std::pair{masked.width, masked.height}), (std::pair{320u, 200u}));
  EXPECT_TRUE(masked.At(160, 120) == 0x999999 || masked.At(160, 120) == 0xD9D9D9) << std::hex << masked.At(160, 120);
  EXPECT_EQ((std::vector{masked.At(40, 60), masked.At(40, 180), restored.At(280, 180), restored.At(160, 120)}), (std::vector{kRed, kBlue, kYellow, 0xFF00FFu}));
}

TEST_F(Tool, InfoRenderConvertSaveAndLoad) {
  // 1:1 against the independent writer's decode: a PNG file goes through the module too, and a
  // picture written as a bitmap file and read back keeps its colours.
  const Picture decode{7, 5, ReadFile(std::string(PXM_FIXTURES) + "/v5.rgb")};
  ASSERT_EQ(Run("render " + Fixture("v5.bmp") + " -o v5.png") + Run("render v5.png -o again.png") + Run("convert v5.png --to dib24 -o v5.bmp") + Run("render v5.bmp -o fromBmp.png") +
                Run("convert " + Fixture("core24.bmp") + " --to dib32 -o c32.bmp") + Run("render c32.bmp -o c32.png"), 0) << err;
  for (const char* name : {"v5.png", "again.png", "fromBmp.png", "c32.png"}) EXPECT_EQ(Png(name).rgb, decode.rgb) << name;
  ASSERT_EQ(Run("info " + Fixture("info8.bmp") + " " + Fixture("core24.bmp") + " " + Fixture("rle8.bmp") + " " +
                Fixture("rgb565.bmp") + " " + Fixture("argb4444.bmp") + " c32.bmp"), 0) << err;
  for (const char* line : {"plain 8-bit, 40-byte header -> 7 x 5, 8 bits per pixel, code \"MONO\", 256 palette entries, header 40 bytes",
                           "plain 24-bit, 12-byte core header -> 7 x 5, 24 bits per pixel, code 0 (plain colour), 0 palette entries, header 12 bytes",
                           "run-length 8-bit, 40-byte header -> 7 x 5, 8 bits per pixel, code \"MONO\"",
                           "bit fields 5-6-5 16-bit, 124-byte header -> 7 x 5, 24 bits per pixel, code 0 (plain colour)",
                           "bit fields 4-4-4 + 4 alpha 16-bit, 124-byte header -> 7 x 5, 32 bits per pixel, code \"ARGB\"",
                           "c32.bmp: plain 32-bit, 40-byte header -> 7 x 5, 32 bits per pixel"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  // Columns 2..4, rows 1..3 at twice their size; the top-left colour left out; a fit, centred, into a tall picture.
  char colour[8];
  std::snprintf(colour, sizeof colour, "%06X", decode.At(0, 0));
  ASSERT_EQ(Run("render " + Fixture("v5.bmp") + " -o crop.png --crop 2,1,3,3 --size 6x6 --background 000000") +
                Run("render " + Fixture("v5.bmp") + " -o masked.png --transparent " + colour + " --background 123456") +
                Run("render " + Fixture("v5.bmp") + " -o fit.png --size 14x30 --fit --background 000000"), 0) << err;
  const Picture crop = Png("crop.png");
  for (uint32_t i = 0; i < 36; ++i) EXPECT_EQ(crop.At(i % 6, i / 6), decode.At(2 + i % 6 / 2, 1 + i / 12)) << i;
  EXPECT_EQ((std::vector{Png("masked.png").At(0, 0), Png("fit.png").At(7, 2), Png("fit.png").At(0, 10)}), (std::vector{0x123456u, 0u, decode.At(0, 0)}));
  for (const char* to : {"dib8 -o grey.bmp", "raster -o planes.png", "canvas -o canvas.pxs"})
    EXPECT_EQ(Run("convert " + Fixture("core24.bmp") + " --to " + to), 0) << to << ": " << err;
  // A record restores the image as it was loaded (8-bit files load grey), also as a bitmap file.
  ASSERT_EQ(Run("save " + Fixture("info8.bmp") + " -o info8.pxs") + Run("load info8.pxs -o info8.png") + Run("render " + Fixture("info8.bmp") + " -o direct.png"), 0) << err;
  EXPECT_EQ(Png("info8.png").rgb, Png("direct.png").rgb);
  EXPECT_EQ(Run("load info8.pxs -o info8.bmp") + Run("info info8.bmp"), 0) << err;
}

TEST_F(Tool, FailuresSayWhatFailedAndLeaveNoOutput) {
  const std::string text = Fixture("text.bmp", PXM_TOOL_FIXTURES);
  struct Case { std::string args; int exitCode; const char *message, *output; };
  for (const Case& c : {Case{"render missing.bmp -o a.png", 1, "0x80004005 (E_FAIL)", "a.png"},
                        Case{"render " + text + " -o b.png", 1, "0x80070057 (E_INVALIDARG)", "b.png"},
                        Case{"render " + Fixture("v5.bmp") + " -o no/such/c.png", 1, "cannot write", "no"},
                        Case{"render " + Fixture("v5.bmp") + " -o d.png --size 0x4", 2, "malformed", "d.png"},
                        Case{"render " + Fixture("v5.bmp") + " -o e.png --bogus", 2, "unknown option --bogus", "e.png"},
                        Case{"convert " + Fixture("v5.bmp") + " --to raster -o f.bmp", 1, "holds a DIB", "f.bmp"},
                        Case{"load " + text + " -o g.png", 1, "0x80070057", "g.png"},
                        Case{"render " + Fixture("cut.png", PXM_TOOL_FIXTURES) + " -o h.png", 1, "cannot read", "h.png"},
                        Case{"render " + Fixture("huge.png", PXM_TOOL_FIXTURES) + " -o i.png", 1, "claims more pixels", "i.png"}, Case{"frobnicate", 2, "unknown command", "x"}}) {
    SCOPED_TRACE(c.args);
    EXPECT_EQ(Run(c.args), c.exitCode);
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/" + c.output));
  }
  EXPECT_TRUE(Run("render --help") == 0 && out.find("usage: pxm render") != std::string::npos) << out;
}

}  // namespace
