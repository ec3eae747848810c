#include "host/image_info.h"

#include <climits>

#include <stb_image.h>

namespace {

// TIFF, which stb_image does not read: the first directory's ImageWidth (256)
// and ImageLength (257) entries, in the file's own byte order.
std::optional<ImageSize> TiffSize(const Bytes& b) {
  if (b.size() < 8) return std::nullopt;
  const bool little = b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0;
  const bool big = b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42;
  if (!little && !big) return std::nullopt;
  auto number = [&](std::size_t at, int bytes) -> std::uint32_t {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
      const std::uint32_t byte = b[at + (little ? bytes - 1 - i : i)];
      value = (value << 8) | byte;
    }
    return value;
  };
  const std::size_t directory = number(4, 4);
  if (directory > b.size() || b.size() - directory < 2) return std::nullopt;
  const std::size_t entries = number(directory, 2);
  constexpr std::size_t kEntryBytes = 12;
  if ((b.size() - directory - 2) / kEntryBytes < entries) return std::nullopt;
  std::optional<std::uint32_t> width, height;
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t at = directory + 2 + i * kEntryBytes;
    const std::uint32_t tag = number(at, 2);
    const std::uint32_t type = number(at + 2, 2);
    if (tag != 256 && tag != 257) continue;
    // SHORT or LONG, held in the entry itself.
    if (type != 3 && type != 4) return std::nullopt;
    const std::uint32_t value = type == 3 ? number(at + 8, 2) : number(at + 8, 4);
    (tag == 256 ? width : height) = value;
  }
  if (!width || !height) return std::nullopt;
  return ImageSize{*width, *height};
}

}  // namespace

std::optional<ImageSize> ReadImageSize(const Bytes& image) {
  if (image.empty() || image.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  int width = 0, height = 0, channels = 0;
  if (stbi_info_from_memory(image.data(), static_cast<int>(image.size()), &width, &height, &channels) &&
      width > 0 && height > 0) {
    return ImageSize{static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
  }
  return TiffSize(image);
}
