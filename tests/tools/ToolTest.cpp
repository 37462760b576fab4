// The pxm tool as a user runs it: every command on the built-in sample and on fixture files, with
// the pictures it writes decoded and probed, and its failures leaving no output behind.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;  // top row first
  uint32_t At(uint32_t x, uint32_t y) const {
    const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
    return uint32_t(p[0]) << 16 | p[1] << 8 | p[2];
  }
};

bool ReadPng(const std::string& path, Picture* picture) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  picture->width = image.width;
  picture->height = image.height;
  picture->rgb.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, picture->rgb.data(), 0, nullptr) != 0;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// Colours compared per channel within a tolerance (pictures are drawn with nearest sampling,
// so interior probes are exact; the tolerance only absorbs nothing-at-all).
::testing::AssertionResult Near(uint32_t actual, uint32_t expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  char text[64];
  std::snprintf(text, sizeof(text), "%06X instead of %06X", actual, expected);
  return ::testing::AssertionFailure() << text;
}

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pxm-tool-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

  // Runs pxm with the arguments in the temporary folder; keeps what it printed.
  int Run(const std::string& args) {
    const std::string command = "cd '" + dir + "' && '" PXM_TOOL "' " + args + " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    out = Slurp(dir + "/out.txt");
    err = Slurp(dir + "/err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static std::string Fixture(const char* name) { return std::string(PXM_FIXTURES) + "/" + name; }
  Picture Png(const std::string& name) {
    Picture p;
    EXPECT_TRUE(ReadPng(dir + "/" + name, &p)) << name;
    return p;
  }

  std::string dir, out, err;
};

// Sample layout (see tools/pxm/Sample.h): 320 x 200, a grey ramp in rows 0..39, red, green, blue and
// yellow quadrants below, a magenta key area [110, 210) x [90, 150).
constexpr uint32_t kRed = 0xE02020, kGreen = 0x20C040, kBlue = 0x2040E0, kYellow = 0xF0D020;

TEST_F(Tool, DemoDrawsUprightFittedMaskedAndRestoredPictures) {
  ASSERT_EQ(Run("demo out"), 0) << err;
  EXPECT_NE(out.find("restored"), std::string::npos) << out;
  for (const char* name : {"sample.bmp", "sample.pxs", "fitted.png", "transparent.png", "restored.png"})
    EXPECT_TRUE(Exists(dir + "/out/" + name)) << name;

  // Fitted into 480 x 360: scale 1.5, so 480 x 300, centred with 30 rows of background above.
  Picture fitted = Png("out/fitted.png");
  ASSERT_EQ(fitted.width, 480u);
  ASSERT_EQ(fitted.height, 360u);
  EXPECT_TRUE(Near(fitted.At(240, 10), 0x282830)) << "background above the image";
  EXPECT_TRUE(Near(fitted.At(240, 350), 0x282830)) << "background below the image";
  EXPECT_TRUE(Near(fitted.At(2, 32), 0x000000)) << "the ramp starts black at the top left";
  EXPECT_TRUE(Near(fitted.At(479, 32), 0xFFFFFF)) << "and ends white at the top right";
  EXPECT_TRUE(Near(fitted.At(60, 30 + 90), kRed));
  EXPECT_TRUE(Near(fitted.At(420, 30 + 90), kGreen));
  EXPECT_TRUE(Near(fitted.At(60, 30 + 270), kBlue));
  EXPECT_TRUE(Near(fitted.At(420, 30 + 270), kYellow));

  // The magenta key area lets the checkerboard through; the rest is the sample, upright.
  Picture masked = Png("out/transparent.png");
  ASSERT_EQ(masked.width, 320u);
  ASSERT_EQ(masked.height, 200u);
  const uint32_t board = masked.At(160, 120);
  EXPECT_TRUE(board == 0x999999 || board == 0xD9D9D9) << std::hex << board;
  EXPECT_TRUE(Near(masked.At(40, 60), kRed));
  EXPECT_TRUE(Near(masked.At(40, 180), kBlue));

  Picture restored = Png("out/restored.png");
  ASSERT_EQ(restored.width, 320u);
  EXPECT_TRUE(Near(restored.At(40, 60), kRed));
  EXPECT_TRUE(Near(restored.At(280, 180), kYellow));
  EXPECT_TRUE(Near(restored.At(160, 120), 0xFF00FF)) << "the key colour is an ordinary colour here";
}

TEST_F(Tool, InfoDescribesEveryFixture) {
  ASSERT_EQ(Run("info '" + Fixture("info8.bmp") + "' '" + Fixture("core24.bmp") + "'"), 0) << err;
  EXPECT_NE(out.find("7 x 5, 8 bits per pixel, code \"MONO\", 256 palette entries, header 40 bytes"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("7 x 5, 24 bits per pixel, code 0 (plain colour), 0 palette entries, header 12 bytes"),
            std::string::npos)
      << out;
}

TEST_F(Tool, RenderMatchesTheReferenceDecodeAndCropsScalesAndMasks) {
  // 1:1 against the independent writer's own decode.
  ASSERT_EQ(Run("render '" + Fixture("v5.bmp") + "' -o v5.png"), 0) << err;
  Picture v5 = Png("v5.png");
  const std::string reference = Slurp(Fixture("v5.rgb"));
  ASSERT_EQ(v5.rgb.size(), reference.size());
  EXPECT_EQ(std::string(v5.rgb.begin(), v5.rgb.end()), reference);

  // A crop of column 2..4, row 1..3, drawn at twice its size over black.
  ASSERT_EQ(Run("render '" + Fixture("v5.bmp") + "' -o crop.png --crop 2,1,3,3 --size 6x6 --background 000000"), 0)
      << err;
  Picture crop = Png("crop.png");
  ASSERT_EQ(crop.width, 6u);
  const auto ref = [&](uint32_t x, uint32_t y) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&reference[(size_t(y) * 7 + x) * 3]);
    return uint32_t(p[0]) << 16 | p[1] << 8 | p[2];
  };
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 6; ++x) EXPECT_TRUE(Near(crop.At(x, y), ref(2 + x / 2, 1 + y / 2))) << x << "," << y;

  // The top-left pixel's colour left out shows the background there.
  char colour[8];
  std::snprintf(colour, sizeof(colour), "%06X", ref(0, 0));
  ASSERT_EQ(Run("render '" + Fixture("v5.bmp") + "' -o masked.png --transparent " + colour +
                " --background 123456"),
            0)
      << err;
  EXPECT_TRUE(Near(Png("masked.png").At(0, 0), 0x123456));

  // Fitted into a tall picture: centred, aspect kept.
  ASSERT_EQ(Run("render '" + Fixture("v5.bmp") + "' -o fit.png --size 14x30 --fit --background 000000"), 0) << err;
  Picture fit = Png("fit.png");
  EXPECT_TRUE(Near(fit.At(7, 2), 0));
  EXPECT_TRUE(Near(fit.At(0, 10), ref(0, 0)));
}

TEST_F(Tool, ConvertSaveAndLoadRoundTrip) {
  ASSERT_EQ(Run("convert '" + Fixture("core24.bmp") + "' --to dib32 -o c32.bmp"), 0) << err;
  ASSERT_EQ(Run("info c32.bmp"), 0) << err;
  EXPECT_NE(out.find("7 x 5, 32 bits per pixel"), std::string::npos) << out;
  ASSERT_EQ(Run("render c32.bmp -o c32.png"), 0) << err;
  Picture converted = Png("c32.png");
  EXPECT_EQ(std::string(converted.rgb.begin(), converted.rgb.end()), Slurp(Fixture("core24.rgb")))
      << "written as a bitmap file and read back, the colours stay";

  ASSERT_EQ(Run("convert '" + Fixture("core24.bmp") + "' --to dib8 -o grey.bmp"), 0) << err;
  ASSERT_EQ(Run("info grey.bmp"), 0) << err;
  EXPECT_NE(out.find("8 bits per pixel, code \"MONO\""), std::string::npos) << out;
  ASSERT_EQ(Run("convert '" + Fixture("core24.bmp") + "' --to raster -o planes.png"), 0) << err;
  ASSERT_EQ(Run("convert '" + Fixture("core24.bmp") + "' --to canvas -o canvas.pxs"), 0) << err;

  ASSERT_EQ(Run("save '" + Fixture("info8.bmp") + "' -o info8.pxs"), 0) << err;
  ASSERT_EQ(Run("load info8.pxs -o info8.png"), 0) << err;
  ASSERT_EQ(Run("render '" + Fixture("info8.bmp") + "' -o direct.png"), 0) << err;
  EXPECT_EQ(Png("info8.png").rgb, Png("direct.png").rgb) << "restored as it was loaded (8-bit files load grey)";
  ASSERT_EQ(Run("load info8.pxs -o info8.bmp"), 0) << err;
  EXPECT_TRUE(Exists(dir + "/info8.bmp"));
}

TEST_F(Tool, FailuresSayWhatFailedAndLeaveNoOutput) {
  struct Case {
    std::string args;
    int exitCode;
    std::string message;
    std::string output;
  };
  std::ofstream(dir + "/text.bmp") << "not a bitmap at all";
  const Case cases[] = {
      {"render missing.bmp -o a.png", 1, "0x80004005 (E_FAIL)", "a.png"},
      {"render text.bmp -o b.png", 1, "0x80070057 (E_INVALIDARG)", "b.png"},
      {"render '" + Fixture("v5.bmp") + "' -o no/such/folder/c.png", 1, "cannot write", "no/such/folder/c.png"},
      {"render '" + Fixture("v5.bmp") + "' -o d.png --size 0x4", 2, "malformed", "d.png"},
      {"render '" + Fixture("v5.bmp") + "' -o e.png --bogus", 2, "unknown option --bogus", "e.png"},
      {"convert '" + Fixture("v5.bmp") + "' --to raster -o f.bmp", 1, "holds a DIB", "f.bmp"},
      {"load text.bmp -o g.png", 1, "0x80070057", "g.png"},
      {"frobnicate", 2, "unknown command", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    EXPECT_EQ(Run(c.args), c.exitCode);
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    if (!c.output.empty()) {
      EXPECT_FALSE(Exists(dir + "/" + c.output));
    }
  }
  EXPECT_EQ(Run("render --help"), 0);
  EXPECT_NE(out.find("usage: pxm render"), std::string::npos);
}

}  // namespace
