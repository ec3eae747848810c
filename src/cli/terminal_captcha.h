// The captcha asked at a terminal: the picture drawn in half blocks and saved
// as a PNG for a viewer, the answer read from the terminal itself. Standard
// input may carry the share list and standard output carries the links, so
// neither is touched.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/cli_platform.h"
#include "host/fd_owned.h"

// The terminal the process is attached to, whatever its standard streams are.
inline constexpr std::string_view kControllingTerminal = "/dev/tty";

inline constexpr std::string_view kCaptchaAbandoned = "the captcha was abandoned";

class TerminalCaptchaAsker : public CaptchaAsker {
 public:
  // `imageFolder` "": the system's folder for temporary files.
  explicit TerminalCaptchaAsker(const std::string& terminalPath = std::string(kControllingTerminal),
                                std::string imageFolder = "");

  // "" when the terminal is open for questions, otherwise why it is not
  // (a process without a controlling terminal, say).
  const std::string& Unavailable() const { return unavailable_; }

  // The share the next question is about, named in the prompt; Run forgets
  // it when it ends. Without one the prompt names the shared file.
  void SetShareLink(std::string link) override { shareLink_ = std::move(link); }

  // Asks until the resolver has a link, the user gives up (end of input at
  // the terminal), or the service stops asking. On giving up state.dlink
  // stays empty and state.failure is kCaptchaAbandoned.
  void Run(ResolverState& state, ResolverPlatform& platform) override;

  bool Open() override { return open_; }
  Text ReadAnswer() override { return answer_; }
  void ClearAnswer() override { answer_.clear(); }
  void Close() override { open_ = false; }
  // The service asked again: the new picture is shown and a new answer read
  // (end of input closes the question), and the exchange waits at least
  // `milliseconds` in all before it posts again.
  void Wait(int milliseconds) override;

 private:
  // Shows the image state.captchaImageUrl names and asks until the answer is
  // not empty (an empty one fetches the image again); nullopt at end of input.
  std::optional<Text> Ask();
  void ShowImage();
  bool SaveImage(const Bytes& png);
  void Say(std::string_view text);
  std::optional<std::string> ReadLine();
  std::string ShareName() const;
  void Abandon();

  OwnedFd terminal_;
  std::string unavailable_;
  std::string imageFolder_;
  std::string shareLink_;

  // What one Run works on.
  ResolverState* state_ = nullptr;
  ResolverPlatform* platform_ = nullptr;
  bool open_ = false;
  Text answer_;
  OwnedFd imageFile_;
  std::string imagePath_;
};
