#include "host/transcode.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace {

const std::string kImages = TEST_IMAGES;
const std::string kTranscoded = TRANSCODED;  // read back by check_transcoded.sh

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes ReadImage(const std::string& name) { return ReadFile(kImages + "/" + name); }

// A fresh output name: a file left from an earlier run must not pass for this one's.
std::string Output(const std::string& name) {
  const std::string path = kTranscoded + "/" + name;
  DeleteFileA(path.c_str());
  return path;
}

std::set<std::wstring> Entries(const std::string& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  const std::wstring pattern = std::wstring(folder.begin(), folder.end()) + L"/*";
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.insert(found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

struct Rgb {
  int r, g, b;
};

// The pattern make_images.sh draws: 8 x 6 pixels, all distinct.
Rgb Expected(int x, int y) { return {32 * x, 40 * y, 255 - 20 * x}; }

std::uint32_t U32(const Bytes& b, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// Pixel (x, y) of an uncompressed 8-bit (palette), 24- or 32-bit BMP.
Rgb PixelOf(const Bytes& bmp, int x, int y) {
  const std::uint32_t offset = U32(bmp, 10);
  const int width = static_cast<int>(U32(bmp, 18));
  const std::int32_t height = static_cast<std::int32_t>(U32(bmp, 22));
  const int bits = bmp[28];
  const std::size_t stride = ((width * bits + 31) / 32) * 4;
  const int row = height > 0 ? height - 1 - y : y;  // positive height: bottom row first
  std::size_t at = offset + row * stride + x * (bits / 8);
  if (bits == 8) at = 14 + U32(bmp, 14) + bmp[at] * 4;  // the palette follows the info header
  return {bmp[at + 2], bmp[at + 1], bmp[at]};
}

TEST(TranscodeImage, EveryInputFormatToBmpKeepsThePixels) {
  const struct {
    const char* source;
    const char* output;
    int tolerance;  // JPEG is lossy
  } inputs[] = {
      {"pattern.png", "from-png.bmp", 0},   {"pattern.gif", "from-gif.bmp", 0},
      {"pattern.tiff", "from-tiff.bmp", 0}, {"pattern.bmp", "from-bmp.bmp", 0},
      {"indexed.png", "from-indexed.bmp", 0}, {"pattern.jpg", "from-jpg.bmp", 24},
  };
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.source);
    const Bytes source = ReadImage(input.source);
    ASSERT_GT(source.size(), 10u);
    const std::string path = Output(input.output);
    Bytes bmp;
    ASSERT_TRUE(TranscodeImage(source, Bmp, path, &bmp));
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(std::string(bmp.begin(), bmp.begin() + 2), "BM");
    ASSERT_EQ(U32(bmp, 18), 8u);
    ASSERT_EQ(static_cast<std::int32_t>(U32(bmp, 22)) < 0 ? -static_cast<std::int32_t>(U32(bmp, 22))
                                                          : static_cast<std::int32_t>(U32(bmp, 22)),
              6);
    ASSERT_EQ(U32(bmp, 30), 0u) << "compressed";
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 8; ++x) {
        const Rgb got = PixelOf(bmp, x, y);
        const Rgb want = Expected(x, y);
        EXPECT_NEAR(got.r, want.r, input.tolerance) << x << "," << y;
        EXPECT_NEAR(got.g, want.g, input.tolerance) << x << "," << y;
        EXPECT_NEAR(got.b, want.b, input.tolerance) << x << "," << y;
      }
    }
    EXPECT_EQ(ReadFile(path), bmp);  // the file holds what the caller got
  }
}

TEST(TranscodeImage, OtherOutputFormatsByTheirSignatures) {
  const struct {
    int format;
    const char* source;
    const char* output;
    std::string magic, otherMagic;
  } outputs[] = {
      {Jpeg, "pattern.png", "to.jpg", "\xFF\xD8", ""},
      {Tiff, "pattern.png", "to.tiff", std::string("II*\0", 4), std::string("MM\0*", 4)},
      {Png, "pattern.tiff", "to.png", "\x89PNG", ""},
      // Wine 8's GIF encoder works only from an 8-bit indexed bitmap: from a
      // true-colour one it reports success and writes a 24-byte stub that no
      // decoder reads. So the GIF comes from a palette PNG here.
      {Gif, "indexed.png", "to.gif", "GIF8", ""},
  };
  for (const auto& o : outputs) {
    SCOPED_TRACE(o.output);
    const std::string path = Output(o.output);
    Bytes out;
    ASSERT_TRUE(TranscodeImage(ReadImage(o.source), o.format, path, &out));
    ASSERT_GE(out.size(), o.magic.size());
    const std::string head(out.begin(), out.begin() + o.magic.size());
    if (o.otherMagic.empty()) {
      EXPECT_EQ(head, o.magic);
    } else {
      EXPECT_TRUE(head == o.magic || head == o.otherMagic) << head;
    }
    EXPECT_EQ(ReadFile(path), out);
  }
}

TEST(TranscodeImage, FailuresLeaveTheResultAloneAndWriteNothing) {
  const Bytes png = ReadImage("pattern.png");
  const struct {
    const char* what;
    Bytes image;
    int format;
  } cases[] = {
      {"empty", Bytes{}, Png},
      {"two bytes", Bytes{0x89, 'P'}, Bmp},
      {"three bytes of garbage", Bytes{'a', 'b', 'c'}, Bmp},
      {"format 0", png, 0},
      {"format 6", png, 6},
      {"format -1", png, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Output("failed.bmp");
    Bytes result{7, 7};
    EXPECT_FALSE(TranscodeImage(c.image, c.format, path, &result));
    EXPECT_EQ(result, (Bytes{7, 7}));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
  }
  EXPECT_TRUE(TranscodeImage(png, Png));  // no result variable needed
}

// Whatever the bytes, the call returns: damaged images either fail cleanly
// or give an image of the asked format.
TEST(TranscodeImage, DamagedInputNeverCrashes) {
  Bytes hugeBmp = ReadImage("pattern.bmp");
  ASSERT_GT(hugeBmp.size(), 30u);
  const std::int32_t huge = 1 << 20;
  std::memcpy(hugeBmp.data() + 18, &huge, 4);  // claims 2^20 x 2^20 pixels it does not have
  std::memcpy(hugeBmp.data() + 22, &huge, 4);
  std::vector<Bytes> inputs{hugeBmp, Bytes(64, 0xFF), Bytes(4096, 0)};
  for (const char* name : {"pattern.png", "pattern.jpg", "pattern.gif", "pattern.tiff", "pattern.bmp"}) {
    const Bytes whole = ReadImage(name);
    for (std::size_t length : {std::size_t{3}, std::size_t{8}, std::size_t{16}, whole.size() / 2, whole.size() - 1}) {
      inputs.emplace_back(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    }
  }
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    SCOPED_TRACE(i);
    Bytes result{7, 7};
    if (TranscodeImage(inputs[i], Png, {}, &result)) {
      ASSERT_GE(result.size(), 4u);
      EXPECT_EQ(std::string(result.begin(), result.begin() + 4), "\x89PNG");
    } else {
      EXPECT_EQ(result, (Bytes{7, 7}));
    }
  }
}

// Runs the body with the transcoding folder as the current one, so that a
// relative name, leading spaces and all, lands there.
template <class Body>
void InTranscodedFolder(Body body) {
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(kTranscoded.c_str()));
  body();
  SetCurrentDirectoryA(previous);
}

TEST(TranscodeImage, BlankPathWritesNothing) {
  const Bytes png = ReadImage("pattern.png");
  InTranscodedFolder([&] {
    const std::set<std::wstring> before = Entries(kTranscoded);
    // Full-width spaces count as blank too; unlike plain ones they could name a file.
    for (const Text& blank : {Text("   "), Text("\xA1\xA1"), Text(" \xA1\xA1 ")}) {
      Bytes result;
      EXPECT_TRUE(TranscodeImage(png, Bmp, blank, &result));
      EXPECT_FALSE(result.empty());
    }
    EXPECT_EQ(Entries(kTranscoded), before);
  });
}

TEST(TranscodeImage, FileWrittenUnderTheUntrimmedPath) {
  const Bytes png = ReadImage("pattern.png");
  InTranscodedFolder([&] {
    DeleteFileA(" captcha out.bmp");
    Bytes result;
    EXPECT_TRUE(TranscodeImage(png, Bmp, " captcha out.bmp ", &result));
    // The leading space stays part of the name; Windows itself drops a
    // trailing one from the last part of any path.
    const std::set<std::wstring> names = Entries(kTranscoded);
    EXPECT_EQ(names.count(L" captcha out.bmp"), 1u);
    EXPECT_EQ(names.count(L"captcha out.bmp"), 0u);
    EXPECT_EQ(ReadFile(" captcha out.bmp"), result);
  });
}

TEST(AnsiToUtf16, UnitsAndTerminator) {
  const struct {
    Text text;
    bool withoutTerminator;
    Bytes utf16;
  } cases[] = {
      {"", false, {}},
      {"", true, {}},
      {"ab", false, {0x61, 0, 0x62, 0, 0, 0}},
      {"ab", true, {0x61, 0, 0x62, 0}},
      {"\xD6\xD0x", true, {0x2D, 0x4E, 0x78, 0}},                 // 中x: one unit per double-byte character
      {"\xB9\xFA\xBC\xD2", false, {0xFD, 0x56, 0xB6, 0x5B, 0, 0}},  // 国家
      {"\x81\x40", true, {0x02, 0x4E}},                             // GBK beyond GB2312: 丂
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AnsiToUtf16(c.text, c.withoutTerminator), c.utf16) << c.text << " " << c.withoutTerminator;
  }
}

}  // namespace
