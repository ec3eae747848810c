// The few GDI+ flat functions the transcoder calls, declared here so that
// they can be bound by name like every other platform function.
#pragma once

#include <windows.h>
#include <objidl.h>

namespace gdiplus {

struct StartupInput {
  UINT32 version;
  void* debugEventCallback;
  BOOL suppressBackgroundThread;
  BOOL suppressExternalCodecs;
};
using Status = int;
struct GpImage;  // opaque

}  // namespace gdiplus

extern "C" {
gdiplus::Status WINAPI GdiplusStartup(ULONG_PTR* token, const gdiplus::StartupInput* input, void* output);
void WINAPI GdiplusShutdown(ULONG_PTR token);
gdiplus::Status WINAPI GdipCreateBitmapFromStream(IStream* stream, gdiplus::GpImage** bitmap);
gdiplus::Status WINAPI GdipSaveImageToStream(gdiplus::GpImage* image, IStream* stream, const CLSID* encoder,
                                             const void* parameters);
gdiplus::Status WINAPI GdipDisposeImage(gdiplus::GpImage* image);
}
