#include "app/bitmap_view_win.h"

#include <cstdlib>
#include <cstring>

std::optional<BitmapView> ViewBitmap(const Bytes& bmp) {
  BITMAPFILEHEADER file;
  BITMAPINFOHEADER header;
  if (bmp.size() < sizeof file + sizeof header || bmp[0] != 'B' || bmp[1] != 'M') return std::nullopt;
  std::memcpy(&file, bmp.data(), sizeof file);
  std::memcpy(&header, bmp.data() + sizeof file, sizeof header);
  const long long width = header.biWidth;
  const long long height = std::llabs(static_cast<long long>(header.biHeight));
  const WORD bits = header.biBitCount;
  // Colour masks only with 16 or 32 bits a pixel: what the encoder writes for
  // a 16-bit source (5-6-5) and what the screen takes as it is.
  const bool masks = header.biCompression == BI_BITFIELDS && (bits == 16 || bits == 32);
  if (header.biSize < sizeof header || width <= 0 || height <= 0 || width > 16384 || height > 16384 ||
      header.biPlanes != 1 || (header.biCompression != BI_RGB && !masks) ||
      (bits != 32 && bits != 24 && bits != 16 && bits != 8 && bits != 4 && bits != 1)) {
    return std::nullopt;
  }
  // Every row is padded to four bytes; the pixels must lie wholly inside the bytes.
  const long long stride = ((width * header.biBitCount + 31) / 32) * 4;
  if (file.bfOffBits < sizeof file + header.biSize || file.bfOffBits > bmp.size() ||
      stride * height > static_cast<long long>(bmp.size() - file.bfOffBits)) {
    return std::nullopt;
  }
  // A plain info header keeps its three masks right after it; larger headers hold them.
  if (masks && header.biSize == sizeof header && sizeof file + sizeof header + 12 > file.bfOffBits) {
    return std::nullopt;
  }
  if (header.biBitCount <= 8) {
    const long long colours = header.biClrUsed ? header.biClrUsed : (1LL << header.biBitCount);
    if (sizeof file + header.biSize + colours * 4 > file.bfOffBits) return std::nullopt;
  }
  return BitmapView{reinterpret_cast<const BITMAPINFO*>(bmp.data() + sizeof file),
                    bmp.data() + file.bfOffBits, static_cast<int>(width), static_cast<int>(height)};
}

RECT FitInto(int imageWidth, int imageHeight, int boxWidth, int boxHeight) {
  if (imageWidth <= 0 || imageHeight <= 0) return {0, 0, 0, 0};
  // Scale by the tighter of the two ratios (cross-multiplied to stay in integers).
  int w = boxWidth;
  int h = static_cast<int>(static_cast<long long>(imageHeight) * boxWidth / imageWidth);
  if (h > boxHeight) {
    h = boxHeight;
    w = static_cast<int>(static_cast<long long>(imageWidth) * boxHeight / imageHeight);
  }
  const int x = (boxWidth - w) / 2;
  const int y = (boxHeight - h) / 2;
  return {x, y, x + w, y + h};
}

void DrawFitted(HDC dc, const BitmapView& view, int boxWidth, int boxHeight) {
  const RECT at = FitInto(view.width, view.height, boxWidth, boxHeight);
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchDIBits(dc, at.left, at.top, at.right - at.left, at.bottom - at.top, 0, 0, view.width, view.height,
                view.bits, view.info, DIB_RGB_COLORS, SRCCOPY);
}
