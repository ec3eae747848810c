#include "cli/terminal_image.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

#include "host/image_info.h"
#include "http/captcha_image.h"

// stb_image's one compiled copy lives in netdisk_image; this is the one of
// its writer, held to memory (the caller decides where a file goes).
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

#define STBI_NO_STDIO
#include <stb_image.h>

namespace {

constexpr int kRgba = 4;

struct StbPixels {
  void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

// Alpha over a white page, as a browser shows a transparent captcha.
unsigned char OverWhite(unsigned value, unsigned alpha) {
  return static_cast<unsigned char>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

struct Rgb {
  unsigned char r, g, b;
};

// The mean colour of the source pixels that output pixel (x, y) covers when
// the image is shrunk to width x height.
Rgb BoxMean(const RgbImage& image, int width, int height, int x, int y) {
  auto span = [](int at, int count, int full) {
    const auto begin = static_cast<int>(std::int64_t{at} * full / count);
    const auto end = static_cast<int>(std::int64_t{at + 1} * full / count);
    return std::pair{begin, std::max(end, begin + 1)};
  };
  const auto [x0, x1] = span(x, width, image.width);
  const auto [y0, y1] = span(y, height, image.height);
  std::uint64_t sum[3] = {0, 0, 0};
  for (int sy = y0; sy < y1; ++sy) {
    const unsigned char* p = &image.rgb[(static_cast<std::size_t>(sy) * image.width + x0) * 3];
    for (int sx = x0; sx < x1; ++sx, p += 3) {
      sum[0] += p[0];
      sum[1] += p[1];
      sum[2] += p[2];
    }
  }
  const std::uint64_t n = std::uint64_t(x1 - x0) * std::uint64_t(y1 - y0);
  auto mean = [n](std::uint64_t s) { return static_cast<unsigned char>((s + n / 2) / n); };
  return {mean(sum[0]), mean(sum[1]), mean(sum[2])};
}

void AppendColour(std::string& out, int layer, Rgb c) {
  out += "\x1b[";
  out += std::to_string(layer);
  out += ";2;";
  out += std::to_string(c.r);
  out += ';';
  out += std::to_string(c.g);
  out += ';';
  out += std::to_string(c.b);
  out += 'm';
}

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  const auto* bytes = static_cast<const unsigned char*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

std::optional<RgbImage> DecodeImage(const Bytes& bytes, std::string* why) {
  auto refuse = [why](std::string reason) -> std::optional<RgbImage> {
    if (why) *why = std::move(reason);
    return std::nullopt;
  };
  const std::optional<ImageSize> size = ReadImageSize(bytes);
  if (!size) return refuse("no image in a known format (" + std::to_string(bytes.size()) + " bytes)");
  if (size->Pixels() > kMaxCaptchaPixels) {
    return refuse("an image of " + std::to_string(size->width) + "x" + std::to_string(size->height) +
                  " pixels, more than a captcha may have");
  }
  int width = 0, height = 0, channels = 0;
  const std::unique_ptr<stbi_uc, StbPixels> pixels(
      stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, kRgba));
  if (!pixels || width <= 0 || height <= 0) {
    const char* reason = stbi_failure_reason();
    return refuse(std::string("the image could not be decoded (") + (reason ? reason : "unknown") + ")");
  }
  RgbImage image{width, height, {}};
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  image.rgb.resize(count * 3);
  const stbi_uc* in = pixels.get();
  for (std::size_t i = 0; i < count; ++i, in += kRgba) {
    for (int c = 0; c < 3; ++c) image.rgb[i * 3 + c] = OverWhite(in[c], in[3]);
  }
  return image;
}

std::string RenderHalfBlocks(const RgbImage& image, int columns, int lines) {
  if (image.width <= 0 || image.height <= 0 || columns <= 0 || lines <= 0) return {};
  const double fit = std::min({1.0, double(columns) / image.width, 2.0 * lines / image.height});
  const int width = std::clamp(static_cast<int>(std::lround(image.width * fit)), 1, columns);
  const int height = std::clamp(static_cast<int>(std::lround(image.height * fit)), 1, 2 * lines);

  std::string out;
  for (int y = 0; y < height; y += 2) {
    for (int x = 0; x < width; ++x) {
      AppendColour(out, 38, BoxMean(image, width, height, x, y));
      if (y + 1 < height) AppendColour(out, 48, BoxMean(image, width, height, x, y + 1));
      out += "\u2580";
    }
    out += "\x1b[0m\n";
  }
  return out;
}

Bytes EncodePng(const RgbImage& image) {
  Bytes png;
  if (image.width <= 0 || image.height <= 0) return png;
  stbi_write_png_to_func(AppendBytes, &png, image.width, image.height, 3, image.rgb.data(), image.width * 3);
  return png;
}
