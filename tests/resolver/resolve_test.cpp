#include "resolver/resolve.h"

#include <gtest/gtest.h>

#include <functional>

#include "resolver/origin.h"
#include "resolver/scripted_platform.h"
#include "resolver/scripted_share.h"

namespace {

using namespace scripted_share;

std::string Page(const std::string& name = "%E4%B8%AD%E6%96%87.txt") {
  return "<html><script>var x={server_filename=\"" + name +
         "\", share_id=\"111\", share_uk=\"222\", fsId=\"333\", share_timestamp=\"1700000000\", "
         "share_sign=\"s1gn\"}</script>\xE4\xB8\xAD</html>";
}

const std::string kDlinkAnswer = "{\"errno\":0,\"dlink\":\"http:\\/\\/d.example\\/file\\/333?sign=x\"}";
const std::string kDlink = "http://d.example/file/333?sign=x";

std::string CaptchaAnswer(const std::string& token) {
  return "{\"errno\":-19,\"img\":\"http:\\/\\/127.0.0.1\\/genimage?" + token + "\"}";
}

class Resolve : public testing::Test {
 protected:
  ScriptedPlatform platform;
  ResolverState state;

  void ServeShare(const std::string& pageBody = Page()) {
    platform.answers[kShortLink] = {{"", "HTTP/1.1 302 Found\r\nLocation:  " + kLongLink + " \r\n\r\n"}};
    platform.answers[kLongLink] = {{pageBody, "", "BAIDUID=abc"}};
    platform.answers[kDownloadUrl] = {{kDlinkAnswer, "", "dl=1"}};
    platform.answers[kVerifyUrl] = {{"{\"errno\":0,\"err_msg\":\"\"}", "", "BDCLND=v"}};
  }
  std::string Run(std::string link, const std::string& code) {
    return ResolveShareLink(link, code, state, platform);
  }
};

TEST_F(Resolve, ForeignLinksAreRefusedWithTheWarning) {
  ServeShare();
  state.dlink = "earlier";
  for (std::string link : {std::string(""), "https" + O.substr(4) + "/s/1AbCd", O.substr(0, O.size() - 1),
                           "HTTP" + O.substr(4) + "/s/x", O + "x/s/1", O}) {
    EXPECT_EQ(Run(link, "ab12"), "") << link;
  }
  EXPECT_TRUE(platform.fetches.empty());
  ASSERT_EQ(platform.warnings.size(), 6u);
  EXPECT_EQ(platform.warnings[0].first, u"您输入的地址并非百度网盘的地址！");
  EXPECT_EQ(platform.warnings[0].second, u"友情提示：");
  EXPECT_EQ(state.extractionCode, "ab12");  // the only field a refusal writes
  EXPECT_EQ(state.dlink, "earlier");
}

TEST_F(Resolve, LongLinkWithCodeSkipsTheProbe) {
  ServeShare();
  EXPECT_EQ(Run(kLongLink, "ab12"), kDlink);
  ASSERT_EQ(platform.fetches.size(), 3u);
  EXPECT_EQ(platform.fetches[0].url, kVerifyUrl);
  EXPECT_EQ(platform.fetches[1].url, kLongLink);
  EXPECT_EQ(platform.fetches[1].method, 0);
  EXPECT_TRUE(platform.fetches[1].jarGiven);
  EXPECT_EQ(platform.fetches[2].url, kDownloadUrl);
  EXPECT_EQ(platform.fetches[2].method, 1);
  EXPECT_EQ(platform.fetches[2].postText, "fid_list=%5B333%5D");
  EXPECT_EQ(state.shareQuery, "shareid=111&uk=222");
  EXPECT_EQ(state.verifyUrl, O + "/share/verify?shareid=111&uk=222&t=1700000000123"
                                 "&channel=chunlei&clienttype=0&web=1");
  EXPECT_EQ(state.verifyBody, "pwd=ab12&vcode=");
  EXPECT_EQ(state.fileName, "\xD6\xD0\xCE\xC4.txt");
  EXPECT_EQ(state.fsId, "333");
  EXPECT_EQ(state.downloadUrl, kDownloadUrl);
}

TEST_F(Resolve, ShortLinkIsProbedOnceWithoutRedirects) {
  ServeShare();
  std::string link = kShortLink;
  EXPECT_EQ(ResolveShareLink(link, "ab12", state, platform), kDlink);
  ASSERT_EQ(platform.fetches.size(), 4u);
  const RecordedFetch& probe = platform.fetches[0];
  EXPECT_EQ(probe.url, kShortLink);
  EXPECT_TRUE(probe.noRedirect);
  EXPECT_TRUE(probe.rawHeadersGiven);
  EXPECT_FALSE(probe.jarGiven);
  EXPECT_EQ(platform.fetches[1].url, kVerifyUrl);
  EXPECT_EQ(platform.fetches[2].url, kLongLink);  // the trimmed Location value
  EXPECT_EQ(link, kLongLink);
}

TEST_F(Resolve, MixedCaseShareIdCountsAsShortLink) {
  ServeShare();
  const std::string link = O + "/s/1AbCd?ShareID=1";
  platform.answers[link] = platform.answers[kShortLink];
  EXPECT_EQ(Run(link, "c"), kDlink);
  EXPECT_TRUE(platform.fetches[0].noRedirect);
}

TEST_F(Resolve, NoCodeMeansNoProbeAndTheQuotedList) {
  ServeShare();
  state.verifyUrl = "kept";
  platform.answers[kShortLink] = {{Page(), "", ""}};  // the platform follows the redirect itself
  EXPECT_EQ(Run(kShortLink, ""), kDlink);
  ASSERT_EQ(platform.fetches.size(), 2u);
  EXPECT_EQ(platform.fetches[0].url, kShortLink);
  EXPECT_FALSE(platform.fetches[0].noRedirect);
  EXPECT_EQ(platform.fetches[1].postText, "fid_list=%5B%22333%22%5D");
  EXPECT_EQ(state.verifyUrl, "kept");
}

TEST_F(Resolve, CodeGoesIntoTheVerifyBodyAsTyped) {
  ServeShare();
  Run(kLongLink, " a&b ");
  EXPECT_EQ(state.verifyBody, "pwd= a&b &vcode=");
}

TEST_F(Resolve, FailedProbeDoesNotReuseThePreviousTarget) {
  ServeShare();
  EXPECT_EQ(Run(kShortLink, "ab12"), kDlink);
  const std::string other = O + "/s/1Other";
  platform.answers[other] = {{"", "", "", true}};
  platform.fetches.clear();
  EXPECT_EQ(Run(other, "ab12"), "");
  ASSERT_GE(platform.fetches.size(), 3u);
  EXPECT_EQ(platform.fetches[2].url, "");  // the page request goes nowhere
  EXPECT_EQ(state.failure, "no request could be made to " + other);
}

TEST_F(Resolve, MissingMarkersLeaveEmptyValues) {
  std::string page = Page();
  page.erase(page.find("share_sign"), 25);
  ServeShare(page);
  const std::string url = O + "/share/download?channel=chunlei&clienttype=0&web=1&uk=222&shareid=111"
                              "&timestamp=1700000000&sign=&bdstoken=null";
  platform.answers[url] = {{"{\"errno\":-9}"}};
  EXPECT_EQ(Run(kLongLink, "x"), "");
  EXPECT_EQ(platform.fetches.back().url, url);
}

TEST_F(Resolve, SecondResolutionSendsTheFirstOnesCookies) {
  ServeShare();
  Run(kLongLink, "");
  Run(kLongLink, "");
  ASSERT_EQ(platform.fetches.size(), 4u);
  EXPECT_EQ(platform.fetches[0].jarSent, "");
  EXPECT_EQ(platform.fetches[1].jarSent, "BAIDUID=abc");
  EXPECT_EQ(platform.fetches[2].jarSent, "dl=1; BAIDUID=abc");
}

TEST_F(Resolve, CaptchaWindowClosedWithoutAnswerGivesNoOldLink) {
  ServeShare();
  EXPECT_EQ(Run(kLongLink, "x"), kDlink);
  platform.answers[kDownloadUrl] = {{"pre {\"errno\":-19,\"img\":\"http:\\/\\/h\\/genimage?tok1\"}"}};
  EXPECT_EQ(Run(kLongLink, "x"), "");
  EXPECT_EQ(platform.captchaOpenings, 1);
  EXPECT_EQ(state.captchaImageUrl, "http://h/genimage?tok1");
}

TEST_F(Resolve, CaptchaAnsweredOnceGivesTheLink) {
  ServeShare();
  platform.answers[kDownloadUrl] = {{CaptchaAnswer("tok1")}, {kDlinkAnswer, "", "after=1"}};
  platform.onCaptchaWindow = [&] {
    platform.answerBox = "ab12";
    ResubmitWithCaptcha(state, platform);
  };
  EXPECT_EQ(Run(kLongLink, "x"), kDlink);
  ASSERT_EQ(platform.fetches.size(), 4u);
  EXPECT_EQ(platform.fetches[3].url, kDownloadUrl);
  EXPECT_EQ(platform.fetches[3].postText, "fid_list=%5B333%5D&input=ab12&vcode=tok1");
  EXPECT_EQ(state.vcode, "tok1");
  EXPECT_EQ(platform.answerBox, "");
  EXPECT_FALSE(platform.windowOpen);
  EXPECT_TRUE(platform.waits.empty());
}

TEST_F(Resolve, CaptchaDemandedTwiceWaitsAndUsesTheNewToken) {
  ServeShare();
  platform.answers[kDownloadUrl] = {{CaptchaAnswer("tok1")}, {CaptchaAnswer("tok2"), "", "c=2"}, {kDlinkAnswer}};
  platform.duringWait = [&] {
    platform.answerBox = "cd34";
    ResubmitWithCaptcha(state, platform);  // a press during the wait is ignored
  };
  platform.onCaptchaWindow = [&] { ResubmitWithCaptcha(state, platform); };  // empty answer
  EXPECT_EQ(Run(kLongLink, ""), kDlink);
  ASSERT_EQ(platform.fetches.size(), 4u);
  EXPECT_EQ(platform.fetches[2].postText, "fid_list=%5B%22333%22%5D&input=&vcode=tok1");
  EXPECT_EQ(platform.fetches[3].postText, "fid_list=%5B%22333%22%5D&input=cd34&vcode=tok2");
  EXPECT_EQ(platform.fetches[3].jarSent, "c=2; BAIDUID=abc");
  EXPECT_EQ(platform.waits, std::vector<int>{1000});
}

TEST_F(Resolve, ImageAddressWithoutQuestionMarkGivesEmptyToken) {
  ServeShare();
  platform.answers[kDownloadUrl] = {{"{\"errno\":-19,\"img\":\"http:\\/\\/h\\/genimage\"}"}, {kDlinkAnswer}};
  platform.onCaptchaWindow = [&] { ResubmitWithCaptcha(state, platform); };
  EXPECT_EQ(Run(kLongLink, "x"), kDlink);
  EXPECT_EQ(platform.fetches.back().postText, "fid_list=%5B333%5D&input=&vcode=");
}

TEST_F(Resolve, WindowClosedDuringWaitEndsTheLoop) {
  ServeShare();
  platform.answers[kDownloadUrl] = {{CaptchaAnswer("tok1")}};  // demands for ever
  platform.duringWait = [&] { platform.windowOpen = false; };
  platform.onCaptchaWindow = [&] { ResubmitWithCaptcha(state, platform); };
  EXPECT_EQ(Run(kLongLink, "x"), "");
  EXPECT_EQ(platform.waits.size(), 1u);
}

TEST_F(Resolve, FailedResubmissionClosesTheWindowWithEmptyLink) {
  ServeShare();
  platform.answers[kDownloadUrl] = {{CaptchaAnswer("tok1")}, {"", "", "", true}};
  bool closedByLoop = false;
  platform.onCaptchaWindow = [&] {
    ResubmitWithCaptcha(state, platform);
    closedByLoop = !platform.windowOpen;
  };
  EXPECT_EQ(Run(kLongLink, "x"), "");
  EXPECT_TRUE(closedByLoop);
}

TEST_F(Resolve, CodeIsVerifiedBeforeThePage) {
  ServeShare();
  state.cookieJar = "old=1";
  EXPECT_EQ(Run(kLongLink, "ab12"), kDlink);
  const RecordedFetch& verify = platform.fetches[0];
  EXPECT_EQ(verify.url, kVerifyUrl);
  EXPECT_EQ(verify.method, 1);
  EXPECT_EQ(verify.postText, "pwd=ab12&vcode=");
  EXPECT_TRUE(verify.jarGiven);
  EXPECT_FALSE(verify.noRedirect);
  EXPECT_FALSE(verify.rawHeadersGiven);
  // The verification's cookie is merged like any other and opens the page.
  EXPECT_EQ(platform.fetches[1].jarSent, "BDCLND=v; old=1");
  EXPECT_EQ(state.failure, "");
}

TEST_F(Resolve, RefusedCodeEndsBeforeThePage) {
  const struct {
    std::string answer;
    std::string reason;
  } cases[] = {
      {"{\"errno\":-9,\"err_msg\":\"\"}", "wrong extraction code"},
      {"{\"errno\": 2}", "the service refused the extraction code (errno 2)"},
  };
  for (const auto& c : cases) {
    ServeShare();
    platform.fetches.clear();
    platform.answers[kVerifyUrl] = {{c.answer}};
    state.dlink = "earlier";
    EXPECT_EQ(Run(kLongLink, "ab12"), "");
    ASSERT_EQ(platform.fetches.size(), 1u) << c.answer;
    EXPECT_EQ(platform.fetches[0].url, kVerifyUrl);
    EXPECT_EQ(state.failure, c.reason);
  }
}

TEST_F(Resolve, AnswerWithoutErrnoGoesOnToThePage) {
  // No such address, an empty or odd body, or no request at all.
  for (const ScriptedAnswer& verify : {ScriptedAnswer{"<html>404</html>"}, ScriptedAnswer{""},
                                       ScriptedAnswer{"{\"errno\":\"x\"}"}, ScriptedAnswer{.fails = true}}) {
    ServeShare();
    platform.fetches.clear();
    platform.answers[kVerifyUrl] = {verify};
    EXPECT_EQ(Run(kLongLink, "ab12"), kDlink) << verify.body;
    EXPECT_EQ(platform.fetches.size(), 3u);
    EXPECT_EQ(state.failure, "");
  }
}

TEST_F(Resolve, EveryFailureHasItsReason) {
  const std::string gone = "<html>\xB0\xA1\xC5\xB6</html>";  // no markers
  const struct {
    std::string link;
    std::function<void(ScriptedPlatform&)> serve;
    std::string reason;
  } cases[] = {
      {"http://elsewhere.example/s/1x", {}, "not a link of the service (" + O + ")"},
      {kShortLink, [](ScriptedPlatform& p) { p.answers[kShortLink] = {{"", "HTTP/1.1 200 OK\r\n\r\n"}}; },
       "the short link did not redirect to a share"},
      {kLongLink, [&](ScriptedPlatform& p) { p.answers[kLongLink] = {{gone}}; },
       "the share page holds no share (removed, expired, or locked by a code)"},
      {kLongLink, [](ScriptedPlatform& p) { p.answers[kLongLink] = {{"", "", "", true}}; },
       "no request could be made to " + kLongLink},
      {kLongLink, [](ScriptedPlatform& p) { p.answers[kDownloadUrl] = {{"{\"errno\":112}"}}; },
       "the download interface answered errno 112"},
      {kLongLink, [](ScriptedPlatform& p) { p.answers[kDownloadUrl] = {{"{\"errno\":0,\"list\":[]}"}}; },
       "the download interface's answer holds no link"},
      {kLongLink, [](ScriptedPlatform& p) { p.answers[kDownloadUrl] = {{CaptchaAnswer("t")}}; },
       "the captcha was not answered"},
  };
  for (const auto& c : cases) {
    ServeShare();
    if (c.serve) c.serve(platform);
    EXPECT_EQ(Run(c.link, "ab12"), "") << c.reason;
    EXPECT_EQ(state.failure, c.reason);
  }
  // A success clears the reason of the resolution before.
  ServeShare();
  EXPECT_EQ(Run(kLongLink, "ab12"), kDlink);
  EXPECT_EQ(state.failure, "");
}

TEST(ReleaseResolverState, EmptiesEveryField) {
  ResolverState s;
  s.extractionCode = "a";
  s.cookieJar = "c=1";
  s.vcode = "v";
  ReleaseResolverState(s);
  EXPECT_EQ(s.extractionCode, "");
  EXPECT_EQ(s.cookieJar, "");
  EXPECT_EQ(s.vcode, "");
}

}  // namespace
