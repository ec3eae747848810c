#include "resolver/resolve.h"

#include <charconv>

#include "resolver/origin.h"
#include "text/markers.h"

namespace {

constexpr std::string_view kCaptchaDemand = "{\"errno\":-19";
constexpr long kWrongCode = -9;

// The answer's value of a JSON key, with the escaping backslashes removed.
Text JsonLink(std::string_view answer, std::string_view key) {
  return ReplaceText(TextBetween(answer, key, "\""), "\\", "", true);
}

// The number after the answer's first "errno" key, or nullopt when it has
// none (no such address, an empty body, a request that could not be made).
std::optional<long> JsonErrno(std::string_view answer) {
  constexpr std::string_view kKey = "\"errno\"";
  const std::size_t key = answer.find(kKey);
  if (key == std::string_view::npos) return std::nullopt;
  std::size_t at = answer.find_first_not_of(" \t\r\n", key + kKey.size());
  if (at == std::string_view::npos || answer[at] != ':') return std::nullopt;
  at = answer.find_first_not_of(" \t\r\n", at + 1);
  if (at == std::string_view::npos) return std::nullopt;
  long value = 0;
  const auto [end, error] = std::from_chars(answer.data() + at, answer.data() + answer.size(), value);
  if (error != std::errc()) return std::nullopt;
  return value;
}

// The first reason of a resolution is the one worth telling.
void Fail(ResolverState& s, std::string_view reason) {
  if (s.failure.empty()) s.failure = reason;
}

// One request of the resolver; what the exchange says about a failure becomes the reason.
Bytes Fetch(ResolverState& s, ResolverPlatform& platform, std::string_view url, HttpRequestOptions options) {
  std::string why;
  options.failure = &why;
  Bytes body = platform.Fetch(url, options);
  if (!why.empty()) Fail(s, why);
  return body;
}

Text DownloadUrl(const ResolverState& s) {
  return ConcatText(ServiceOrigin, "/share/download?channel=chunlei&clienttype=0&web=1&uk=",
                    s.shareUk, "&shareid=", s.shareId, "&timestamp=", s.shareTimestamp,
                    "&sign=", s.shareSign, "&bdstoken=null");
}

// The file list holds the bare number with a code, and the quoted number without one.
Text FileList(const ResolverState& s, bool codeGiven) {
  return codeGiven ? ConcatText("fid_list=%5B", s.fsId, "%5D")
                   : ConcatText("fid_list=%5B%22", s.fsId, "%22%5D");
}

Text PostDownloadRequest(ResolverState& s, ResolverPlatform& platform) {
  HttpRequestOptions options;
  options.method = 1;
  options.postText = s.downloadBody;
  options.cookieJar = &s.cookieJar;
  return BytesToText(Fetch(s, platform, s.downloadUrl, options));
}

// Posts the extraction code; its answer's cookie opens the share page. False
// when the service refused the code.
bool VerifyCode(ResolverState& s, ResolverPlatform& platform) {
  HttpRequestOptions options;
  options.method = 1;
  options.postText = s.verifyBody;
  options.cookieJar = &s.cookieJar;
  // A service without this step answers no errno, and the page decides.
  std::string ignored;
  options.failure = &ignored;
  const auto code = JsonErrno(BytesToText(platform.Fetch(s.verifyUrl, options)));
  if (!code || *code == 0) return true;
  Fail(s, *code == kWrongCode ? std::string("wrong extraction code")
                              : ConcatText("the service refused the extraction code (errno ",
                                           std::to_string(*code), ")"));
  return false;
}

bool IsCaptchaDemand(std::string_view answer) { return FindText(answer, kCaptchaDemand) != -1; }

// The link an answer that is no captcha demand gives, and why there is none.
void TakeLink(ResolverState& s) {
  s.dlink = JsonLink(s.responseText, "dlink\":\"");
  if (!s.dlink.empty()) return;
  const auto code = JsonErrno(s.responseText);
  if (code && *code != 0) {
    Fail(s, ConcatText("the download interface answered errno ", std::to_string(*code)));
  } else {
    Fail(s, "the download interface's answer holds no link");
  }
}

}  // namespace

void ReleaseResolverState(ResolverState& state) {
  for (Text* field : {&state.extractionCode, &state.redirectHeaders, &state.shareQuery,
                      &state.verifyUrl, &state.verifyBody, &state.responseText, &state.cookieJar,
                      &state.fileName, &state.shareId, &state.shareUk, &state.fsId,
                      &state.shareTimestamp, &state.shareSign, &state.downloadUrl,
                      &state.downloadBody, &state.dlink, &state.captchaImageUrl, &state.vcode}) {
    if (!field->empty()) Text().swap(*field);
  }
  std::string().swap(state.failure);
}

bool IsServiceLink(std::string_view link) {
  const Text prefix = ConcatText(ServiceOrigin, "/");
  return CompareText(TextLeft(link, TextLength(prefix)), prefix) == 0;
}

Text ResolveShareLink(Text& link, const Text& code, ResolverState& s, ResolverPlatform& platform) {
  s.extractionCode = code;
  s.failure.clear();

  if (!IsServiceLink(link)) {
    Fail(s, ConcatText("not a link of the service (", ServiceOrigin, ")"));
    platform.ShowWarning(kForeignLinkWarning, kForeignLinkCaption);
    return {};
  }

  const bool codeGiven = !code.empty();
  if (codeGiven) {
    if (FindText(link, "shareid") == -1) {
      // A probe that cannot be made must not leave the previous probe's
      // headers behind, or the link would resolve to the previous share.
      s.redirectHeaders.clear();
      HttpRequestOptions probe;
      probe.rawHeaders = &s.redirectHeaders;
      probe.noRedirect = true;
      Fetch(s, platform, link, probe);
      link = TrimText(TextBetween(s.redirectHeaders, "Location:", "\r\n"));
      if (link.empty()) Fail(s, "the short link did not redirect to a share");
    }
    s.shareQuery = TextAfterLast(link, "?");
    s.verifyUrl = ConcatText(ServiceOrigin, "/share/verify?", s.shareQuery, "&t=", platform.Timestamp(),
                             "&channel=chunlei&clienttype=0&web=1");
    s.verifyBody = ConcatText("pwd=", code, "&vcode=");
    if (!VerifyCode(s, platform)) return {};
  }

  HttpRequestOptions page;
  page.cookieJar = &s.cookieJar;
  s.responseText = BytesToText(Fetch(s, platform, link, page));

  s.fileName = UrlDecode(TextBetween(s.responseText, "server_filename=\"", "\""), true);
  s.shareId = TextBetween(s.responseText, "share_id=\"", "\"");
  s.shareUk = TextBetween(s.responseText, "share_uk=\"", "\"");
  s.fsId = TextBetween(s.responseText, "fsId=\"", "\"");
  s.shareTimestamp = TextBetween(s.responseText, "share_timestamp=\"", "\"");
  s.shareSign = TextBetween(s.responseText, "share_sign=\"", "\"");
  if (s.shareId.empty() || s.fsId.empty()) {
    Fail(s, "the share page holds no share (removed, expired, or locked by a code)");
  }

  s.downloadUrl = DownloadUrl(s);
  s.downloadBody = FileList(s, codeGiven);
  s.responseText = PostDownloadRequest(s, platform);

  if (!IsCaptchaDemand(s.responseText)) {
    TakeLink(s);
  } else {
    s.captchaImageUrl = JsonLink(s.responseText, "img\":\"");
    // A window closed without a good answer must not yield an earlier share's link.
    s.dlink.clear();
    platform.OpenCaptchaWindow();
    if (s.dlink.empty()) Fail(s, "the captcha was not answered");
  }
  if (!s.dlink.empty()) s.failure.clear();
  return s.dlink;
}

void ResubmitWithCaptcha(ResolverState& s, ResolverPlatform& platform) {
  // Presses while an attempt waits are ignored rather than nesting another loop.
  if (s.captchaLoopRunning) return;
  s.captchaLoopRunning = true;
  struct Reset {
    bool& running;
    ~Reset() { running = false; }
  } reset{s.captchaLoopRunning};

  for (;;) {
    s.vcode = TextAfterLast(s.captchaImageUrl, "?");
    s.downloadUrl = DownloadUrl(s);
    const Text answer = platform.ReadCaptchaAnswer();
    s.downloadBody = ConcatText(FileList(s, !s.extractionCode.empty()), "&input=", answer,
                                "&vcode=", s.vcode);
    platform.ClearCaptchaAnswer();
    s.responseText = PostDownloadRequest(s, platform);
    if (!IsCaptchaDemand(s.responseText)) {
      TakeLink(s);
      platform.CloseCaptchaWindow();
      return;
    }
    s.captchaImageUrl = JsonLink(s.responseText, "img\":\"");
    platform.Wait(1000);
    // Closed during the wait: nothing left to read the answer from.
    if (!platform.CaptchaWindowOpen()) return;
  }
}
