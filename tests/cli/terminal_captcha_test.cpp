// The captcha asked at a terminal, through a real pseudo-terminal: a thread
// plays the user at the master side, answering each question as it appears,
// while a whole resolution runs against a scripted service whose captcha
// image is a real PNG file.
#include "cli/terminal_captcha.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "cli/terminal_image.h"
#include "resolver/origin.h"
#include "resolver/resolve.h"
#include "resolver/scripted_platform.h"
#include "resolver/scripted_share.h"

namespace {

using namespace scripted_share;
const std::string kPage =
    "<html><script>var x={server_filename=\"a.txt\", share_id=\"111\", share_uk=\"222\", fsId=\"333\", "
    "share_timestamp=\"1700000000\", share_sign=\"s1gn\"}</script></html>";
const std::string kDlinkAnswer = "{\"errno\":0,\"dlink\":\"http:\\/\\/d.example\\/file\\/333?sign=x\"}";
const std::string kDlink = "http://d.example/file/333?sign=x";
const std::string kFileList = "fid_list=%5B333%5D";

const std::string kPrompt = "captcha for " + kShortLink + " (empty: new image): ";
const std::string kEndOfInput = "\x04";  // Ctrl-D at the start of a line
const std::string kEndMark = "--end of test--";

std::string ImageUrl(const std::string& token) { return "http://127.0.0.1/genimage?" + token; }
std::string CaptchaDemand(const std::string& token) {
  return "{\"errno\":-19,\"img\":\"http:\\/\\/127.0.0.1\\/genimage?" + token + "\"}";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
std::string TestImage(const std::string& name) { return ReadFile(std::string(TEST_IMAGES) + "/" + name); }

// Captcha files made by ImageMagick, each of one colour: a cell of that
// colour on the screen shows which picture was drawn.
const std::string kRedCaptcha = "captcha_red.png", kGreenCaptcha = "captcha_green.png";
const std::string kRedCell = "\x1b[38;2;200;30;10m\x1b[48;2;200;30;10m\u2580";
const std::string kGreenCell = "\x1b[38;2;10;180;60m\x1b[48;2;10;180;60m\u2580";

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Where the n-th (from 0) occurrence of `part` begins.
std::size_t Nth(const std::string& text, const std::string& part, std::size_t n) {
  std::size_t at = text.find(part);
  for (; n > 0 && at != std::string::npos; --n) at = text.find(part, at + 1);
  return at;
}

// The user at the master side of a pseudo-terminal: the n-th question gets
// the n-th answer and a line end (end of input when the answers run out),
// and the path of the picture saved for it is read while it is asked.
class User {
 public:
  User(int master, std::vector<std::string> answers) : master_(master), answers_(std::move(answers)) {
    thread_ = std::thread([this] { Play(); });
  }
  // Everything the terminal showed, up to the test's end mark.
  std::string Finish() {
    thread_.join();
    return screen_;
  }
  // The picture file as it was while each question was asked ("" when none was named).
  std::vector<std::string> savedPaths, savedImages;

 private:
  void Play() {
    std::size_t asked = 0;
    while (screen_.find(kEndMark) == std::string::npos) {
      char buffer[4096];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) return;  // the terminal is gone
      screen_.append(buffer, static_cast<std::size_t>(n));
      for (; Count(screen_, kPrompt) > asked; ++asked) {
        NoteSavedImage(asked);
        const std::string line = asked < answers_.size() ? answers_[asked] : kEndOfInput;
        const std::string typed = line == kEndOfInput ? line : line + "\n";
        ASSERT_EQ(::write(master_, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
      }
    }
  }
  // The path printed between the previous question and question `asked`.
  void NoteSavedImage(std::size_t asked) {
    const std::string label = "captcha image: ";
    const std::size_t question = Nth(screen_, kPrompt, asked);
    const std::size_t previous = asked == 0 ? 0 : Nth(screen_, kPrompt, asked - 1) + kPrompt.size();
    const std::size_t at = screen_.find(label, previous);
    std::string path;
    if (at < question) {
      path = screen_.substr(at + label.size(), screen_.find_first_of("\r\n", at) - at - label.size());
    }
    savedPaths.push_back(path);
    savedImages.push_back(path.empty() ? "" : ReadFile(path));
  }

  int master_;
  std::vector<std::string> answers_;
  std::string screen_;
  std::thread thread_;
};

// The command line's platform binding, with the service scripted: the
// captcha side goes to the asker, as CliPlatform does.
class AskingPlatform : public ScriptedPlatform {
 public:
  AskingPlatform(TerminalCaptchaAsker& asker, ResolverState& state) : asker_(asker), state_(state) {}
  void OpenCaptchaWindow() override {
    ++captchaOpenings;
    asker_.Run(state_, *this);
  }
  bool CaptchaWindowOpen() override { return asker_.Open(); }
  Text ReadCaptchaAnswer() override { return asker_.ReadAnswer(); }
  void ClearCaptchaAnswer() override { asker_.ClearAnswer(); }
  void CloseCaptchaWindow() override { asker_.Close(); }
  void Wait(int milliseconds) override {
    waits.push_back(milliseconds);
    asker_.Wait(milliseconds);
  }

 private:
  TerminalCaptchaAsker& asker_;
  ResolverState& state_;
};

class TerminalCaptcha : public testing::Test {
 protected:
  void SetUp() override {
    master_.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(master_) << "no pseudo-terminal";
    ASSERT_EQ(grantpt(master_.get()), 0);
    ASSERT_EQ(unlockpt(master_.get()), 0);
    char name[PATH_MAX];
    ASSERT_EQ(ptsname_r(master_.get(), name, sizeof name), 0);
    slavePath_ = name;
    folder_ = testing::TempDir() + "terminal_captcha_test_XXXXXX";
    ASSERT_TRUE(mkdtemp(folder_.data()));
    asker_ = std::make_unique<TerminalCaptchaAsker>(slavePath_, folder_);
    ASSERT_EQ(asker_->Unavailable(), "");
    platform_ = std::make_unique<AskingPlatform>(*asker_, state_);

    platform_->answers[kLongLink] = {{kPage, "", "BAIDUID=abc"}};
    platform_->answers[kVerifyUrl] = {{"{\"errno\":0}", "", "BDCLND=v"}};
    platform_->answers[ImageUrl("tokenA")] = {{TestImage(kRedCaptcha)}};
    platform_->answers[ImageUrl("tokenB")] = {{TestImage(kGreenCaptcha)}};
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // One resolution of the share with the user's answers; what the terminal showed.
  std::string Resolve(std::vector<std::string> download, std::vector<std::string> answers) {
    for (const auto& body : download) platform_->answers[kDownloadUrl].push_back({body});
    User user(master_.get(), std::move(answers));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Text link = kLongLink;
    asker_->SetShareLink(kShortLink);
    dlink_ = ResolveShareLink(link, "ab12", state_, *platform_);
    stdout_ = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    // The end mark follows everything the asker wrote to the terminal.
    OwnedFd slave(::open(slavePath_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    const std::string mark = kEndMark + "\n";
    EXPECT_EQ(::write(slave.get(), mark.data(), mark.size()), static_cast<ssize_t>(mark.size()));
    screen_ = user.Finish();
    savedPaths_ = user.savedPaths;
    savedImages_ = user.savedImages;
    return screen_;
  }
  std::vector<std::string> DownloadBodies() const {
    std::vector<std::string> bodies;
    for (const auto& f : platform_->fetches) {
      if (f.url == kDownloadUrl) bodies.push_back(f.postText);
    }
    return bodies;
  }
  int ImageFetches(const std::string& token) const {
    int n = 0;
    for (const auto& f : platform_->fetches) {
      if (f.url != ImageUrl(token)) continue;
      EXPECT_EQ(f.method, 0);
      EXPECT_FALSE(f.jarGiven) << "the resolver's cookies went with the image";
      ++n;
    }
    return n;
  }
  // What the picture files held while the questions were asked.
  void ExpectSaved(std::size_t question, const std::string& captcha) {
    ASSERT_LT(question, savedImages_.size());
    EXPECT_EQ(savedPaths_[question].rfind(folder_ + "/netdisk-captcha-", 0), 0u) << savedPaths_[question];
    const auto saved = DecodeImage(TextToBytes(savedImages_[question]));
    const auto served = DecodeImage(TextToBytes(TestImage(captcha)));
    ASSERT_TRUE(saved && served) << question;
    EXPECT_EQ(saved->rgb, served->rgb) << question;
    EXPECT_FALSE(std::filesystem::exists(savedPaths_[question])) << "left behind after the question";
  }

  OwnedFd master_;
  std::string slavePath_, folder_;
  std::unique_ptr<TerminalCaptchaAsker> asker_;
  ResolverState state_;
  std::unique_ptr<AskingPlatform> platform_;
  std::string dlink_, screen_, stdout_;
  std::vector<std::string> savedPaths_, savedImages_;
};


TEST_F(TerminalCaptcha, OneDemandAnsweredAtTheTerminal) {
  const std::string screen = Resolve({CaptchaDemand("tokenA"), kDlinkAnswer}, {"ab3d"});
  EXPECT_EQ(dlink_, kDlink);
  EXPECT_EQ(state_.failure, "");
  EXPECT_EQ(Count(screen, kPrompt), 1u) << screen;
  EXPECT_NE(screen.find(kRedCell), std::string::npos) << "the picture in half blocks";
  EXPECT_LT(screen.find(kRedCell), screen.find("captcha image: "));
  EXPECT_EQ(stdout_, "") << "questions go to the terminal only";
  EXPECT_EQ(DownloadBodies(), (std::vector<std::string>{kFileList, kFileList + "&input=ab3d&vcode=tokenA"}));
  EXPECT_EQ(ImageFetches("tokenA"), 1);
  ExpectSaved(0, kRedCaptcha);
  EXPECT_EQ(platform_->waits, std::vector<int>{});
}

TEST_F(TerminalCaptcha, RefusedAnswerShowsTheNewImageAndAsksAgain) {
  const std::string screen =
      Resolve({CaptchaDemand("tokenA"), CaptchaDemand("tokenB"), kDlinkAnswer}, {" wrong ", "r1ght"});
  EXPECT_EQ(dlink_, kDlink);
  EXPECT_EQ(state_.failure, "");
  EXPECT_EQ(DownloadBodies(), (std::vector<std::string>{kFileList, kFileList + "&input=wrong&vcode=tokenA",
                                                        kFileList + "&input=r1ght&vcode=tokenB"}));
  EXPECT_EQ(platform_->waits, std::vector<int>{1000});
  // The second question shows the second picture, saved in the same file.
  const std::size_t second = Nth(screen, kPrompt, 1);
  ASSERT_NE(second, std::string::npos) << screen;
  const std::size_t green = screen.find(kGreenCell);
  EXPECT_GT(green, Nth(screen, kPrompt, 0));
  EXPECT_LT(green, second);
  EXPECT_EQ(ImageFetches("tokenA"), 1);
  EXPECT_EQ(ImageFetches("tokenB"), 1);
  ExpectSaved(0, kRedCaptcha);
  ExpectSaved(1, kGreenCaptcha);
  EXPECT_EQ(savedPaths_[0], savedPaths_[1]);
}

TEST_F(TerminalCaptcha, AnImageThatCannotBeShownIsSaidAndEnterFetchesAnother) {
  // The first fetch gives an error page, the second the picture.
  platform_->answers[ImageUrl("tokenA")] = {{"<html>busy</html>"}, {TestImage(kRedCaptcha)}};
  const std::string screen = Resolve({CaptchaDemand("tokenA"), kDlinkAnswer}, {"", "ab3d"});
  EXPECT_EQ(dlink_, kDlink);
  EXPECT_EQ(Count(screen, kPrompt), 2u);
  const std::size_t unshown = screen.find("no captcha image could be shown (no image in a known format");
  EXPECT_LT(unshown, Nth(screen, kPrompt, 0));
  EXPECT_GT(screen.find(kRedCell), Nth(screen, kPrompt, 0));
  EXPECT_EQ(savedPaths_[0], "") << "nothing to save for the first question";
  ExpectSaved(1, kRedCaptcha);
  EXPECT_EQ(ImageFetches("tokenA"), 2);
  EXPECT_EQ(DownloadBodies(), (std::vector<std::string>{kFileList, kFileList + "&input=ab3d&vcode=tokenA"}));
}

TEST_F(TerminalCaptcha, EndOfInputAbandonsTheShare) {
  const struct {
    const char* what;
    std::vector<std::string> answers;
    std::size_t posts;
  } cases[] = {
      {"at the first question", {kEndOfInput}, 1},
      {"after a refused answer", {"wrong", kEndOfInput}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    platform_->answers[kDownloadUrl].clear();
    platform_->fetches.clear();
    state_.dlink = "an earlier share's link";
    const std::string screen = Resolve({CaptchaDemand("tokenA"), CaptchaDemand("tokenB")}, c.answers);
    EXPECT_EQ(dlink_, "");
    EXPECT_EQ(state_.dlink, "");
    EXPECT_EQ(state_.failure, kCaptchaAbandoned);
    EXPECT_FALSE(asker_->Open());
    EXPECT_EQ(DownloadBodies().size(), c.posts);
    EXPECT_NE(screen.find(std::string(kCaptchaAbandoned)), std::string::npos);
    EXPECT_EQ(Count(screen, kPrompt), c.answers.size());
    for (const auto& path : savedPaths_) EXPECT_FALSE(std::filesystem::exists(path)) << path;
    EXPECT_TRUE(std::filesystem::is_empty(folder_));
  }
}

TEST(TerminalCaptchaUnavailable, NoTerminalMeansTheShareFailsWithWhy) {
  const std::string plainFile = testing::TempDir() + "terminal_captcha_test_plain";
  std::ofstream(plainFile) << "x";
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {"/nonexistent/tty", "no terminal to ask at (/nonexistent/tty: No such file or directory)"},
      {plainFile, "is not a terminal"},
  };
  for (const auto& c : cases) {
    TerminalCaptchaAsker asker(c.path, testing::TempDir());
    EXPECT_NE(asker.Unavailable().find(c.reason), std::string::npos) << asker.Unavailable();
    ResolverState state;
    ScriptedPlatform platform;
    asker.Run(state, platform);
    EXPECT_EQ(state.failure, asker.Unavailable());
    EXPECT_TRUE(platform.fetches.empty());
  }
  std::remove(plainFile.c_str());
}

}  // namespace
