#include "http/request.h"

#include "text/markers.h"

bool IsHttpsLink(std::string_view url) { return ToLower(TextLeft(url, 5)) == "https"; }

Text AgentFor(std::string_view extraHeaders) {
  if (FindText(extraHeaders, "User-Agent:", std::nullopt, true) == -1) return Text(kDefaultAgent);
  Text agent = TrimText(TextBetween(extraHeaders, "User-Agent:", "\r\n"));
  // The line is the last one, or its name is written in another case.
  if (agent.empty()) agent = HeaderValue(extraHeaders);
  return agent;
}

void CompleteHeaderText(Text& headers, std::string_view cookieJar) {
  if (headers.empty()) {
    headers = "Accept: */*";
  } else if (FindText(headers, "Accept:") == -1) {
    headers += "\r\nAccept: */*";
  }
  if (FindText(headers, "Accept-Language:") == -1) headers += "\r\nAccept-Language: zh-cn";
  if (FindText(headers, "Content-Type:") == -1) {
    headers += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  if (!cookieJar.empty()) headers = ConcatText(headers, "\r\nCookie: ", cookieJar);
}

std::uint32_t RequestFlags(bool platformCookiesOff, bool noRedirect, bool https) {
  using namespace request_flag;
  std::uint32_t flags = kReload | kNeedFile;
  if (platformCookiesOff) flags |= kNoCookies;
  if (noRedirect) flags |= kNoAutoRedirect;
  flags |= https ? kSecure : kIgnoreRedirectToHttps;
  return flags;
}

Text ProxyArgument(std::string_view proxy, bool https) {
  return https ? Text(proxy) : ConcatText("http=", proxy);
}

Text ReadRawHeaders(std::string_view buffer) {
  const std::size_t end = buffer.find('\0');
  if (end >= static_cast<std::size_t>(kRawHeaderBuffer)) return BlankText(kRawHeaderBuffer);
  const Text raw(buffer.substr(0, end));
  return ReplaceText(raw, "Set-Cookie", "Set-Cookie", false);
}
