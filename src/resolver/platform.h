// Everything the resolver needs from the platform, behind one narrow
// interface: the Windows program binds it to the real functions, tests to a
// scripted stand-in.
#pragma once

#include <string_view>

#include "http/fetch.h"
#include "text/text.h"

class ResolverPlatform {
 public:
  virtual ~ResolverPlatform() = default;

  virtual Bytes Fetch(std::string_view url, const HttpRequestOptions& options) = 0;
  // The warning box: OK and Cancel, question icon, task-modal, no owner.
  virtual void ShowWarning(std::u16string_view text, std::u16string_view caption) = 0;
  // The current time in milliseconds as decimal digits, or "" when it cannot be had.
  virtual Text Timestamp() = 0;
  // Opens the captcha window as a modal dialog; returns once it is gone.
  virtual void OpenCaptchaWindow() = 0;

  // The captcha window, while it is open.
  virtual bool CaptchaWindowOpen() = 0;
  virtual Text ReadCaptchaAnswer() = 0;
  virtual void ClearCaptchaAnswer() = 0;
  virtual void CloseCaptchaWindow() = 0;
  // Waits so long while the windows keep handling input.
  virtual void Wait(int milliseconds) = 0;
};
