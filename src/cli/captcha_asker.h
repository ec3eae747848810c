// Where the command asks its captcha questions: at the terminal on Linux, in
// the program's captcha window on Windows.
#pragma once

#include <memory>
#include <string>

#include "cli/cli_platform.h"

// The asker of this system, or null with `whyNot` saying why there is none
// (no terminal to ask at, say).
std::unique_ptr<CaptchaAsker> MakeCaptchaAsker(std::string& whyNot);
