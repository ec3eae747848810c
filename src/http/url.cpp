#include "http/url.h"

#include "text/markers.h"

Text UrlHost(std::string_view url, bool keepPort) {
  Text copy = ToLower(url);
  if (TextRight(copy, 1) != "/") copy += "/";
  Text host;
  if (TextLeft(copy, 8) == "https://") {
    host = TextBetween(copy, "https://", "/");
  } else {
    // A scheme-less link is http; one that holds "http://" further on is read from there.
    if (FindText(copy, "http://") == -1) copy = ConcatText("http://", copy);
    host = TextBetween(copy, "http://", "/");
  }
  if (!keepPort) {
    const int colon = FindText(host, ":");
    if (colon != -1) host = TextLeft(host, colon - 1);
  }
  return host;
}

int UrlPort(std::string_view url) {
  const Text host = UrlHost(url, true);
  const int colon = FindTextReverse(host, ":");
  if (colon != -1) return ParseInt(TextRight(host, TextLength(host) - colon));
  return TextLeft(ToLower(url), 5) == "https" ? 443 : 80;
}

Text UrlPath(std::string_view url) {
  // The search starts where the host's text first occurs, which may be
  // earlier than the host itself (inside the scheme, say).
  const int hostAt = FindText(url, UrlHost(url), 1, true);
  const int slash = FindText(url, "/", hostAt, true);
  if (slash == -1) return "/";
  return TextRight(url, TextLength(url) - slash + 1);
}
