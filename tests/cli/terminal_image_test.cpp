// Captcha pictures for the terminal: real files written by ImageMagick (an
// encoder independent of the decoder under test) decoded and drawn in half
// blocks whose escape codes must carry the files' known colours; PNGs written
// here read back by ImageMagick; bodies that are no image, or too large a
// one, refused.
#include "cli/terminal_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "http/captcha_image.h"

namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
  return out << "(" << c.r << "," << c.g << "," << c.b << ")";
}

// The test pattern of make_images.sh: pixel (x, y) is (32x, 40y, 255-20x).
constexpr int kPatternWidth = 8, kPatternHeight = 6;
Rgb Pattern(int x, int y) { return {32 * x, 40 * y, 255 - 20 * x}; }

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes TestImage(const std::string& name) { return ReadFile(std::string(TEST_IMAGES) + "/" + name); }

Rgb PixelOf(const RgbImage& image, int x, int y) {
  const unsigned char* p = &image.rgb[(static_cast<std::size_t>(y) * image.width + x) * 3];
  return {p[0], p[1], p[2]};
}

struct Cell {
  Rgb upper;
  std::optional<Rgb> lower;
};

// The drawn picture read back: one row of cells per line. Anything in a
// line that is not a cell, or a line without its reset, fails the test.
std::vector<std::vector<Cell>> ParseHalfBlocks(const std::string& drawn) {
  static const std::regex cell(
      "\x1b\\[38;2;(\\d+);(\\d+);(\\d+)m(?:\x1b\\[48;2;(\\d+);(\\d+);(\\d+)m)?\xE2\x96\x80");
  std::vector<std::vector<Cell>> lines;
  std::size_t at = 0;
  while (at < drawn.size()) {
    const std::size_t end = drawn.find("\x1b[0m\n", at);
    EXPECT_NE(end, std::string::npos) << "a line without its reset";
    if (end == std::string::npos) break;
    const std::string line = drawn.substr(at, end - at);
    std::vector<Cell> cells;
    std::size_t covered = 0;
    for (auto m = std::sregex_iterator(line.begin(), line.end(), cell); m != std::sregex_iterator(); ++m) {
      EXPECT_EQ(static_cast<std::size_t>(m->position()), covered) << "stray bytes in line " << lines.size();
      covered = m->position() + m->length();
      auto colour = [&](int first) {
        return Rgb{std::stoi((*m)[first]), std::stoi((*m)[first + 1]), std::stoi((*m)[first + 2])};
      };
      cells.push_back({colour(1), (*m)[4].matched ? std::optional<Rgb>(colour(4)) : std::nullopt});
    }
    EXPECT_EQ(covered, line.size()) << "stray bytes in line " << lines.size();
    lines.push_back(std::move(cells));
    at = end + 5;
  }
  return lines;
}

// Each cell must carry the two pixels expected at its place.
void ExpectDrawn(const std::string& drawn, int width, int height, const std::function<Rgb(int, int)>& pixel,
                 const std::string& what) {
  const auto lines = ParseHalfBlocks(drawn);
  ASSERT_EQ(static_cast<int>(lines.size()), (height + 1) / 2) << what;
  for (int line = 0; line < static_cast<int>(lines.size()); ++line) {
    ASSERT_EQ(static_cast<int>(lines[line].size()), width) << what << " line " << line;
    for (int x = 0; x < width; ++x) {
      const Cell& c = lines[line][x];
      EXPECT_EQ(c.upper, pixel(x, 2 * line)) << what << " at " << x << "," << 2 * line;
      if (2 * line + 1 < height) {
        ASSERT_TRUE(c.lower) << what;
        EXPECT_EQ(*c.lower, pixel(x, 2 * line + 1)) << what << " at " << x << "," << 2 * line + 1;
      } else {
        EXPECT_FALSE(c.lower) << what << ": a last row of its own has no lower pixel";
      }
    }
  }
}

TEST(DecodeImage, EveryCaptchaFormatGivesTheKnownPixels) {
  const struct {
    const char* file;
    int tolerance;  // JPEG is lossy
  } cases[] = {{"pattern.png", 0}, {"pattern.bmp", 0}, {"pattern.gif", 0}, {"indexed.png", 0},
               {"pattern16.png", 0}, {"pattern.jpg", 12}};
  for (const auto& c : cases) {
    std::string why;
    const auto image = DecodeImage(TestImage(c.file), &why);
    ASSERT_TRUE(image) << c.file << ": " << why;
    ASSERT_EQ(image->width, kPatternWidth) << c.file;
    ASSERT_EQ(image->height, kPatternHeight) << c.file;
    for (int y = 0; y < kPatternHeight; ++y) {
      for (int x = 0; x < kPatternWidth; ++x) {
        const Rgb got = PixelOf(*image, x, y), want = Pattern(x, y);
        EXPECT_NEAR(got.r, want.r, c.tolerance) << c.file << " " << x << "," << y;
        EXPECT_NEAR(got.g, want.g, c.tolerance) << c.file << " " << x << "," << y;
        EXPECT_NEAR(got.b, want.b, c.tolerance) << c.file << " " << x << "," << y;
      }
    }
  }
}

TEST(DecodeImage, TransparencyLiesOverWhite) {
  // ImageMagick's file: a fully transparent red pixel, then an opaque blue one.
  const auto image = DecodeImage(TestImage("alpha.png"));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width, 2);
  EXPECT_EQ(PixelOf(*image, 0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(PixelOf(*image, 1, 0), (Rgb{0, 0, 255}));
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + 3 - i] = static_cast<unsigned char>(v >> (8 * i));
}

// A PNG signature and header chunk claiming width x height, and no pixels.
Bytes PngHeader(std::uint32_t width, std::uint32_t height) {
  Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  b.resize(b.size() + 13 + 4 + 32);
  Put32(b, 16, width);
  Put32(b, 20, height);
  b[24] = 8;  // bit depth
  b[25] = 2;  // true colour
  return b;
}

TEST(DecodeImage, WhatIsNoCaptchaIsRefusedWithItsReason) {
  const std::string html = "<html><body>502 Bad Gateway</body></html>";
  Bytes cut = TestImage("pattern.png");
  cut.resize(cut.size() / 2);
  static_assert(kMaxCaptchaPixels == 4096u * 4096u);
  const struct {
    const char* what;
    Bytes bytes;
    const char* reason;
  } cases[] = {
      {"empty body", {}, "no image in a known format (0 bytes)"},
      {"HTML page", Bytes(html.begin(), html.end()), "no image in a known format"},
      {"header over the ceiling", PngHeader(4097, 4096),
       "an image of 4097x4096 pixels, more than a captcha may have"},
      {"huge header", PngHeader(8000, 8000), "of 8000x8000 pixels, more than"},
      // At the ceiling the header passes and the missing pixels are found by decoding.
      {"header at the ceiling", PngHeader(4096, 4096), "could not be decoded"},
      {"cut PNG", cut, "could not be decoded"},
      {"TIFF (sized, not decoded)", TestImage("pattern.tiff"), "could not be decoded"},
  };
  for (const auto& c : cases) {
    std::string why;
    EXPECT_FALSE(DecodeImage(c.bytes, &why)) << c.what;
    EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
  }
}

TEST(RenderHalfBlocks, CellsCarryTheFilesColours) {
  // Small enough to be drawn pixel for pixel: every cell is two known pixels.
  for (const char* file : {"pattern.png", "pattern.bmp"}) {
    const auto image = DecodeImage(TestImage(file));
    ASSERT_TRUE(image) << file;
    ExpectDrawn(RenderHalfBlocks(*image), kPatternWidth, kPatternHeight, Pattern, file);
  }
}

TEST(RenderHalfBlocks, WideImageShrinksToTheColumnsKeepingItsShape) {
  // quadrants.png, 160x22: red | blue over 12 rows, green | yellow over 10.
  // Halved to 80x11, each cell covers 2x2 pixels of one quadrant, so the
  // means are the quadrants' own colours; the 11th row is a line of its own.
  const auto image = DecodeImage(TestImage("quadrants.png"));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width, 160);
  ASSERT_EQ(image->height, 22);
  const auto quadrant = [](int x, int y) {
    if (y < 6) return x < 40 ? Rgb{255, 0, 0} : Rgb{0, 0, 255};
    return x < 40 ? Rgb{0, 255, 0} : Rgb{255, 255, 0};
  };
  ExpectDrawn(RenderHalfBlocks(*image, 80), 80, 11, quadrant, "quadrants.png");
}

TEST(RenderHalfBlocks, SizesFitTheBoxKeepingProportions) {
  const struct {
    int width, height, columns, lines;
    int cells, rows;  // expected
  } cases[] = {
      {120, 48, 80, 24, 80, 16},   // a captcha as the service serves it
      {120, 48, 40, 24, 40, 8},    // a narrow terminal
      {8, 6, 80, 24, 8, 3},        // never enlarged
      {7, 5, 80, 24, 7, 3},        // an odd height: the last line has an upper pixel only
      {10, 200, 80, 24, 2, 24},    // a tall image is held to the lines
      {5000, 1, 80, 24, 80, 1},    // a sliver keeps at least one pixel row
      {1, 1, 80, 24, 1, 1},
  };
  for (const auto& c : cases) {
    RgbImage image{c.width, c.height, std::vector<unsigned char>(std::size_t(c.width) * c.height * 3, 77)};
    const auto lines = ParseHalfBlocks(RenderHalfBlocks(image, c.columns, c.lines));
    ASSERT_EQ(static_cast<int>(lines.size()), c.rows) << c.width << "x" << c.height;
    for (const auto& line : lines) {
      ASSERT_EQ(static_cast<int>(line.size()), c.cells) << c.width << "x" << c.height;
      EXPECT_EQ(line[0].upper, (Rgb{77, 77, 77}));
    }
  }
  EXPECT_EQ(RenderHalfBlocks(RgbImage{}), "");
}

// ImageMagick's reading of a PNG file: its pixels as RGB bytes.
std::string ImageMagickPixels(const std::string& path) {
  const std::string command = "convert '" + path + "' -depth 8 rgb:-";
  FILE* pipe = popen(command.c_str(), "r");
  EXPECT_TRUE(pipe) << command;
  if (!pipe) return {};
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  EXPECT_EQ(pclose(pipe), 0) << command;
  return out;
}

TEST(EncodePng, ImageMagickReadsBackThePixels) {
  for (const char* file : {"pattern.gif", "quadrants.png"}) {
    const auto image = DecodeImage(TestImage(file));
    ASSERT_TRUE(image) << file;
    const Bytes png = EncodePng(*image);
    const std::string path = testing::TempDir() + "terminal_image_test_" + file + ".png";
    {
      std::ofstream out(path, std::ios::binary);
      out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    }
    const std::string read = ImageMagickPixels(path);
    std::remove(path.c_str());
    EXPECT_EQ(read, std::string(image->rgb.begin(), image->rgb.end())) << file;
  }
  EXPECT_TRUE(EncodePng(RgbImage{}).empty());
}

}  // namespace
