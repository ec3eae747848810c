// On Windows the command asks in the program's own captcha window, on the
// thread of the resolution that met the demand.
#include "cli/captcha_asker.h"

#include "app/windows_platform_win.h"

namespace {

// The captcha window talks to a platform of its own, bound to the same
// state, so the window's confirm button runs the resubmission as it does in
// the window program.
class WindowCaptchaAsker : public CaptchaAsker {
 public:
  void Run(ResolverState& state, ResolverPlatform&) override {
    WindowsPlatform windows(state);
    windows.OpenCaptchaWindow();
  }
  // The window's own platform answers these while it is open.
  bool Open() override { return false; }
  Text ReadAnswer() override { return {}; }
  void ClearAnswer() override {}
  void Close() override {}
  void Wait(int) override {}
};

}  // namespace

std::unique_ptr<CaptchaAsker> MakeCaptchaAsker(std::string&) { return std::make_unique<WindowCaptchaAsker>(); }
