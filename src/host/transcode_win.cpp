#include "host/transcode.h"

#include <windows.h>
#include <objbase.h>

#include <cstring>

#include "host/bind.h"
#include "host/com_win.h"
#include "host/gdiplus_flat.h"
#include "host/owned.h"

namespace {

constexpr UINT kCp936 = 936;

const char* EncoderId(int format) {
  switch (format) {
    case Bmp: return "{557CF400-1A04-11D3-9A73-0000F81EF32E}";
    case Jpeg: return "{557CF401-1A04-11D3-9A73-0000F81EF32E}";
    case Gif: return "{557CF402-1A04-11D3-9A73-0000F81EF32E}";
    case Tiff: return "{557CF405-1A04-11D3-9A73-0000F81EF32E}";
    case Png: return "{557CF406-1A04-11D3-9A73-0000F81EF32E}";
    default: return "";
  }
}

struct GdiplusTokenTraits {
  using Type = ULONG_PTR;
  static Type Empty() { return 0; }
  static void Close(Type token) { BOUND("gdiplus.dll", GdiplusShutdown)(token); }
};

struct GdiplusImageTraits {
  using Type = gdiplus::GpImage*;
  static Type Empty() { return nullptr; }
  static void Close(Type image) { BOUND("gdiplus.dll", GdipDisposeImage)(image); }
};

// Holds a global block locked; unlocks it once.
struct GlobalLockTraits {
  using Type = HGLOBAL;
  static Type Empty() { return nullptr; }
  static void Close(Type block) { BOUND("kernel32.dll", GlobalUnlock)(block); }
};

}  // namespace

Bytes AnsiToUtf16(const Text& text, bool withoutTerminator) {
  if (text.empty()) return {};
  const int n = BOUND("kernel32.dll", MultiByteToWideChar)(kCp936, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  Bytes bytes = BlankBytes(2 * n);
  BOUND("kernel32.dll", MultiByteToWideChar)(kCp936, 0, text.c_str(), -1,
                                             reinterpret_cast<LPWSTR>(bytes.data()), n);
  return withoutTerminator ? BytesLeft(bytes, 2 * n - 2) : bytes;
}

bool TranscodeImage(const Bytes& image, int format, const Text& filePath, Bytes* result) {
  if (image.size() < 3) return false;

  // Declared first, released last: the library shuts down after the image is disposed
  // and before the streams go (the streams are COM objects, not the library's).
  ComPtr<IStream> output;
  ComPtr<IStream> input;
  Owned<GdiplusTokenTraits> token;
  const gdiplus::StartupInput startup{1, nullptr, FALSE, FALSE};
  ULONG_PTR rawToken = 0;
  BOUND("gdiplus.dll", GdiplusStartup)(&rawToken, &startup, nullptr);
  token.reset(rawToken);

  Bytes encoder = BlankBytes(16);
  const Bytes idText = AnsiToUtf16(EncoderId(format));
  BOUND("ole32.dll", CLSIDFromString)(reinterpret_cast<LPCOLESTR>(PlatformBytes(idText)),
                                      reinterpret_cast<CLSID*>(encoder.data()));

  HGLOBAL inputBlock = BOUND("kernel32.dll", GlobalAlloc)(GMEM_FIXED, image.size());
  if (inputBlock) {
    // The stream owns the block from here and frees it when released.
    if (FAILED(BOUND("ole32.dll", CreateStreamOnHGlobal)(inputBlock, TRUE, input.put()))) {
      BOUND("kernel32.dll", GlobalFree)(inputBlock);
    } else {
      if (void* at = BOUND("kernel32.dll", GlobalLock)(inputBlock)) {
        WriteToMemory(image, at);
        BOUND("kernel32.dll", GlobalUnlock)(inputBlock);
      }
    }
  }

  Owned<GdiplusImageTraits> bitmap;
  if (input) {
    gdiplus::GpImage* raw = nullptr;
    BOUND("gdiplus.dll", GdipCreateBitmapFromStream)(input.get(), &raw);
    bitmap.reset(raw);
  }
  BOUND("ole32.dll", CreateStreamOnHGlobal)(nullptr, TRUE, output.put());
  if (bitmap && output) {
    BOUND("gdiplus.dll", GdipSaveImageToStream)(bitmap.get(), output.get(),
                                                reinterpret_cast<const CLSID*>(encoder.data()), nullptr);
  }

  bool done = false;
  HGLOBAL outputBlock = nullptr;
  if (output) BOUND("ole32.dll", GetHGlobalFromStream)(output.get(), &outputBlock);
  Owned<GlobalLockTraits> locked;
  void* address = outputBlock ? BOUND("kernel32.dll", GlobalLock)(outputBlock) : nullptr;
  if (address) {
    locked.reset(outputBlock);
    // Nothing encoded leaves an empty block, whose lock gives no address.
    const SIZE_T size = BOUND("kernel32.dll", GlobalSize)(outputBlock);
    Bytes bytes = BlankBytes(static_cast<int>(size));
    if (size > 0) std::memcpy(bytes.data(), address, size);
    if (!TrimText(filePath).empty()) WriteBytesToFile(filePath, bytes);
    if (result) *result = std::move(bytes);
    done = true;
  }
  // Release order: unlock the output, dispose of the bitmap, shut the library
  // down, then the input stream (and its block) and the output stream.
  locked.reset();
  bitmap.reset();
  token.reset();
  input.reset();
  output.reset();
  return done;
}
