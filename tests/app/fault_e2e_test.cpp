// What a server can do wrong, met by the real windows and the real exchange:
// each fault ends as its described outcome, and the program answers and
// resolves normally afterwards.
#include <gtest/gtest.h>

#include <chrono>

#include "resolver/origin.h"
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
    const wchar_t* code;
    bool resolves;
  } faults[] = {
      {L"1refused", false},    // connection refused: no page
      {L"1cutpage", false},    // the page's body cut off: no markers
      {L"1resetpage", false},  // connection reset instead of a page
      {L"1bigprobe", false},   // the probe's headers do not fit: no Location, no address
      {L"1zero", false},       // a zero byte ends the page before its markers
      {L"1tohttps", false},    // https on a plain port: no page
      {L"1loop", false},       // a page that redirects to itself: given up after the limit
      {L"1bigcookie", true},   // a 100 kB Set-Cookie: no cookies taken, the page still read
      {L"1badutf8", true},     // a file name that is no UTF-8
  };
  for (const auto& f : faults) {
    SetWindowTextW(main.编辑框_地址, L"stale");
    const std::wstring result = Click(kOrigin + L"/s/" + f.code, L"ab12");
    EXPECT_EQ(!result.empty(), f.resolves) << f.code;
    EXPECT_NE(result, L"stale") << f.code;
    ExpectResponsive();
  }
}

TEST_F(Faults, InvalidUtf8NameBecomesQuestionMarks) {
  Click(kOrigin + L"/s/1badutf8", L"ab12");
  EXPECT_EQ(state.fileName, "bad??name.bin");
}

TEST_F(Faults, BigCookieLineStaysBounded) {
  // Either the header block overflows the 5000-byte buffer and no cookie is
  // taken, or (Wine) the platform cuts the long line first and a cut pair
  // enters the jar: never the whole 100 kB.
  EXPECT_EQ(Click(kOrigin + L"/s/1bigcookie", L"ab12"), kPlainLink);
  EXPECT_LT(state.cookieJar.size(), 6000u);
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
