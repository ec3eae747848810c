#include "resolver/resolve.h"

#include "resolver/origin.h"
#include "text/markers.h"

namespace {

constexpr std::string_view kCaptchaDemand = "{\"errno\":-19";

// The answer's value of a JSON key, with the escaping backslashes removed.
Text JsonLink(std::string_view answer, std::string_view key) {
  return ReplaceText(TextBetween(answer, key, "\""), "\\", "", true);
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
  return BytesToText(platform.Fetch(s.downloadUrl, options));
}

bool IsCaptchaDemand(std::string_view answer) { return FindText(answer, kCaptchaDemand) != -1; }

}  // namespace

void ReleaseResolverState(ResolverState& state) {
  for (Text* field : {&state.extractionCode, &state.redirectHeaders, &state.shareQuery,
                      &state.verifyUrl, &state.verifyBody, &state.responseText, &state.cookieJar,
                      &state.fileName, &state.shareId, &state.shareUk, &state.fsId,
                      &state.shareTimestamp, &state.shareSign, &state.downloadUrl,
                      &state.downloadBody, &state.dlink, &state.captchaImageUrl, &state.vcode}) {
    if (!field->empty()) Text().swap(*field);
  }
}

Text ResolveShareLink(Text& link, const Text& code, ResolverState& s, ResolverPlatform& platform) {
  s.extractionCode = code;

  const Text prefix = ConcatText(ServiceOrigin, "/");
  if (CompareText(TextLeft(link, TextLength(prefix)), prefix) != 0) {
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
      platform.Fetch(link, probe);
      link = TrimText(TextBetween(s.redirectHeaders, "Location:", "\r\n"));
    }
    s.shareQuery = TextAfterLast(link, "?");
    s.verifyUrl = ConcatText(ServiceOrigin, "/share/verify?", s.shareQuery, "&t=", platform.Timestamp(),
                             "&channel=chunlei&clienttype=0&web=1");
    s.verifyBody = ConcatText("pwd=", code, "&vcode=");
  }

  HttpRequestOptions page;
  page.cookieJar = &s.cookieJar;
  s.responseText = BytesToText(platform.Fetch(link, page));

  s.fileName = UrlDecode(TextBetween(s.responseText, "server_filename=\"", "\""), true);
  s.shareId = TextBetween(s.responseText, "share_id=\"", "\"");
  s.shareUk = TextBetween(s.responseText, "share_uk=\"", "\"");
  s.fsId = TextBetween(s.responseText, "fsId=\"", "\"");
  s.shareTimestamp = TextBetween(s.responseText, "share_timestamp=\"", "\"");
  s.shareSign = TextBetween(s.responseText, "share_sign=\"", "\"");

  s.downloadUrl = DownloadUrl(s);
  s.downloadBody = FileList(s, codeGiven);
  s.responseText = PostDownloadRequest(s, platform);

  if (!IsCaptchaDemand(s.responseText)) {
    s.dlink = JsonLink(s.responseText, "dlink\":\"");
  } else {
    s.captchaImageUrl = JsonLink(s.responseText, "img\":\"");
    // A window closed without a good answer must not yield an earlier share's link.
    s.dlink.clear();
    platform.OpenCaptchaWindow();
  }
  return s.dlink;
}

void ResubmitWithCaptcha(ResolverState& s, ResolverPlatform& platform) {
  // Presses while an attempt waits are ignored rather than nesting another loop.
  static bool running = false;
  if (running) return;
  running = true;
  struct Reset {
    ~Reset() { running = false; }
  } reset;

  for (;;) {
    s.vcode = TextAfterLast(s.captchaImageUrl, "?");
    s.downloadUrl = DownloadUrl(s);
    const Text answer = platform.ReadCaptchaAnswer();
    s.downloadBody = ConcatText(FileList(s, !s.extractionCode.empty()), "&input=", answer,
                                "&vcode=", s.vcode);
    platform.ClearCaptchaAnswer();
    s.responseText = PostDownloadRequest(s, platform);
    if (!IsCaptchaDemand(s.responseText)) {
      s.dlink = JsonLink(s.responseText, "dlink\":\"");
      platform.CloseCaptchaWindow();
      return;
    }
    s.captchaImageUrl = JsonLink(s.responseText, "img\":\"");
    platform.Wait(1000);
    // Closed during the wait: nothing left to read the answer from.
    if (!platform.CaptchaWindowOpen()) return;
  }
}
