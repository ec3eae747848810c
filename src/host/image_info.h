// What an image's header says about it, read without decoding a pixel, so
// that an image too large to be what it claims to be can be refused before
// it costs any memory. Portable.
#pragma once

#include <cstdint>
#include <optional>

#include "text/text.h"

struct ImageSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint64_t Pixels() const { return std::uint64_t{width} * height; }
};

// The width and height the image's header states; nullopt for bytes in no
// format known here (PNG, JPEG, GIF, BMP, TIFF and the others stb_image reads).
std::optional<ImageSize> ReadImageSize(const Bytes& image);
