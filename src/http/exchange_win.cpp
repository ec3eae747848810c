#include "http/exchange.h"

#include <windows.h>
#include <wininet.h>

#include <new>
#include <utility>

#include "host/bind.h"
#include "host/owned.h"
#include "http/redirect.h"
#include "http/request.h"
#include "http/url.h"

namespace {

struct InternetTraits {
  using Type = HINTERNET;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { BOUND("wininet.dll", InternetCloseHandle)(h); }
};
using InternetHandle = Owned<InternetTraits>;

// Room for the announced body, so that a large one is not copied again and
// again as it grows. Only a hint: the body read decides, and an answer that
// announces more than kMaxReserve gets no head start.
void ReserveAnnounced(HINTERNET request, Bytes& body) {
  constexpr DWORD kMaxReserve = 256u << 20;
  DWORD length = 0;
  DWORD size = sizeof length;
  if (!BOUND("wininet.dll", HttpQueryInfoA)(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                            &length, &size, nullptr) ||
      length > kMaxReserve) {
    return;
  }
  try {
    body.reserve(length);
  } catch (const std::bad_alloc&) {
    // Growing as it comes still works.
  }
}

Bytes ReadBody(HINTERNET request) {
  Bytes body;
  ReserveAnnounced(request, body);
  Bytes chunk = BlankBytes(kReadChunk);
  for (;;) {
    DWORD read = 0;
    // A failed read delivers nothing and so ends the body like its end does.
    if (!BOUND("wininet.dll", InternetReadFile)(request, chunk.data(), kReadChunk, &read)) read = 0;
    if (read == 0) break;
    body.insert(body.end(), chunk.begin(), chunk.begin() + read);
  }
  return body;
}

Text QueryRawHeaders(HINTERNET request) {
  Text buffer = BlankText(kRawHeaderBuffer);
  DWORD length = kRawHeaderBuffer;
  // On failure (also a block too large for the buffer) the spaces stay.
  BOUND("wininet.dll", HttpQueryInfoA)(request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &length,
                                       nullptr);
  return ReadRawHeaders(buffer);
}

// The connection and the request of one hop; the request is destroyed first.
// Without a request handle nothing of it is open.
struct OpenRequest {
  InternetHandle connection;
  InternetHandle request;
};

OpenRequest OpenHop(HINTERNET internet, const Hop& hop, std::uint32_t flags) {
  OpenRequest open;
  open.connection.reset(BOUND("wininet.dll", InternetConnectA)(
      internet, PlatformString(UrlHost(hop.url)), static_cast<INTERNET_PORT>(UrlPort(hop.url)),
      nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!open.connection) return {};
  open.request.reset(BOUND("wininet.dll", HttpOpenRequestA)(
      open.connection.get(), hop.post ? "POST" : "GET", PlatformString(UrlPath(hop.url)), "HTTP/1.1",
      nullptr, nullptr, flags, 0));
  if (!open.request) open.connection.reset();
  return open;
}

// A followed hop keeps the caller's flags, with the scheme's own flag for its target.
std::uint32_t HopFlags(std::uint32_t flags, std::string_view url) {
  using namespace request_flag;
  flags &= ~(kSecure | kIgnoreRedirectToHttps);
  return flags | kNoAutoRedirect | (IsHttpsLink(url) ? kSecure : kIgnoreRedirectToHttps);
}

void Send(HINTERNET request, const Text& headers, const Bytes* body) {
  // The send's own result is not looked at: a failed send shows as an empty answer.
  BOUND("wininet.dll", HttpSendRequestA)(
      request, PlatformString(headers), static_cast<DWORD>(headers.size()),
      body ? const_cast<unsigned char*>(PlatformBytes(*body)) : nullptr,
      body ? static_cast<DWORD>(body->size()) : 0);
}

int StatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!BOUND("wininet.dll", HttpQueryInfoA)(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                            &status, &size, nullptr)) {
    return 0;
  }
  return static_cast<int>(status);
}

// The answer's Location value, or "" when it has none.
Text Location(HINTERNET request) {
  Text value = BlankText(1024);
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD size = static_cast<DWORD>(value.size());
    if (BOUND("wininet.dll", HttpQueryInfoA)(request, HTTP_QUERY_LOCATION, value.data(), &size,
                                             nullptr)) {
      value.resize(size);
      return value;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    value.assign(size + 1, ' ');
  }
  return {};
}

}  // namespace

std::optional<WireAnswer> Exchange(const WireRequest& request,
                                   const std::function<WireContent()>& compose,
                                   std::string* failure) {
  if (failure) failure->clear();
  const bool https = IsHttpsLink(request.url);
  const bool viaProxy = request.proxy && request.proxy->has_value();
  const Text proxy = viaProxy ? ProxyArgument(**request.proxy, https) : Text();

  InternetHandle internet(
      viaProxy ? BOUND("wininet.dll", InternetOpenA)(PlatformString(request.agent),
                                                     INTERNET_OPEN_TYPE_PROXY,
                                                     PlatformString(proxy), "", 0)
               : BOUND("wininet.dll", InternetOpenA)(PlatformString(request.agent),
                                                     INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!internet) return std::nullopt;

  // The platform never follows a redirect by itself: the loop below does,
  // up to its limit.
  const bool follow = (request.flags & request_flag::kNoAutoRedirect) == 0;
  Hop hop{Text(request.url), request.post, true};
  auto open = OpenHop(internet.get(), hop, request.flags | request_flag::kNoAutoRedirect);
  if (!open.request) return std::nullopt;

  const WireContent content = compose();
  for (int redirects = 0;; ++redirects) {
    Send(open.request.get(), *content.headers, hop.body ? content.body : nullptr);
    if (!follow || redirects == kMaxRedirects) break;
    const int status = StatusCode(open.request.get());
    if (!IsRedirectStatus(status)) break;
    auto next = NextHop(hop, status, Location(open.request.get()));
    if (!next) break;
    // A target that cannot be opened leaves the redirect answer as the answer.
    OpenRequest nextOpen = OpenHop(internet.get(), *next, HopFlags(request.flags, next->url));
    if (!nextOpen.request) break;
    open.request.reset();  // before its connection, which the move closes
    open = std::move(nextOpen);
    hop = std::move(*next);
  }

  WireAnswer answer;
  answer.body = ReadBody(open.request.get());
  answer.rawHeaders = QueryRawHeaders(open.request.get());
  open.request.reset();
  open.connection.reset();
  internet.reset();
  return answer;
}
