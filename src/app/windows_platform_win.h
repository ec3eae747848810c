// The resolver's platform in the Windows program: the real exchange, message
// box, timestamp, captcha window and delay.
#pragma once

#include <windows.h>

#include "resolver/platform.h"
#include "resolver/state.h"

struct CaptchaWindow;

class WindowsPlatform : public ResolverPlatform {
 public:
  explicit WindowsPlatform(ResolverState& state) : state_(state) {}

  // The window kept disabled while the captcha window is open.
  void SetMainWindow(HWND window) { mainWindow_ = window; }

  Bytes Fetch(std::string_view url, const HttpRequestOptions& options) override;
  void ShowWarning(std::u16string_view text, std::u16string_view caption) override;
  Text Timestamp() override;
  void OpenCaptchaWindow() override;
  bool CaptchaWindowOpen() override;
  Text ReadCaptchaAnswer() override;
  void ClearCaptchaAnswer() override;
  void CloseCaptchaWindow() override;
  void Wait(int milliseconds) override;

 private:
  ResolverState& state_;
  HWND mainWindow_ = nullptr;
  CaptchaWindow* captcha_ = nullptr;  // while it is open
};
