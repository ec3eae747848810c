// What a server can do wrong, met by the real windows and the real exchange:
// each fault ends as its described outcome, and the program answers and
// resolves normally afterwards. The suite runs in a Western and in a Chinese
// locale, where wininet's header queries convert through code page 936.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "resolver/origin.h"
#include "support/captcha_user_win.h"
#include "support/live_main_window_win.h"

namespace {

const std::wstring kOrigin(ServiceOrigin.begin(), ServiceOrigin.end());
const std::wstring kPlainLink =
    kOrigin + L"/file/901001/%E4%B8%AD%E6%96%87%E6%96%87%E4%BB%B6.txt?sign=abc&expires=8h";

class Faults : public LiveMainWindow {
 protected:
  // Still answering, and still resolving.
  void ExpectResponsive() {
    DWORD_PTR ignored;
    EXPECT_NE(SendMessageTimeoutW(main.window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored), 0);
    EXPECT_EQ(Click(kOrigin + L"/s/1plain", L"ab12"), kPlainLink);
  }
};

TEST_F(Faults, EachEndsAsDescribed) {
  const struct {
    const wchar_t* share;
    const wchar_t* code;
    bool resolves;
    const wchar_t* captchaAnswer;  // the captcha window is answered so, when it opens
    std::function<void(const ResolverState&)> check;
  } faults[] = {
      {L"1refused", L"ab12", false},    // connection refused: no page
      {L"1cutpage", L"ab12", false},    // the page's body cut off: no markers
      {L"1resetpage", L"ab12", false},  // connection reset instead of a page
      {L"1bigprobe", L"ab12", false},   // the probe's headers do not fit: no Location, no address
      {L"1tohttps", L"ab12", false},    // https on a plain port: no page
      {L"1loop", L"ab12", false},       // a page that redirects to itself: given up after the limit
      {L"1endless", L"ab12", false},    // a download answer that never ends: given up at the ceiling
      {L"1zero", L"ab12", false,  // a zero byte ends the page before its markers
       nullptr, [](const ResolverState& s) { EXPECT_EQ(s.shareId, ""); }},
      // A 100 kB Set-Cookie: either the block overflows the 5000-byte buffer
      // and no cookie is taken, or (Wine) the platform cuts the long line
      // first and a cut pair enters the jar; never the whole 100 kB.
      {L"1bigcookie", L"ab12", true, nullptr,
       [](const ResolverState& s) { EXPECT_LT(s.cookieJar.size(), 6000u); }},
      {L"1badutf8", L"ab12", true, nullptr,  // a file name that is no UTF-8
       [](const ResolverState& s) { EXPECT_EQ(s.fileName, "bad??name.bin"); }},
      // A Location of 1200 bytes of double-byte text, followed by the exchange itself.
      {L"1longloc", L"", true},
      // A Set-Cookie line, then header lines of double-byte text past the buffer.
      {L"1bigdbcs", L"ab12", true, nullptr,
       [](const ResolverState& s) { EXPECT_EQ(s.cookieJar.find("DBCS="), std::string::npos) << s.cookieJar; }},
      // A 12000 x 12000 PNG captcha: no picture, yet the answer goes through.
      {L"1captchabomb", L"ab12", true, L"ab12"},
      {L"1captcha16", L"ab12", true, L"ab12"},  // a 16-bit bitmap captcha
  };
  for (const auto& f : faults) {
    SetWindowTextW(main.编辑框_地址, L"stale");
    std::thread user;
    if (f.captchaAnswer) user = std::thread([&] { AnswerOnce(f.captchaAnswer); });
    const std::wstring result = Click(kOrigin + L"/s/" + f.share, f.code);
    if (user.joinable()) user.join();
    EXPECT_EQ(!result.empty(), f.resolves) << f.share;
    EXPECT_NE(result, L"stale") << f.share;
    if (f.check) f.check(state);
    ExpectResponsive();
  }
}

TEST_F(Faults, StalledAndHugePagesAreWaitedFor) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Click(kOrigin + L"/s/1stall", L"ab12"), kPlainLink);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(Click(kOrigin + L"/s/1bigpage", L"ab12"), kPlainLink);  // a 50 MB share page
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("bigpage_seconds", std::to_string(seconds));
  ExpectResponsive();
}

}  // namespace
