#include "app/windows_platform_win.h"

#include <windows.h>

#include <chrono>
#include <string>

#include "http/fetch.h"

Bytes WindowsPlatform::Fetch(std::string_view url, const HttpRequestOptions& options) {
  return HttpFetch(url, options);
}

void WindowsPlatform::ShowWarning(std::u16string_view text, std::u16string_view caption) {
  const std::u16string t(text), c(caption);
  MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(t.c_str()),
              reinterpret_cast<const wchar_t*>(c.c_str()), MB_OKCANCEL | MB_ICONQUESTION | MB_TASKMODAL);
}

Text WindowsPlatform::Timestamp() {
  // Milliseconds since 1970-01-01 UTC.
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void WindowsPlatform::OpenCaptchaWindow() {}
bool WindowsPlatform::CaptchaWindowOpen() { return false; }
Text WindowsPlatform::ReadCaptchaAnswer() { return {}; }
void WindowsPlatform::ClearCaptchaAnswer() {}
void WindowsPlatform::CloseCaptchaWindow() {}
void WindowsPlatform::Wait(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }
