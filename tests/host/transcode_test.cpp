#include "host/transcode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

Bytes ReadImage(const std::string& name) {
  std::ifstream in(std::string(TEST_IMAGES) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Rgb {
  int r, g, b;
};

Rgb Expected(int x, int y) { return {32 * x, 40 * y, 255 - 20 * x}; }

// Reads pixel (x, y) of an uncompressed 8-bit (palette), 24- or 32-bit BMP.
Rgb PixelOf(const Bytes& bmp, int x, int y) {
  auto u32 = [&](std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, bmp.data() + at, 4);
    return v;
  };
  const std::uint32_t offset = u32(10);
  const std::int32_t height = static_cast<std::int32_t>(u32(22));
  const int width = static_cast<int>(u32(18));
  const int bits = bmp[28];
  const int bytesPerPixel = bits / 8;
  const std::size_t stride = ((width * bits + 31) / 32) * 4;
  const int row = height > 0 ? height - 1 - y : y;
  std::size_t at = offset + row * stride + x * bytesPerPixel;
  if (bits == 8) at = 14 + u32(14) + bmp[at] * 4;  // the palette follows the info header
  return {bmp[at + 2], bmp[at + 1], bmp[at]};
}

TEST(TranscodeImage, EveryInputFormatToBmpKeepsThePixels) {
  const struct {
    const char* file;
    int tolerance;  // JPEG is lossy
  } inputs[] = {{"pattern.png", 0}, {"pattern.gif", 0}, {"pattern.tiff", 0}, {"pattern.bmp", 0},
                {"pattern.jpg", 48}};
  for (const auto& input : inputs) {
    const Bytes source = ReadImage(input.file);
    ASSERT_GT(source.size(), 10u) << input.file;
    Bytes bmp;
    ASSERT_TRUE(TranscodeImage(source, Bmp, {}, &bmp)) << input.file;
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 8; ++x) {
        const Rgb got = PixelOf(bmp, x, y);
        const Rgb want = Expected(x, y);
        EXPECT_NEAR(got.r, want.r, input.tolerance) << input.file << " " << x << "," << y;
        EXPECT_NEAR(got.g, want.g, input.tolerance) << input.file << " " << x << "," << y;
        EXPECT_NEAR(got.b, want.b, input.tolerance) << input.file << " " << x << "," << y;
      }
    }
  }
}

TEST(TranscodeImage, OtherOutputFormatsByTheirSignatures) {
  const struct {
    int format;
    const char* source;
    std::string magic;
  } outputs[] = {
      {Jpeg, "pattern.png", "\xFF\xD8"},
      {Tiff, "pattern.png", "II*"},
      {Png, "pattern.png", "\x89PNG"},
      // The platform's GIF encoder here works only from an indexed source.
      {Gif, "indexed.png", "GIF8"},
  };
  for (const auto& o : outputs) {
    Bytes out;
    ASSERT_TRUE(TranscodeImage(ReadImage(o.source), o.format, {}, &out)) << o.format;
    ASSERT_GE(out.size(), o.magic.size());
    EXPECT_EQ(std::string(out.begin(), out.begin() + o.magic.size()), o.magic) << o.format;
  }
}

TEST(TranscodeImage, FailuresLeaveTheResultAlone) {
  const Bytes png = ReadImage("pattern.png");
  const struct {
    Bytes image;
    int format;
  } cases[] = {{Bytes{0x89, 'P'}, Bmp}, {Bytes{'a', 'b', 'c'}, Bmp}, {png, 0}, {png, 6}, {Bytes{}, Png}};
  for (const auto& c : cases) {
    Bytes result{7, 7};
    EXPECT_FALSE(TranscodeImage(c.image, c.format, {}, &result)) << c.format;
    EXPECT_EQ(result, (Bytes{7, 7}));
  }
  EXPECT_TRUE(TranscodeImage(png, Png));  // no result variable needed
}

TEST(TranscodeImage, FileWrittenUnderTheUntrimmedPath) {
  const Bytes png = ReadImage("pattern.png");
  const std::string blank = "   ";
  EXPECT_TRUE(TranscodeImage(png, Bmp, blank));
  EXPECT_FALSE(std::ifstream(blank).good());
  // Relative, so the leading space stays part of the name (Windows drops the trailing one).
  const std::string spaced = " captcha out.bmp ";
  std::remove(spaced.c_str());
  Bytes result;
  EXPECT_TRUE(TranscodeImage(png, Bmp, spaced, &result));
  std::ifstream written(spaced, std::ios::binary);
  ASSERT_TRUE(written.good());
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(written), {}), result);
  written.close();
  std::remove(spaced.c_str());
}

TEST(AnsiToUtf16, UnitsAndTerminator) {
  EXPECT_EQ(AnsiToUtf16(""), Bytes{});
  EXPECT_EQ(AnsiToUtf16("", true), Bytes{});
  EXPECT_EQ(AnsiToUtf16("ab"), (Bytes{0x61, 0, 0x62, 0, 0, 0}));
  EXPECT_EQ(AnsiToUtf16("ab", true), (Bytes{0x61, 0, 0x62, 0}));
  EXPECT_EQ(AnsiToUtf16("\xD6\xD0x", true), (Bytes{0x2D, 0x4E, 0x78, 0}));  // 中x
}

}  // namespace
