#include "http/exchange.h"

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <string>
#include <utility>

#include "http/redirect.h"
#include "http/request.h"
#include "http/url.h"
#include "http/wininet_owned.h"
#include "text/codepage.h"

std::string WininetErrorText(DWORD code) {
  static constexpr struct {
    DWORD code;
    const char* words;
  } kKnown[] = {
      {ERROR_INTERNET_TIMEOUT, "the operation timed out"},
      {ERROR_INTERNET_NAME_NOT_RESOLVED, "the server name cannot be resolved"},
      {ERROR_INTERNET_CANNOT_CONNECT, "cannot connect to the server"},
      {ERROR_INTERNET_CONNECTION_ABORTED, "the connection was aborted"},
      {ERROR_INTERNET_CONNECTION_RESET, "the connection was reset"},
      {ERROR_INTERNET_INVALID_URL, "the address is not valid"},
      {ERROR_INTERNET_UNRECOGNIZED_SCHEME, "the address's scheme is not known"},
      {ERROR_HTTP_INVALID_SERVER_RESPONSE, "the server's answer is not HTTP"},
      {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "the secure channel failed"},
  };
  for (const auto& known : kKnown) {
    if (known.code == code) return ConcatText(known.words, " (wininet error ", std::to_string(code), ")");
  }
  // Reasons are UTF-8, whatever the system's code page.
  wchar_t words[512] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      GetModuleHandleW(L"wininet.dll"), code, 0, words, 512, nullptr);
  const std::string text =
      TrimText(Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(words), length)));
  return text.empty() ? ConcatText("wininet error ", std::to_string(code))
                      : ConcatText(text, " (wininet error ", std::to_string(code), ")");
}

namespace {

// Room for a header query's answer: the raw header block must fit 5000 bytes
// to be used at all, and a Location value this long is no link anyone keeps.
// Generous on purpose: under code page 936 wininet converts each answer from
// UTF-16 into the buffer, and a value whose converted form overflows comes
// back cut (or with a size of 0xFFFFFFFF) instead of failing.
constexpr std::size_t kHeaderQueryRoom = std::size_t{64} << 10;

// What a text query of the answer's headers gives, up to its first zero; ""
// when the query fails or its text does not fit kHeaderQueryRoom. The size the
// platform reports is trusted only within the buffer it was given.
std::optional<Text> QueryHeaderText(HINTERNET request, DWORD level) {
  Text buffer(kHeaderQueryRoom, ' ');
  DWORD size = static_cast<DWORD>(buffer.size());
  if (!BOUND("wininet.dll", HttpQueryInfoA)(request, level, buffer.data(), &size, nullptr)) {
    return std::nullopt;
  }
  const std::size_t end = buffer.find('\0');
  if (end == Text::npos || size >= buffer.size()) return std::nullopt;  // cut: not the whole value
  buffer.resize(end);
  return buffer;
}

// Room for the announced body, so that a large one is not copied again and
// again as it grows. Only a hint: the body read decides, and an answer that
// announces more than the ceiling gets no head start.
void ReserveAnnounced(HINTERNET request, Bytes& body) {
  DWORD length = 0;
  DWORD size = sizeof length;
  if (!BOUND("wininet.dll", HttpQueryInfoA)(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                            &length, &size, nullptr) ||
      length > kMaxBodyBytes) {
    return;
  }
  body.reserve(length);
}

// The body, or nullopt once it grows past kMaxBodyBytes.
std::optional<Bytes> ReadBody(HINTERNET request, std::string& failure) {
  Bytes body;
  ReserveAnnounced(request, body);
  Bytes chunk(kReadChunk);
  for (;;) {
    DWORD read = 0;
    // A failed read delivers nothing and so ends the body like its end does.
    if (!BOUND("wininet.dll", InternetReadFile)(request, chunk.data(), kReadChunk, &read)) {
      failure = ConcatText("the connection broke: ", WininetErrorText(GetLastError()));
      read = 0;
    }
    if (read == 0) break;
    if (read > kMaxBodyBytes - body.size()) {
      failure = "the answer's body is larger than 64 MiB";
      return std::nullopt;
    }
    body.insert(body.end(), chunk.begin(), chunk.begin() + read);
  }
  return body;
}

// Read with room to spare; the rule of the 5000-byte buffer then decides.
Text QueryRawHeaders(HINTERNET request) {
  Text buffer(kHeaderQueryRoom, ' ');
  DWORD length = static_cast<DWORD>(buffer.size());
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

// Closing a request whose answer is still arriving makes wininet read the
// rest first, to reuse the connection; Wine reads an endless answer for
// ever. The handles of an answer given up midway are therefore left open,
// holding one idle socket until the process ends, rather than freezing it.
void Abandon(InternetHandle& internet, OpenRequest& open) {
  open.request.release();
  open.connection.release();
  internet.release();
}

// A followed hop keeps the caller's flags, with the scheme's own flag for its target.
std::uint32_t HopFlags(std::uint32_t flags, std::string_view url) {
  using namespace request_flag;
  flags &= ~(kSecure | kIgnoreRedirectToHttps);
  return flags | kNoAutoRedirect | (IsHttpsLink(url) ? kSecure : kIgnoreRedirectToHttps);
}

// The send's outcome does not change the flow (a failed send shows as an
// empty answer); it only gives the reason.
void Send(HINTERNET request, const Text& headers, const Bytes* body, std::string& failure) {
  if (!BOUND("wininet.dll", HttpSendRequestA)(
          request, PlatformString(headers), static_cast<DWORD>(headers.size()),
          body ? const_cast<unsigned char*>(PlatformBytes(*body)) : nullptr,
          body ? static_cast<DWORD>(body->size()) : 0)) {
    failure = WininetErrorText(GetLastError());
  }
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
  return QueryHeaderText(request, HTTP_QUERY_LOCATION).value_or(Text());
}

}  // namespace

std::optional<WireAnswer> Exchange(const WireRequest& request,
                                   const std::function<WireContent()>& compose,
                                   std::string* failure) {
  std::string why;
  auto result = [&](std::optional<WireAnswer> answer) {
    if (failure) *failure = std::move(why);
    return answer;
  };
  const bool https = IsHttpsLink(request.url);
  const bool viaProxy = request.proxy && request.proxy->has_value();
  const Text proxy = viaProxy ? ProxyArgument(**request.proxy, https) : Text();

  InternetHandle internet(
      viaProxy ? BOUND("wininet.dll", InternetOpenA)(PlatformString(request.agent),
                                                     INTERNET_OPEN_TYPE_PROXY,
                                                     PlatformString(proxy), "", 0)
               : BOUND("wininet.dll", InternetOpenA)(PlatformString(request.agent),
                                                     INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!internet) {
    why = ConcatText("the internet functions cannot start: ", WininetErrorText(GetLastError()));
    return result(std::nullopt);
  }

  // The platform never follows a redirect by itself: the loop below does,
  // up to its limit.
  const bool follow = (request.flags & request_flag::kNoAutoRedirect) == 0;
  Hop hop{Text(request.url), request.post, true};
  auto open = OpenHop(internet.get(), hop, request.flags | request_flag::kNoAutoRedirect);
  if (!open.request) {
    why = ConcatText("no request can be made to ", request.url, ": ", WininetErrorText(GetLastError()));
    return result(std::nullopt);
  }

  const WireContent content = compose();
  for (int redirects = 0;; ++redirects) {
    why.clear();
    Send(open.request.get(), *content.headers, hop.body ? content.body : nullptr, why);
    if (!follow || redirects == kMaxRedirects) break;
    const int status = StatusCode(open.request.get());
    if (!IsRedirectStatus(status)) break;
    auto next = NextHop(hop, status, Location(open.request.get()));
    if (!next) break;
    // A target that cannot be opened leaves the redirect answer as the answer.
    OpenRequest nextOpen = OpenHop(internet.get(), *next, HopFlags(request.flags, next->url));
    if (!nextOpen.request) break;
    // The redirect's own body is read before its request closes (see Abandon).
    if (!ReadBody(open.request.get(), why)) {
      Abandon(internet, open);
      return result(std::nullopt);
    }
    open.request.reset();  // before its connection, which the move closes
    open = std::move(nextOpen);
    hop = std::move(*next);
  }

  auto body = ReadBody(open.request.get(), why);
  if (!body) {
    Abandon(internet, open);
    return result(std::nullopt);
  }
  WireAnswer answer;
  answer.body = std::move(*body);
  answer.rawHeaders = QueryRawHeaders(open.request.get());
  open.request.reset();
  open.connection.reset();
  internet.reset();
  return result(std::move(answer));
}
