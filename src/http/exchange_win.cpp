#include "http/exchange_win.h"

#include <windows.h>
#include <wininet.h>

#include <new>

#include "host/bind.h"
#include "host/owned.h"
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

}  // namespace

std::optional<WireAnswer> Exchange(const WireRequest& request,
                                   const std::function<WireContent()>& compose) {
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

  const Text host = UrlHost(request.url);
  InternetHandle connection(BOUND("wininet.dll", InternetConnectA)(
      internet.get(), PlatformString(host), static_cast<INTERNET_PORT>(UrlPort(request.url)), nullptr,
      nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return std::nullopt;

  const Text path = UrlPath(request.url);
  InternetHandle handle(BOUND("wininet.dll", HttpOpenRequestA)(
      connection.get(), request.post ? "POST" : "GET", PlatformString(path), "HTTP/1.1", nullptr,
      nullptr, request.flags, 0));
  if (!handle) return std::nullopt;

  const WireContent content = compose();
  const Bytes* body = content.body;
  // The send's own result is not looked at: a failed send shows as an empty answer.
  BOUND("wininet.dll", HttpSendRequestA)(
      handle.get(), PlatformString(*content.headers), static_cast<DWORD>(content.headers->size()),
      body ? const_cast<unsigned char*>(PlatformBytes(*body)) : nullptr,
      body ? static_cast<DWORD>(body->size()) : 0);

  WireAnswer answer;
  answer.body = ReadBody(handle.get());
  answer.rawHeaders = QueryRawHeaders(handle.get());
  handle.reset();
  connection.reset();
  internet.reset();
  return answer;
}
