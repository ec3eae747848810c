#include "http/exchange.h"

#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

#include "http/curl_owned.h"
#include "http/redirect.h"
#include "http/request.h"
#include "http/url.h"

namespace {


// Bodies come in pieces of up to this size: a body near the ceiling takes a
// few hundred calls rather than tens of thousands.
constexpr long kReadRoom = 256L << 10;

// curl's process-wide set-up, done once by whichever thread comes first; the
// threads that come meanwhile wait for it.
CURLcode GlobalInit() {
  static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
  return result;
}

// Open connections are kept and reused across exchanges, on every thread, as
// wininet keeps its own pool: a resolution's four requests to one host then
// cost one connection, not four. curl calls these around every use of the pool.
class ConnectionPool {
 public:
  static CURLSH* Get() {
    static ConnectionPool pool;
    return pool.share_;
  }

 private:
  ConnectionPool() : share_(curl_share_init()) {
    if (!share_) return;
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, Lock);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, Unlock);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
  }
  // Kept to the end of the process: connections may still be in use as it ends.
  ~ConnectionPool() = default;
  static void Lock(CURL*, curl_lock_data, curl_lock_access, void* self) {
    static_cast<ConnectionPool*>(self)->mutex_.lock();
  }
  static void Unlock(CURL*, curl_lock_data, void* self) { static_cast<ConnectionPool*>(self)->mutex_.unlock(); }

  std::mutex mutex_;
  CURLSH* share_;
};

std::string TooLargeText() {
  return ConcatText("the answer's body is larger than ", std::to_string(kMaxBodyBytes >> 20), " MiB");
}

// curl's words for a failed transfer: its summary, then the detail it wrote.
std::string CurlFailureText(CURLcode code, const char* detail) {
  const std::string summary = curl_easy_strerror(code);
  return detail[0] ? ConcatText(summary, ": ", detail) : summary;
}

// Where a hop connects, as wininet's connect call takes it:
// the link's host, and its port cut to 16 bits, 0 meaning the scheme's own.
struct Endpoint {
  bool https = false;
  Text host;  // lower case, no port
  int port = 0;
};

Endpoint EndpointOf(std::string_view url) {
  Endpoint e;
  e.https = IsHttpsLink(url);
  e.host = UrlHost(url);
  e.port = static_cast<std::uint16_t>(UrlPort(url));
  if (e.port == 0) e.port = e.https ? 443 : 80;
  return e;
}

// What curl is given as the link: scheme, host and port only. The object name
// goes out as the request target exactly as the link holds it.
Text CurlOrigin(const Endpoint& e) {
  return ConcatText(e.https ? "https://" : "http://", e.host, ":", std::to_string(e.port), "/");
}

// Why no request can be made to the link, or "" when one can: it needs a host
// that curl takes.
std::string WhyNoRequest(std::string_view url) {
  const Endpoint e = EndpointOf(url);
  if (e.host.empty()) return ConcatText("no request can be made to ", url, ": the link names no host");
  UrlHandle parsed(curl_url());
  if (!parsed) return "no request can be made: out of memory";
  const CURLUcode code = curl_url_set(parsed.get(), CURLUPART_URL, CurlOrigin(e).c_str(), 0);
  if (code != CURLUE_OK) return ConcatText("no request can be made to ", url, ": ", curl_url_strerror(code));
  return {};
}

bool HasHeader(std::string_view headers, std::string_view name) {
  for (std::size_t at = 0; at <= headers.size();) {
    std::size_t end = headers.find("\r\n", at);
    if (end == std::string_view::npos) end = headers.size();
    const std::string_view line = headers.substr(at, end - at);
    if (line.size() > name.size() && line[name.size()] == ':' &&
        ToLower(line.substr(0, name.size())) == ToLower(name)) {
      return true;
    }
    at = end + 2;
  }
  return false;
}

bool Append(HeaderList& list, const std::string& line) {
  curl_slist* head = curl_slist_append(list.get(), line.c_str());
  if (!head) return false;
  list.release();  // the same list, or a new one when it was empty
  list.reset(head);
  return true;
}

// The header text as curl's list, one line each, in order. curl drops a line
// whose value is empty unless it ends in ";" instead of ":", so such a line is
// written that way to go out as it stands. The lines curl would add on its
// own and wininet does not send are withdrawn unless the text has
// them: "Accept", the POST's "Content-Type", "Expect: 100-continue", and the
// "Proxy-Connection" of a request through a proxy.
std::optional<HeaderList> HeaderLines(const Text& headers) {
  HeaderList list;
  bool ok = true;
  for (std::size_t at = 0; at < headers.size();) {
    std::size_t end = headers.find("\r\n", at);
    if (end == Text::npos) end = headers.size();
    std::string line = headers.substr(at, end - at);
    at = end + 2;
    if (line.empty()) continue;
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && TrimText(line.substr(colon + 1)).empty()) {
      line = ConcatText(line.substr(0, colon), ";");
    }
    ok = ok && Append(list, line);
  }
  for (const char* own : {"Accept", "Content-Type", "Expect", "Proxy-Connection"}) {
    if (!HasHeader(headers, own)) ok = ok && Append(list, ConcatText(own, ":"));
  }
  if (!ok) return std::nullopt;
  return list;
}

// One hop's answer as it arrives.
struct HopAnswer {
  CURL* easy = nullptr;
  Text block;  // status line and header lines, each ended by CRLF, then the empty line
  bool complete = false;
  int status = 0;
  std::optional<Text> location;
  Bytes body;
  bool tooLarge = false;
};

int StatusOf(std::string_view statusLine) {
  const std::size_t space = statusLine.find(' ');
  return space == std::string_view::npos ? 0 : ParseInt(statusLine.substr(space + 1, 3));
}

// Lines come one by one with their own line end, which is made CRLF.
std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto& a = *static_cast<HopAnswer*>(user);
  const std::size_t length = size * count;
  std::string_view line(data, length);
  if (line.ends_with('\n')) line.remove_suffix(1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    // A new answer (the one after an interim 1xx) replaces what came before.
    a = HopAnswer{a.easy};
    a.status = StatusOf(line);
  } else if (a.complete) {
    return length;  // trailers after a chunked body are no part of the block
  }
  if (line.empty()) {
    a.block += "\r\n";
    a.complete = true;
    return length;
  }
  const std::size_t colon = line.find(':');
  if (!a.location && colon != std::string_view::npos && ToLower(line.substr(0, colon)) == "location") {
    a.location = TrimText(line.substr(colon + 1));
  }
  // A block this long no longer fits with its zero: it is read as spaces
  // whatever follows, so the rest need not be kept.
  if (a.block.size() < static_cast<std::size_t>(kRawHeaderBuffer)) {
    a.block.append(line);
    a.block += "\r\n";
  }
  return length;
}

// Returning less than was given stops the transfer.
std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& a = *static_cast<HopAnswer*>(user);
  const std::size_t length = size * count;
  if (length > kMaxBodyBytes - a.body.size()) {
    a.tooLarge = true;
    return 0;
  }
  if (a.body.empty()) {
    // Room for the announced body, so a large one is not copied as it grows.
    curl_off_t announced = -1;
    if (curl_easy_getinfo(a.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
        announced > 0 && static_cast<std::size_t>(announced) <= kMaxBodyBytes) {
      a.body.reserve(static_cast<std::size_t>(announced));
    }
  }
  a.body.insert(a.body.end(), data, data + length);
  return length;
}

// Options that stay the same for every hop of the exchange.
bool SetUp(CURL* easy, const WireRequest& request, curl_slist* headers, char* errorText) {
  bool ok = true;
  auto set = [&](CURLoption option, auto value) { ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK; };
  set(CURLOPT_ERRORBUFFER, errorText);
  set(CURLOPT_NOSIGNAL, 1L);  // several threads make exchanges at once
  if (CURLSH* pool = ConnectionPool::Get()) set(CURLOPT_SHARE, pool);
  set(CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
  set(CURLOPT_LOW_SPEED_LIMIT, 1L);
  set(CURLOPT_LOW_SPEED_TIME, kStalledSeconds);
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  set(CURLOPT_FOLLOWLOCATION, 0L);  // the loop in Exchange follows them, up to its limit
  set(CURLOPT_USERAGENT, request.agent.c_str());
  set(CURLOPT_HTTPHEADER, headers);
  // The body as it came, however the server encoded it.
  set(CURLOPT_HTTP_CONTENT_DECODING, 0L);
  set(CURLOPT_BUFFERSIZE, kReadRoom);
  // An answer that announces more than the ceiling is refused before its body.
  set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
  set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);  // a proxy's tunnel answer is no part of the block
  set(CURLOPT_HEADERFUNCTION, OnHeaderLine);
  set(CURLOPT_WRITEFUNCTION, OnBody);
  return ok;
}

// Options of one hop: where it goes, through which proxy, with which verb and
// body. curl copies the texts; the body it reads from the caller's bytes.
bool SetHop(CURL* easy, const Hop& hop, const WireRequest& request, bool originalHttps, const Bytes* body) {
  const Endpoint e = EndpointOf(hop.url);
  Text target = UrlPath(hop.url);
  // The proxy serves every scheme for an https link, and only plain http
  // hops for a plain one: wininet is given "http=" + proxy then.
  const bool viaProxy = request.proxy && request.proxy->has_value() && (originalHttps || !e.https);
  // A plain request to a proxy names the whole link; https goes through a tunnel.
  if (viaProxy && !e.https) target = ConcatText("http://", UrlHost(hop.url, true), target);

  bool ok = true;
  auto set = [&](CURLoption option, auto value) { ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK; };
  set(CURLOPT_URL, CurlOrigin(e).c_str());
  set(CURLOPT_REQUEST_TARGET, target.c_str());
  // "" keeps the environment's proxy settings out, either way.
  set(CURLOPT_PROXY, viaProxy ? (**request.proxy).c_str() : "");
  set(CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
  set(CURLOPT_NOPROXY, "");
  if (body || hop.post) {
    static const char kNothing[] = "";
    set(CURLOPT_POST, 1L);
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body ? body->size() : 0));
    set(CURLOPT_POSTFIELDS, body && !body->empty() ? reinterpret_cast<const char*>(body->data()) : kNothing);
    // A body goes with a GET too when the caller gives one.
    set(CURLOPT_CUSTOMREQUEST, hop.post ? nullptr : "GET");
  } else {
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr));
  }
  return ok;
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
  if (const CURLcode init = GlobalInit(); init != CURLE_OK) {
    why = ConcatText("the internet functions cannot start: ", curl_easy_strerror(init));
    return result(std::nullopt);
  }
  EasyHandle easy(curl_easy_init());
  if (!easy) {
    why = "the internet functions cannot start: curl_easy_init failed";
    return result(std::nullopt);
  }
  why = WhyNoRequest(request.url);
  if (!why.empty()) return result(std::nullopt);

  const WireContent content = compose();
  const std::optional<HeaderList> headers = HeaderLines(*content.headers);
  char errorText[CURL_ERROR_SIZE] = {};
  if (!headers || !SetUp(easy.get(), request, headers->get(), errorText)) {
    why = "the request cannot be set up: out of memory";
    return result(std::nullopt);
  }

  const bool https = IsHttpsLink(request.url);
  const bool follow = (request.flags & request_flag::kNoAutoRedirect) == 0;
  Hop hop{Text(request.url), request.post, true};
  for (int redirects = 0;; ++redirects) {
    HopAnswer answer{easy.get()};
    errorText[0] = '\0';
    CURLcode code = CURLE_OUT_OF_MEMORY;
    if (SetHop(easy.get(), hop, request, https, hop.body ? content.body : nullptr) &&
        curl_easy_setopt(easy.get(), CURLOPT_HEADERDATA, &answer) == CURLE_OK &&
        curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &answer) == CURLE_OK) {
      code = curl_easy_perform(easy.get());
    }
    // Every answer's body is read, a followed redirect's too, and none may pass the ceiling.
    if (answer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
      why = TooLargeText();
      return result(std::nullopt);
    }
    if (follow && redirects < kMaxRedirects) {
      auto next = NextHop(hop, answer.status, answer.location.value_or(Text()));
      // A target no request can be made to leaves the redirect answer as the answer.
      if (next && WhyNoRequest(next->url).empty()) {
        hop = std::move(*next);
        continue;
      }
    }
    // A refused or broken connection still ends the exchange with what came.
    why = code == CURLE_OK ? std::string() : CurlFailureText(code, errorText);
    answer.block.push_back('\0');
    WireAnswer out;
    out.body = std::move(answer.body);
    out.rawHeaders = ReadRawHeaders(answer.block);
    return result(std::move(out));
  }
}
