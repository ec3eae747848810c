#include "cli/terminal_captcha.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/terminal_image.h"
#include "resolver/resolve.h"
#include "text/codepage.h"

namespace {

// An answer longer than this is no captcha answer but something pasted by
// mistake; the rest of its line is read and dropped.
constexpr std::size_t kMaxAnswerBytes = 256;

std::string ErrnoText(int error) { return std::generic_category().message(error); }

// Spaces, tabs and a carriage return (a terminal that does not map it) are
// never part of an answer.
Text TrimAnswer(std::string_view line) {
  const auto first = line.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = line.find_last_not_of(" \t\r");
  return Text(line.substr(first, last - first + 1));
}

// The picture's width: the terminal's, when it says, up to kPictureColumns.
int PictureColumns(int terminal) {
  winsize size{};
  if (ioctl(terminal, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return std::min<int>(size.ws_col, kPictureColumns);
  }
  return kPictureColumns;
}

}  // namespace

TerminalCaptchaAsker::TerminalCaptchaAsker(const std::string& terminalPath, std::string imageFolder)
    : imageFolder_(std::move(imageFolder)) {
  // Never the controlling terminal by accident: a test's pseudo-terminal
  // stays a plain file to this process.
  terminal_.reset(::open(terminalPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!terminal_) {
    unavailable_ = "no terminal to ask at (" + terminalPath + ": " + ErrnoText(errno) + ")";
  } else if (!isatty(terminal_.get())) {
    unavailable_ = "no terminal to ask at (" + terminalPath + " is not a terminal)";
    terminal_.reset();
  }
  if (imageFolder_.empty()) {
    std::error_code error;
    imageFolder_ = std::filesystem::temp_directory_path(error).string();
    if (error || imageFolder_.empty()) imageFolder_ = "/tmp";
  }
}

void TerminalCaptchaAsker::Say(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(terminal_.get(), text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    // A terminal that is gone shows up again as the end of input.
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::optional<std::string> TerminalCaptchaAsker::ReadLine() {
  // Byte by byte: a terminal in canonical mode hands over one line at a time
  // anyway, and nothing after the line's end is taken from the next question.
  std::string line;
  for (;;) {
    char c = 0;
    const ssize_t n = ::read(terminal_.get(), &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // End of input (Ctrl-D), or a terminal that hung up. A partial line
      // ended by Ctrl-D is still an answer.
      if (line.empty()) return std::nullopt;
      return line;
    }
    if (c == '\n') return line;
    if (line.size() < kMaxAnswerBytes) line += c;
  }
}

std::string TerminalCaptchaAsker::ShareName() const {
  if (!shareLink_.empty()) return shareLink_;
  if (state_ && !state_->fileName.empty()) return Utf16ToUtf8(Cp936ToUtf16(state_->fileName));
  return "the share";
}

bool TerminalCaptchaAsker::SaveImage(const Bytes& png) {
  if (!imageFile_) {
    // A name of its own, created here and readable only by this user: the
    // folder may be shared.
    std::string pattern = imageFolder_ + "/netdisk-captcha-XXXXXX.png";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    imageFile_.reset(::mkstemps(path.data(), 4));
    if (!imageFile_) return false;
    imagePath_ = path.data();
  }
  // One file per question, rewritten with each new picture, so a viewer that
  // has it open shows the current one.
  if (::ftruncate(imageFile_.get(), 0) != 0) return false;
  std::size_t done = 0;
  while (done < png.size()) {
    const ssize_t n =
        ::pwrite(imageFile_.get(), png.data() + done, png.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void TerminalCaptchaAsker::ShowImage() {
  std::string why;
  std::optional<RgbImage> image;
  if (state_->captchaImageUrl.empty()) {
    why = "the service named no image";
  } else {
    // No cookie jar: the resolver's cookies never go with the image.
    HttpRequestOptions options;
    options.failure = &why;
    const Bytes body = platform_->Fetch(state_->captchaImageUrl, options);
    if (why.empty()) image = DecodeImage(body, &why);
  }
  if (!image) {
    Say("no captcha image could be shown (" + why + ")\n");
    return;
  }
  Say(RenderHalfBlocks(*image, PictureColumns(terminal_.get())));
  if (SaveImage(EncodePng(*image))) {
    Say("captcha image: " + imagePath_ + "\n");
  } else {
    Say("the captcha image could not be saved in " + imageFolder_ + " (" + ErrnoText(errno) + ")\n");
  }
}

std::optional<Text> TerminalCaptchaAsker::Ask() {
  for (;;) {
    ShowImage();
    Say("captcha for " + ShareName() + " (empty: new image): ");
    const std::optional<std::string> line = ReadLine();
    if (!line) {
      Say("\n");
      return std::nullopt;
    }
    Text answer = TrimAnswer(*line);
    if (!answer.empty()) return answer;
  }
}

void TerminalCaptchaAsker::Abandon() {
  open_ = false;
  answer_.clear();
  state_->dlink.clear();
  state_->failure = kCaptchaAbandoned;
  Say(std::string(kCaptchaAbandoned) + "\n");
}

void TerminalCaptchaAsker::Run(ResolverState& state, ResolverPlatform& platform) {
  if (!terminal_) {
    state.failure = unavailable_;
    shareLink_.clear();
    return;
  }
  state_ = &state;
  platform_ = &platform;
  open_ = false;
  answer_.clear();

  if (std::optional<Text> answer = Ask()) {
    answer_ = std::move(*answer);
    open_ = true;
    ResubmitWithCaptcha(state, platform);
    open_ = false;
  } else {
    Abandon();
  }

  if (imageFile_) {
    ::unlink(imagePath_.c_str());
    imageFile_.reset();
  }
  imagePath_.clear();
  answer_.clear();
  shareLink_.clear();
  state_ = nullptr;
  platform_ = nullptr;
}

void TerminalCaptchaAsker::Wait(int milliseconds) {
  if (!state_ || !open_) return;
  const auto earliest = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  Say("the service did not take that answer and asks again\n");
  std::optional<Text> answer = Ask();
  if (!answer) {
    Abandon();
    return;
  }
  answer_ = std::move(*answer);
  // The service is not asked again sooner than the resolver wants, however
  // quickly the answer came.
  std::this_thread::sleep_until(earliest);
}
