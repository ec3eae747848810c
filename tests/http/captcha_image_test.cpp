// The captcha image fetch through the real wininet and transcoder, against the fake service.
#include "http/captcha_image.h"

#include <gtest/gtest.h>

#include "support/fake_service.h"

namespace {

using fake_service::Origin;
using fake_service::RequestsMatching;

bool IsBmp(const Bytes& b) { return b.size() > 54 && b[0] == 'B' && b[1] == 'M'; }

TEST(FetchCaptchaImage, EveryServedFormatComesBackAsBmp) {
  // Tokens name the share, and so the image's format: 1005 PNG, 1007 JPEG, 1008 GIF.
  for (const char* token : {"v1005s1r11", "v1007s1r12", "v1008s1r13"}) {
    EXPECT_TRUE(IsBmp(FetchCaptchaImage(Origin() + "/genimage?" + token))) << token;
    const auto sent = RequestsMatching(token);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].requestLine.rfind("GET /genimage?", 0), 0u);
    EXPECT_EQ(sent[0].Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
    EXPECT_EQ(sent[0].Header("Accept-Language"), "zh-cn");
    EXPECT_EQ(sent[0].body, "");
  }
}

TEST(FetchCaptchaImage, WhatIsNoImageGivesNothing) {
  // An error page, and a body of two bytes.
  EXPECT_TRUE(FetchCaptchaImage(Origin() + "/genimage?v1010s1r1").empty());
  EXPECT_TRUE(FetchCaptchaImage(Origin() + "/genimage?v1011s1r1").empty());
  EXPECT_TRUE(FetchCaptchaImage("http://127.0.0.1:1/genimage?x").empty());
}

TEST(FetchCaptchaImage, ImageClaimingTooManyPixelsIsRefused) {
  // 445 kB of PNG announcing 12000 x 12000 pixels (432 MB as a bitmap).
  const std::size_t before = fake_service::Requests().size();
  EXPECT_TRUE(FetchCaptchaImage(Origin() + "/genimage?v1019s1r1").empty());
  EXPECT_EQ(fake_service::RequestsSince(before).size(), 1u);  // fetched, then refused
}

TEST(FetchCaptchaImage, RedirectsFollowedUnlessAskedNot) {
  const std::string url = Origin() + "/redirect?to=" + Origin() + "/genimage?v1005s1r77";
  EXPECT_TRUE(IsBmp(FetchCaptchaImage(url)));
  CaptchaImageOptions options;
  options.noRedirect = true;  // the redirect's own page reaches the transcoder: no image
  EXPECT_TRUE(FetchCaptchaImage(url, options).empty());
}

TEST(FetchCaptchaImage, CollectsTheAnswersCookies) {
  CookieText cookies = "before";
  CaptchaImageOptions options;
  options.returnedCookies = &cookies;
  EXPECT_TRUE(FetchCaptchaImage(Origin() + "/setcookie", options).empty());
  EXPECT_EQ(cookies, "A=1; B=2; plat=1");
}

}  // namespace
