// Re-encoding an image held in memory through the platform's imaging library.
#pragma once

#include "text/text.h"

// The encoders; any other value selects none.
enum ImageFormat : int { Bmp = 1, Jpeg = 2, Gif = 3, Tiff = 4, Png = 5 };

// Decodes `image` and encodes it in `format`. On success `result` (when given)
// takes the encoded bytes and, when `filePath` is not blank, they are also
// written to the file it names; otherwise `result` keeps its content.
bool TranscodeImage(const Bytes& image, int format, const Text& filePath = {}, Bytes* result = nullptr);

// The text as UTF-16LE code units with a terminating zero unit (unless
// withoutTerminator); the empty text gives empty bytes.
Bytes AnsiToUtf16(const Text& text, bool withoutTerminator = false);
