// On Linux the command asks at the terminal it runs in, whatever its
// standard streams carry.
#include "cli/captcha_asker.h"

#include "cli/terminal_captcha.h"

std::unique_ptr<CaptchaAsker> MakeCaptchaAsker(std::string& whyNot) {
  auto asker = std::make_unique<TerminalCaptchaAsker>();
  if (!asker->Unavailable().empty()) {
    whyNot = asker->Unavailable();
    return nullptr;
  }
  return asker;
}
