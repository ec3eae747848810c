#include "cli/cli_platform.h"

#include <chrono>
#include <string>

#include "http/fetch.h"

CliPlatform::CliPlatform(ResolverState& state, std::string shareLink, CaptchaAsker* asker,
                         std::mutex& captchaTurn, std::string noCaptchaReason)
    : state_(state),
      shareLink_(std::move(shareLink)),
      asker_(asker),
      captchaTurn_(captchaTurn),
      noCaptchaReason_(std::move(noCaptchaReason)) {}

Bytes CliPlatform::Fetch(std::string_view url, const HttpRequestOptions& options) {
  return HttpFetch(url, options);
}

// The resolver keeps the foreign link's reason; there is no box to show.
void CliPlatform::ShowWarning(std::u16string_view, std::u16string_view) {}

Text CliPlatform::Timestamp() { return SystemTimestamp(); }

void CliPlatform::OpenCaptchaWindow() {
  if (!asker_) {
    state_.failure = noCaptchaReason_;
    return;
  }
  const std::lock_guard<std::mutex> turn(captchaTurn_);
  asker_->SetShareLink(shareLink_);
  asker_->Run(state_, *this);
}

bool CliPlatform::CaptchaWindowOpen() { return asker_ && asker_->Open(); }
Text CliPlatform::ReadCaptchaAnswer() { return asker_ ? asker_->ReadAnswer() : Text(); }
void CliPlatform::ClearCaptchaAnswer() {
  if (asker_) asker_->ClearAnswer();
}
void CliPlatform::CloseCaptchaWindow() {
  if (asker_) asker_->Close();
}
void CliPlatform::Wait(int milliseconds) {
  if (asker_) asker_->Wait(milliseconds);
}

Text SystemTimestamp() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}
