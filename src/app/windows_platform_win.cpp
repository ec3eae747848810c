#include "app/windows_platform_win.h"

#include <windows.h>

#include "app/captcha_window_win.h"
#include "app/window_text_win.h"
#include "host/delay.h"
#include "host/script_host.h"
#include "http/fetch.h"

Bytes WindowsPlatform::Fetch(std::string_view url, const HttpRequestOptions& options) {
  return HttpFetch(url, options);
}

void WindowsPlatform::ShowWarning(std::u16string_view text, std::u16string_view caption) {
  const std::u16string t(text), c(caption);
  MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(t.c_str()),
              reinterpret_cast<const wchar_t*>(c.c_str()), MB_OKCANCEL | MB_ICONQUESTION | MB_TASKMODAL);
}

Text WindowsPlatform::Timestamp() { return ScriptTimestamp(); }

void WindowsPlatform::OpenCaptchaWindow() {
  // Every opening creates the window anew.
  CaptchaWindow captcha{state_, *this};
  captcha_ = &captcha;
  RunCaptchaWindow(captcha, GetModuleHandleW(nullptr), mainWindow_);
  captcha_ = nullptr;
}

bool WindowsPlatform::CaptchaWindowOpen() { return captcha_ && captcha_->window; }

Text WindowsPlatform::ReadCaptchaAnswer() {
  return CaptchaWindowOpen() ? ReadWindowText(captcha_->编辑框_验证码) : Text();
}

void WindowsPlatform::ClearCaptchaAnswer() {
  if (CaptchaWindowOpen()) WriteWindowText(captcha_->编辑框_验证码, "");
}

void WindowsPlatform::CloseCaptchaWindow() {
  // A request: the window goes once the confirm handler has returned.
  if (CaptchaWindowOpen()) PostMessageW(captcha_->window, WM_CLOSE, 0, 0);
}

void WindowsPlatform::Wait(int milliseconds) { PumpingDelay(milliseconds); }
