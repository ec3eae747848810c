// Showing captcha pictures: fitting them into the box, and refusing bitmaps
// whose headers promise more than their bytes hold.
#include "app/bitmap_view_win.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

Bytes MakeBmp(int width, int height, int bits, std::size_t cutPixels = 0, DWORD compression = BI_RGB,
              std::size_t maskBytes = 0) {
  const int stride = ((width * bits + 31) / 32) * 4;
  const std::size_t palette = bits <= 8 ? (std::size_t{1} << bits) * 4 : maskBytes;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  file.bfType = 0x4D42;
  file.bfOffBits = static_cast<DWORD>(sizeof file + sizeof info + palette);
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = static_cast<WORD>(bits);
  info.biCompression = compression;
  Bytes out(file.bfOffBits + static_cast<std::size_t>(stride) * std::abs(height) - cutPixels, 0);
  std::memcpy(out.data(), &file, sizeof file);
  std::memcpy(out.data() + sizeof file, &info, sizeof info);
  return out;
}

TEST(BitmapView, AcceptsWholeBitmapsOnly) {
  EXPECT_TRUE(ViewBitmap(MakeBmp(120, 48, 24)));
  EXPECT_TRUE(ViewBitmap(MakeBmp(7, -5, 32)));  // rows top-down
  EXPECT_TRUE(ViewBitmap(MakeBmp(9, 3, 8)));
  EXPECT_TRUE(ViewBitmap(MakeBmp(120, 48, 16)));   // 5-5-5
  EXPECT_TRUE(ViewBitmap(MakeBmp(120, 48, 16, 0, BI_BITFIELDS, 12)));  // 5-6-5, masks after the header
  EXPECT_TRUE(ViewBitmap(MakeBmp(5, 3, 32, 0, BI_BITFIELDS, 12)));
  EXPECT_FALSE(ViewBitmap(MakeBmp(120, 48, 16, 0, BI_BITFIELDS, 0)));   // no room for the masks
  EXPECT_FALSE(ViewBitmap(MakeBmp(6, 2, 24, 0, BI_BITFIELDS, 12)));    // masks mean nothing at 24
  EXPECT_FALSE(ViewBitmap(MakeBmp(6, 2, 8, 0, BI_RLE8)));
  EXPECT_FALSE(ViewBitmap(MakeBmp(120, 48, 24, 1)));  // one byte short
  EXPECT_FALSE(ViewBitmap(Bytes{'B', 'M'}));
  EXPECT_FALSE(ViewBitmap(Bytes{}));
  Bytes wrongMagic = MakeBmp(4, 4, 24);
  wrongMagic[0] = 'X';
  EXPECT_FALSE(ViewBitmap(wrongMagic));
  Bytes huge = MakeBmp(4, 4, 24);
  const LONG width = 1 << 30;
  std::memcpy(huge.data() + 18, &width, sizeof width);
  EXPECT_FALSE(ViewBitmap(huge));
  Bytes offset = MakeBmp(4, 4, 24);
  const DWORD past = 1 << 20;
  std::memcpy(offset.data() + 10, &past, sizeof past);
  EXPECT_FALSE(ViewBitmap(offset));
}

TEST(BitmapView, FitKeepsProportionsAndCentres) {
  const struct {
    int w, h;
    RECT expected;
  } cases[] = {
      {120, 48, {0, 9, 136, 63}},    // wider: full width
      {50, 100, {50, 0, 86, 72}},    // taller: full height
      {136, 72, {0, 0, 136, 72}},
      {0, 10, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const RECT r = FitInto(c.w, c.h, 136, 72);
    EXPECT_EQ(r.left, c.expected.left) << c.w << "x" << c.h;
    EXPECT_EQ(r.top, c.expected.top);
    EXPECT_EQ(r.right, c.expected.right);
    EXPECT_EQ(r.bottom, c.expected.bottom);
  }
}

}  // namespace
