// The resolver's platform for the command line: the exchange of this system
// (libcurl on Linux, wininet on Windows), the system clock for the timestamp,
// no message boxes (a failure's reason is printed instead), and captchas
// asked through whatever `CaptchaAsker` the command was given.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "resolver/platform.h"
#include "resolver/state.h"

// Answers the captcha demands of one resolution: shows the image named by
// state.captchaImageUrl and runs ResubmitWithCaptcha (resolver/resolve.h)
// with the user's answers until it succeeds or the user gives up. The
// platform calls Run at most once per demand and keeps other resolutions'
// questions out while it runs.
class CaptchaAsker {
 public:
  virtual ~CaptchaAsker() = default;
  // Runs the captcha exchange for `state`; on giving up, leaves state.dlink
  // empty and may set state.failure to why.
  virtual void Run(ResolverState& state, ResolverPlatform& platform) = 0;
  // The share the next questions are about, as the user gave it.
  virtual void SetShareLink(std::string link) { (void)link; }

  // The captcha side of ResolverPlatform, while Run is under way.
  virtual bool Open() = 0;
  virtual Text ReadAnswer() = 0;
  virtual void ClearAnswer() = 0;
  virtual void Close() = 0;
  virtual void Wait(int milliseconds) = 0;
};

class CliPlatform : public ResolverPlatform {
 public:
  // `asker` null: a captcha demand fails with the reason `noCaptchaReason`.
  // `captchaTurn` is shared by every resolution of a batch: one question at a time.
  CliPlatform(ResolverState& state, std::string shareLink, CaptchaAsker* asker, std::mutex& captchaTurn,
              std::string noCaptchaReason);

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
  std::string shareLink_;
  CaptchaAsker* asker_;
  std::mutex& captchaTurn_;
  std::string noCaptchaReason_;
};

// Milliseconds since 1970-01-01 UTC as decimal digits, from the system clock:
// the form the script engine gives on Windows.
Text SystemTimestamp();
