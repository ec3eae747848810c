// Image sizes read from headers alone: real files written by ImageMagick, and
// headers that announce far more pixels than their bytes could hold.
#include "host/image_info.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

Bytes ReadFile(const std::string& name) {
  std::ifstream in(std::string(TEST_IMAGES) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v, bool big = false) {
  for (int i = 0; i < 4; ++i) b[at + (big ? 3 - i : i)] = static_cast<unsigned char>(v >> (8 * i));
}

// A PNG signature and header chunk announcing width x height (the checksum
// is not looked at before decoding).
Bytes PngHeader(std::uint32_t width, std::uint32_t height) {
  Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  b.resize(b.size() + 13 + 4 + 32);
  Put32(b, 16, width, true);
  Put32(b, 20, height, true);
  b[24] = 8;  // bit depth
  b[25] = 2;  // true colour
  return b;
}

// A TIFF whose first directory holds only the width and the height.
Bytes TiffHeader(std::uint32_t width, std::uint32_t height, bool big) {
  Bytes b(8 + 2 + 2 * 12, 0);
  b[0] = b[1] = big ? 'M' : 'I';
  b[big ? 3 : 2] = 42;
  Put32(b, 4, 8, big);
  b[big ? 9 : 8] = 2;
  const std::uint32_t tags[][2] = {{256, width}, {257, height}};
  for (int i = 0; i < 2; ++i) {
    const std::size_t at = 10 + 12 * i;
    b[at + (big ? 1 : 0)] = static_cast<unsigned char>(tags[i][0] & 0xff);
    b[at + (big ? 0 : 1)] = static_cast<unsigned char>(tags[i][0] >> 8);
    b[at + (big ? 3 : 2)] = 4;  // LONG
    b[at + (big ? 7 : 4)] = 1;  // one value
    Put32(b, at + 8, tags[i][1], big);
  }
  return b;
}

TEST(ReadImageSize, RealFilesOfEveryCaptchaFormat) {
  for (const char* name : {"pattern.png", "pattern.jpg", "pattern.bmp", "pattern.tiff", "pattern.gif",
                           "indexed.png"}) {
    const auto size = ReadImageSize(ReadFile(name));
    ASSERT_TRUE(size) << name;
    EXPECT_EQ(size->width, 8u) << name;
    EXPECT_EQ(size->height, 6u) << name;
  }
}

TEST(ReadImageSize, HeadersThatClaimHugeImages) {
  const struct {
    const char* what;
    Bytes bytes;
    std::uint64_t pixels;
  } cases[] = {
      {"PNG 12000 x 12000", PngHeader(12000, 12000), 144000000},
      {"TIFF II", TiffHeader(50000, 40000, false), 2000000000},
      {"TIFF MM", TiffHeader(70000, 3, true), 210000},
  };
  for (const auto& c : cases) {
    const auto size = ReadImageSize(c.bytes);
    ASSERT_TRUE(size) << c.what;
    EXPECT_EQ(size->Pixels(), c.pixels) << c.what;
  }
}

TEST(ReadImageSize, WhatIsNoImageHasNoSize) {
  const std::string html = "<html><body>error</body></html>";
  Bytes cutTiff = TiffHeader(10, 10, false);
  cutTiff.resize(20);  // the directory runs past the end
  Bytes cutPng = ReadFile("pattern.png");
  cutPng.resize(12);
  for (const Bytes& b : {Bytes{}, Bytes{'B', 'M'}, Bytes(html.begin(), html.end()), cutTiff, cutPng}) {
    EXPECT_FALSE(ReadImageSize(b)) << b.size();
  }
}

}  // namespace
