// Showing BMP bytes: the picture's layout inside its box, and the checks that
// keep a malformed bitmap from being drawn.
#pragma once

#include <windows.h>

#include <optional>

#include "text/text.h"

// The bitmap header and pixel bits inside BMP file bytes, when they are whole.
struct BitmapView {
  const BITMAPINFO* info;
  const void* bits;
  int width;
  int height;  // positive, whichever way the rows run
};
std::optional<BitmapView> ViewBitmap(const Bytes& bmp);

// The largest rectangle of the image's proportions that fits the box, centred.
RECT FitInto(int imageWidth, int imageHeight, int boxWidth, int boxHeight);

// Draws the bitmap fitted whole into a box of that size at the DC's origin,
// proportions kept, so that a captcha's text stays readable.
void DrawFitted(HDC dc, const BitmapView& view, int boxWidth, int boxHeight);
