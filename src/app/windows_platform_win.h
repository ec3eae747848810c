// The resolver's platform in the Windows program: the real exchange, message
// box, timestamp, captcha window and delay.
#pragma once

#include "resolver/platform.h"
#include "resolver/state.h"

class WindowsPlatform : public ResolverPlatform {
 public:
  explicit WindowsPlatform(ResolverState& state) : state_(state) {}

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
};
