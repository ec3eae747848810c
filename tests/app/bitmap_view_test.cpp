// Showing captcha pictures: fitting them into the box, and refusing bitmaps
// whose headers promise more than their bytes hold.
#include "app/bitmap_view_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <stb_image.h>

#include "http/captcha_image.h"
#include "http/fetch.h"
#include "support/fake_service.h"

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

// The picture as the box draws it: into a 24-bit surface of the box's size.
struct Drawn {
  int width, height;
  std::vector<unsigned char> bgr;  // rows top-down, 4-byte aligned
  int stride() const { return ((width * 3 + 3) / 4) * 4; }
  unsigned char Channel(int x, int y, int c) const { return bgr[y * stride() + x * 3 + (2 - c)]; }
};

Drawn DrawLikeThePictureBox(const BitmapView& view, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP surface = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, surface);
  DrawFitted(dc, view, width, height);
  GdiFlush();
  Drawn out{width, height, {}};
  out.bgr.assign(static_cast<unsigned char*>(bits), static_cast<unsigned char*>(bits) + out.stride() * height);
  SelectObject(dc, old);
  DeleteObject(surface);
  DeleteDC(dc);
  return out;
}

// A 16-bit captcha as the service sends it, through the real fetch and
// encoder, drawn by the picture box's own drawing at its natural size, and
// compared pixel for pixel with an independent decoder's reading of the
// served bytes.
TEST(BitmapView, SixteenBitCaptchaIsShownAsServed) {
  const std::string url = fake_service::Origin() + "/genimage?v1020s1r1";
  const Bytes bmp = FetchCaptchaImage(url);
  const auto view = ViewBitmap(bmp);
  ASSERT_TRUE(view) << "the encoder's bitmap was refused, " << bmp.size() << " bytes";
  ASSERT_EQ(view->width, 120);
  ASSERT_EQ(view->height, 48);

  const Bytes served = HttpFetch(url);
  int w = 0, h = 0, n = 0;
  std::unique_ptr<unsigned char, void (*)(void*)> expected(
      stbi_load_from_memory(served.data(), static_cast<int>(served.size()), &w, &h, &n, 3), stbi_image_free);
  ASSERT_TRUE(expected) << stbi_failure_reason();
  ASSERT_EQ(w, 120);

  const Drawn drawn = DrawLikeThePictureBox(*view, 120, 48);
  int differing = 0;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 120; ++x) {
      for (int c = 0; c < 3; ++c) {
        // Five or six bits widen to eight in slightly different ways.
        differing += std::abs(drawn.Channel(x, y, c) - expected.get()[(y * 120 + x) * 3 + c]) > 8;
      }
    }
  }
  EXPECT_EQ(differing, 0);
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
