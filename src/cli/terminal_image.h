// A captcha image for a text terminal: decoded from the bytes the service
// serves (PNG, JPEG, GIF, BMP), drawn with half-block characters in 24-bit
// colour, and encoded as a PNG for an image viewer. Portable.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "text/text.h"

// A picture no wider than a classic terminal keeps its line breaks where
// they belong on any terminal one is likely to meet.
inline constexpr int kPictureColumns = 80;
// A hostile image as tall as it is allowed to be must not scroll the
// question off the screen: a captcha needs far fewer lines.
inline constexpr int kPictureLines = 24;

// Pixels as red, green, blue bytes, rows from the top, no padding.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
};

// The first (or only) frame of the image, transparent parts laid over
// white. nullopt when the bytes are no image in a format whose size can be
// read from its header, when that size is over kMaxCaptchaPixels (refused
// before a pixel is decoded), or when the pixels cannot be decoded; `why`,
// when given, then says which.
std::optional<RgbImage> DecodeImage(const Bytes& bytes, std::string* why = nullptr);

// The image scaled down (each terminal cell the mean of the pixels it
// covers) to fit `columns` x `lines` cells keeping its proportions, never
// scaled up. Each cell is "▀": its foreground colour is the upper pixel,
// its background the lower one; a last pixel row of its own leaves the
// background alone. Every line ends with the reset ESC[0m and "\n".
std::string RenderHalfBlocks(const RgbImage& image, int columns = kPictureColumns,
                             int lines = kPictureLines);

// The image as PNG bytes; empty for an image without pixels.
Bytes EncodePng(const RgbImage& image);
