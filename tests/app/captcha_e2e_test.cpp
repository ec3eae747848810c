// Shares that demand a captcha, end to end: the real main and captcha windows
// driven with real messages from a second thread while the resolution runs.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "app/captcha_window_win.h"
#include "resolver/origin.h"
#include "support/captcha_user_win.h"
#include "support/live_main_window_win.h"

namespace {

const std::wstring kOrigin(ServiceOrigin.begin(), ServiceOrigin.end());

std::vector<LoggedRequest> Matching(const std::vector<LoggedRequest>& all, const std::string& part) {
  std::vector<LoggedRequest> out;
  for (const auto& r : all) {
    if (r.requestLine.find(part) != std::string::npos) out.push_back(r);
  }
  return out;
}

class CaptchaEndToEnd : public LiveMainWindow {
 protected:
  size_t Count(const std::string& part) const { return Matching(Requests(), part).size(); }

  // Clicks 确认 with this link and code while `user` acts on another thread.
  std::wstring Resolve(const std::wstring& link, const std::wstring& code, const std::function<void()>& user) {
    Type(link, code);
    std::thread driver(user);
    SendMessageW(main.按钮1, BM_CLICK, 0, 0);
    driver.join();
    return WindowText(main.编辑框_地址);
  }
};

TEST_F(CaptchaEndToEnd, OneDemandThenTheLink) {
  bool mainDisabled = false;
  std::size_t imagesAtOpening = 0;
  const std::wstring result = Resolve(kOrigin + L"/s/1captcha", L"ab12", [&] {
    Captcha c;
    ASSERT_TRUE(c.Find());
    mainDisabled = !IsWindowEnabled(main.window);
    WaitUntil([&] { return Count("GET /genimage?") == 1; });
    imagesAtOpening = Count("GET /genimage?");
    c.Type(L"ab12");
    c.Confirm();
    EXPECT_TRUE(c.Gone());  // the window closes by itself
  });
  EXPECT_EQ(result, kOrigin + L"/file/901005/captcha.png?sign=abc&expires=8h");
  EXPECT_TRUE(mainDisabled);
  EXPECT_TRUE(IsWindowEnabled(main.window));
  EXPECT_EQ(imagesAtOpening, 1u);
  const auto posts = Matching(Requests(), "POST /share/download");
  ASSERT_EQ(posts.size(), 2u);
  const std::string token = state.vcode;
  EXPECT_EQ(token.rfind("v1005s1r", 0), 0u);
  EXPECT_EQ(posts[1].body, "fid_list=%5B901005%5D&input=ab12&vcode=" + token);
  // The cookie the first answer set goes with the next attempt.
  EXPECT_NE(posts[1].Header("Cookie").find("STOKEN=1005"), std::string::npos);
  // The image request never carries the resolver's cookies.
  const auto images = Matching(Requests(), "GET /genimage?" + token);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].Header("Cookie").find("STOKEN"), std::string::npos);
  EXPECT_EQ(images[0].Header("Cookie").find("BAIDUID"), std::string::npos);
}

TEST_F(CaptchaEndToEnd, TwoDemandsNewTokenPictureOnlyOnPress) {
  std::string tokenAfterPress;
  const std::wstring result = Resolve(kOrigin + L"/s/1captcha2", L"", [&] {
    Captcha c;
    ASSERT_TRUE(c.Find());
    WaitUntil([&] { return Count("GET /genimage?") == 1; });
    c.Confirm();  // an empty answer
    // The second demand arrives; the loop waits a second and keeps trying.
    ASSERT_TRUE(WaitUntil([&] { return Count("POST /share/download") >= 3; }));
    EXPECT_EQ(Count("GET /genimage?"), 1u);  // a new demand does not refetch the picture
    c.PressPicture();
    ASSERT_TRUE(WaitUntil([&] { return Count("GET /genimage?") == 2; }));
    tokenAfterPress = Matching(Requests(), "GET /genimage?").back().requestLine;
    c.Type(L"cd34");
    EXPECT_TRUE(c.Gone());
  });
  EXPECT_EQ(result, kOrigin + L"/file/901006/twice.png?sign=abc&expires=8h");
  const auto posts = Matching(Requests(), "POST /share/download");
  ASSERT_GE(posts.size(), 4u);
  const std::string first = posts[1].body;
  EXPECT_EQ(first.rfind("fid_list=%5B%22901006%22%5D&input=&vcode=v1006s1r", 0), 0u) << first;
  const std::string second = posts[2].body;
  EXPECT_NE(second.find("&vcode=v1006s2r"), std::string::npos) << second;  // the token changed
  EXPECT_NE(posts.back().body.find("&input=cd34&vcode=v1006s2r"), std::string::npos) << posts.back().body;
  EXPECT_NE(tokenAfterPress.find("v1006s2r"), std::string::npos) << tokenAfterPress;
  EXPECT_EQ(state.vcode.rfind("v1006s2r", 0), 0u);
}

TEST_F(CaptchaEndToEnd, ImageAddressWithoutQueryGivesEmptyToken) {
  const std::wstring result = Resolve(kOrigin + L"/s/1captchanoq", L"ab12", [] { AnswerOnce(L"ab12"); });
  EXPECT_EQ(result, kOrigin + L"/file/901009/noq.bin?sign=abc&expires=8h");
  EXPECT_EQ(Matching(Requests(), "POST /share/download").back().body, "fid_list=%5B901009%5D&input=ab12&vcode=");
  EXPECT_EQ(Count("GET /genimage/1009"), 1u);
}

TEST_F(CaptchaEndToEnd, FailedAttemptClosesTheWindowWithEmptyResult) {
  SetWindowTextW(main.编辑框_地址, L"old");
  const std::wstring result = Resolve(kOrigin + L"/s/1captchareset", L"ab12", [] { AnswerOnce(L"ab12"); });
  EXPECT_EQ(result, L"");
  EXPECT_TRUE(IsWindowEnabled(main.window));
}

TEST_F(CaptchaEndToEnd, ClosedDuringTheWaitEndsTheLoop) {
  const std::wstring result = Resolve(kOrigin + L"/s/1captcha2", L"ab12", [&] {
    Captcha c;
    ASSERT_TRUE(c.Find());
    c.Type(L"wrong");
    c.Confirm();
    ASSERT_TRUE(WaitUntil([&] { return Count("POST /share/download") >= 2; }));
    PostMessageW(c.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(c.Gone());
  });
  EXPECT_EQ(result, L"");
  const std::size_t posts = Count("POST /share/download");
  PumpFor(1500);  // nothing goes on after the window is gone
  EXPECT_EQ(Count("POST /share/download"), posts);
  EXPECT_TRUE(IsWindowEnabled(main.window));
}

}  // namespace
