#include "host/transcode.h"

#include <windows.h>
#include <objbase.h>

#include <cstring>

#include "host/bind.h"
#include "host/handles_win.h"

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

  // Declared in reverse release order, so that the early returns release in
  // the same order as the end does: the output lock, the bitmap, the
  // library, the input stream (with its block), the output stream.
  ComPtr<IStream> output;
  ComPtr<IStream> input;
  GdiplusToken token;
  GdiplusImage bitmap;
  GlobalLockHold locked;

  const gdiplus::StartupInput startup{1, nullptr, FALSE, FALSE};
  BOUND("gdiplus.dll", GdiplusStartup)(token.put(), &startup, nullptr);

  // An unknown format leaves no text to parse and the identifier all zero,
  // which no encoder answers to.
  Bytes encoder = BlankBytes(16);
  const Bytes idText = AnsiToUtf16(EncoderId(format));
  BOUND("ole32.dll", CLSIDFromString)(reinterpret_cast<LPCOLESTR>(PlatformBytes(idText)),
                                      reinterpret_cast<CLSID*>(encoder.data()));

  GlobalMemory inputBlock(BOUND("kernel32.dll", GlobalAlloc)(GMEM_FIXED, image.size()));
  if (inputBlock &&
      SUCCEEDED(BOUND("ole32.dll", CreateStreamOnHGlobal)(inputBlock.get(), TRUE, input.put()))) {
    // The stream frees the block when it is released, so nobody else may.
    const HGLOBAL block = inputBlock.release();
    void* at = nullptr;
    if (const GlobalLockHold lock = LockGlobal(block, at)) WriteToMemory(image, at);
  }

  if (input) BOUND("gdiplus.dll", GdipCreateBitmapFromStream)(input.get(), bitmap.put());
  BOUND("ole32.dll", CreateStreamOnHGlobal)(nullptr, TRUE, output.put());
  if (bitmap && output) {
    BOUND("gdiplus.dll", GdipSaveImageToStream)(bitmap.get(), output.get(),
                                                reinterpret_cast<const CLSID*>(encoder.data()), nullptr);
  }

  bool done = false;
  HGLOBAL outputBlock = nullptr;
  if (output) BOUND("ole32.dll", GetHGlobalFromStream)(output.get(), &outputBlock);
  // Nothing encoded leaves the block empty, and an empty block locks to no address.
  void* address = nullptr;
  locked = LockGlobal(outputBlock, address);
  if (locked) {
    const std::size_t size = BOUND("kernel32.dll", GlobalSize)(outputBlock);
    Bytes bytes(size);
    if (size > 0) std::memcpy(bytes.data(), address, size);
    if (!TrimText(filePath).empty()) WriteBytesToFile(filePath, bytes);
    if (result) *result = std::move(bytes);
    done = true;
  }

  locked.reset();
  bitmap.reset();
  token.reset();
  input.reset();
  output.reset();
  return done;
}
