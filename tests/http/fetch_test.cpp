// HttpFetch against the fake service on loopback, reading what arrived on the
// wire from the service's log. The same expectations hold for both exchanges:
// wininet under Wine, libcurl natively.
#include "http/fetch.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <wininet.h>
#endif

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "http/redirect.h"
#include "http/request.h"
#include "support/fake_service.h"

namespace {

using fake_service::Origin;
using fake_service::RequestsMatching;
using fake_service::UniqueToken;

const std::string kAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
const std::string kDefaultLines =
    "Accept: */*\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded";

// A body over the size from which libcurl would send "Expect: 100-continue".
constexpr std::size_t kLongBody = std::size_t{2} << 20;

// The one logged request whose request line holds the token.
LoggedRequest OnlyRequest(const std::string& token) {
  const auto found = RequestsMatching(token);
  EXPECT_EQ(found.size(), 1u) << token;
  return found.empty() ? LoggedRequest{} : found.front();
}

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }
Bytes AsBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += (out.empty() ? "" : "\r\n") + line;
  return out;
}

// The header lines received besides Host and Content-Length, which HTTP itself
// needs: the agent and the header text, in order, and nothing else.
std::string LinesBesidesTransport(const LoggedRequest& r) {
  std::vector<std::string> kept;
  for (const auto& line : r.headerLines) {
    const std::string lower = ToLower(line.substr(0, line.find(':')));
    if (lower != "host" && lower != "content-length") kept.push_back(line);
  }
  return Joined(kept);
}

// Wine's own cookie store keeps what an earlier run of these tests set (a
// request without a jar lets it in): forget those cookies first.
void ForgetPlatformCookies() {
#ifdef _WIN32
  for (const char* name : {"A", "B", "plat"}) {
    InternetSetCookieA(Origin().c_str(), name, "gone; expires=Thu, 01-Jan-1970 00:00:01 GMT; path=/");
  }
#endif
}

TEST(HttpFetch, WhatGoesOnTheWire) {
  ForgetPlatformCookies();
  const struct {
    const char* name;
    int method;
    std::string postText;
    std::optional<std::string> postBytes;  // the caller's bytes, when given
    std::optional<std::string> extraHeaders;
    std::optional<std::string> jar;
    std::string verb;
    std::string sentBody;
    std::string lines;  // every header line but Host and Content-Length
  } cases[] = {
      {"plain GET", 0, "", {}, {}, {}, "GET", "", "User-Agent: " + kAgent + "\r\n" + kDefaultLines},
      {"POST of a text", 1, "a=1&b=%E4", {}, {}, {}, "POST", "a=1&b=%E4",
       "User-Agent: " + kAgent + "\r\n" + kDefaultLines},
      {"given bytes win over the text, zeros and all", 1, "ignored", std::string("x\0y", 3), {}, {}, "POST",
       std::string("x\0y", 3), "User-Agent: " + kAgent + "\r\n" + kDefaultLines},
      // Long enough that a client could ask the server to confirm first: nothing may wait for that.
      {"long POST", 1, std::string(kLongBody, 'p'), {}, {}, {}, "POST", std::string(kLongBody, 'p'),
       "User-Agent: " + kAgent + "\r\n" + kDefaultLines},
      {"a method other than 1 sends its body with a GET", 2, "q=1", {}, {}, {}, "GET", "q=1",
       "User-Agent: " + kAgent + "\r\n" + kDefaultLines},
      {"the caller's agent and lines, completed", 0, "", {}, "User-Agent: Tester/2\r\nAccept: text/html", {},
       "GET", "",
       "User-Agent: Tester/2\r\nAccept: text/html\r\nAccept-Language: zh-cn"
       "\r\nContent-Type: application/x-www-form-urlencoded"},
      {"the caller's own lines, in order", 0, "", {}, "X-B: 2\r\nX-A: 1", {}, "GET", "",
       "User-Agent: " + kAgent + "\r\nX-B: 2\r\nX-A: 1\r\n" + kDefaultLines},
      // The service's log writes a name and its empty value as "Name: ".
      {"a line with an empty value goes out too", 0, "", {}, "X-Empty:", {}, "GET", "",
       "User-Agent: " + kAgent + "\r\nX-Empty: \r\n" + kDefaultLines},
      {"the jar, as the last line", 0, "", {}, {}, "A=0; keep=1", "GET", "",
       "User-Agent: " + kAgent + "\r\n" + kDefaultLines + "\r\nCookie: A=0; keep=1"},
      {"an empty jar adds no line", 0, "", {}, {}, "", "GET", "", "User-Agent: " + kAgent + "\r\n" + kDefaultLines},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string t = UniqueToken();
    HttpRequestOptions o;
    o.method = c.method;
    o.postText = c.postText;
    Bytes postBytes = c.postBytes ? AsBytes(*c.postBytes) : Bytes();
    o.postBytes = &postBytes;
    Text headers = c.extraHeaders.value_or("");
    if (c.extraHeaders) o.extraHeaders = &headers;
    CookieText jar = c.jar.value_or("");
    if (c.jar) o.cookieJar = &jar;

    EXPECT_EQ(AsString(HttpFetch(Origin() + "/echo?" + t, o)), "ok");
    const LoggedRequest r = OnlyRequest(t);
    EXPECT_EQ(r.requestLine, c.verb + " /echo?" + t + " HTTP/1.1");
    EXPECT_EQ(r.Header("Host"), Origin().substr(7));
    EXPECT_EQ(r.HeaderCount("Host"), 1);
    EXPECT_EQ(LinesBesidesTransport(r), c.lines);
    EXPECT_EQ(r.body, c.sentBody);
    EXPECT_EQ(r.Header("Content-Length"), c.sentBody.empty() && c.verb == "GET" ? "" : std::to_string(c.sentBody.size()));
    // The body sent is left in the caller's bytes.
    if (c.method != 0) {
      EXPECT_EQ(AsString(postBytes), c.sentBody);
    }
  }
}

TEST(HttpFetch, CallerLinesAreCompletedInPlace) {
  Text headers = "User-Agent: Tester/2\r\nAccept: text/html";
  HttpRequestOptions o;
  o.extraHeaders = &headers;
  HttpFetch(Origin() + "/echo?" + UniqueToken(), o);
  EXPECT_EQ(headers, "User-Agent: Tester/2\r\nAccept: text/html\r\nAccept-Language: zh-cn"
                     "\r\nContent-Type: application/x-www-form-urlencoded");
}

TEST(HttpFetch, JarIsSentOnceAndMerged) {
  const std::string t = UniqueToken();
  CookieText jar = "A=0; keep=1";
  CookieText returned;
  HttpRequestOptions o;
  o.cookieJar = &jar;
  o.returnedCookies = &returned;
  HttpFetch(Origin() + "/setcookie?" + t, o);
  EXPECT_EQ(OnlyRequest(t).HeaderCount("Cookie"), 1);
  EXPECT_EQ(returned, "A=1;B=2;plat=1");  // the merge strips the spaces
  EXPECT_EQ(jar, "A=1; B=2; plat=1; keep=1");

  // The next request with the jar carries the merged jar and nothing else.
  const std::string t2 = UniqueToken();
  HttpFetch(Origin() + "/echo?" + t2, o);
  EXPECT_EQ(OnlyRequest(t2).Header("Cookie"), "A=1; B=2; plat=1; keep=1");
}

TEST(HttpFetch, WithoutAJarOnlyThePlatformStoreSendsCookies) {
  HttpFetch(Origin() + "/setcookie?" + UniqueToken());
  const std::string t = UniqueToken();
  HttpFetch(Origin() + "/echo?" + t);
#ifdef _WIN32
  // wininet keeps its own store and sends what it took.
  EXPECT_NE(OnlyRequest(t).Header("Cookie").find("plat=1"), std::string::npos);
#else
  // libcurl's cookie engine stays off: only the caller's jar is ever sent.
  EXPECT_EQ(OnlyRequest(t).HeaderCount("Cookie"), 0);
#endif

  // With a jar, nothing from the platform's store joins it.
  const std::string tJar = UniqueToken();
  CookieText jar = "j=1";
  HttpRequestOptions o;
  o.cookieJar = &jar;
  HttpFetch(Origin() + "/echo?" + tJar, o);
  EXPECT_EQ(OnlyRequest(tJar).Header("Cookie"), "j=1");
}

TEST(HttpFetch, RawHeaderBlockOfTheAnswer) {
  Text raw;
  CookieText returned;
  HttpRequestOptions o;
  o.rawHeaders = &raw;
  o.returnedCookies = &returned;
  HttpFetch(Origin() + "/setcookie?" + UniqueToken(), o);
  EXPECT_EQ(raw.rfind("HTTP/1.1 200", 0), 0u) << raw;
  // Every line ends with CRLF, and an empty line ends the block.
  EXPECT_TRUE(raw.ends_with("\r\n\r\n")) << raw;
  EXPECT_EQ(raw.find("\r\n\r\n"), raw.size() - 4) << raw;
  EXPECT_NE(raw.find("\r\nContent-Length: 2\r\n"), std::string::npos) << raw;
  // Set-Cookie names in any case come out alike.
  EXPECT_EQ(raw.find("set-cookie"), std::string::npos);
  EXPECT_EQ(raw.find("SET-COOKIE"), std::string::npos);
  EXPECT_NE(raw.find("\r\nSet-Cookie: A=1; path=/\r\n"), std::string::npos);
  EXPECT_EQ(returned, "A=1; B=2; plat=1");
}

TEST(HttpFetch, HeaderBlockOverTheBufferGivesSpacesAndNoCookies) {
  const struct {
    std::string path;
    std::string inBody;
  } cases[] = {
      {"/bigheader?" + UniqueToken(), "big"},
      // A Set-Cookie line, then three lines of 900 double-byte characters:
      // longer in code page 936 than in UTF-16, which Wine's conversion cut.
      {"/share/link?shareid=1001&uk=2001&dbcsheaders=1", "share_id=\"1001\""},
  };
  for (const auto& c : cases) {
    Text raw;
    CookieText jar = "j=1";
    CookieText returned = "before";
    HttpRequestOptions o;
    o.rawHeaders = &raw;
    o.cookieJar = &jar;
    o.returnedCookies = &returned;
    EXPECT_NE(AsString(HttpFetch(Origin() + c.path, o)).find(c.inBody), std::string::npos) << c.path;
    EXPECT_EQ(raw, std::string(5000, ' ')) << c.path;
    EXPECT_EQ(returned, "") << c.path;
    EXPECT_EQ(jar, "j=1") << c.path;
  }
}

TEST(HttpFetch, RedirectsFollowedUnlessAskedNot) {
  const std::string t = UniqueToken();
  Text raw;
  HttpRequestOptions followed;
  followed.rawHeaders = &raw;
  EXPECT_EQ(AsString(HttpFetch(Origin() + "/redirect?to=" + Origin() + "/echo?" + t, followed)), "ok");
  EXPECT_EQ(RequestsMatching("GET /echo?" + t).size(), 1u);
  EXPECT_EQ(raw.rfind("HTTP/1.1 200", 0), 0u) << raw;  // the last answer's block

  HttpRequestOptions o;
  o.noRedirect = true;
  o.rawHeaders = &raw;
  const std::string t2 = UniqueToken();
  EXPECT_EQ(AsString(HttpFetch(Origin() + "/redirect?to=" + Origin() + "/echo?" + t2, o)),
            "<html>redirect</html>");
  EXPECT_EQ(raw.rfind("HTTP/1.1 302", 0), 0u) << raw;
  EXPECT_NE(raw.find("\r\nLocation: " + Origin() + "/echo?" + t2 + "\r\n"), std::string::npos);
  EXPECT_TRUE(RequestsMatching("GET /echo?" + t2).empty());
}

TEST(HttpFetch, RedirectToWhereNoRequestCanGoIsTheAnswer) {
  const std::string t = UniqueToken();
  Text raw;
  HttpRequestOptions o;
  o.rawHeaders = &raw;
  EXPECT_EQ(AsString(HttpFetch(Origin() + "/redirect?to=http:///nohost&" + t, o)), "<html>redirect</html>");
  EXPECT_EQ(raw.rfind("HTTP/1.1 302", 0), 0u) << raw;
  EXPECT_EQ(RequestsMatching(t).size(), 1u);
}

TEST(HttpFetch, RedirectStatusDecidesMethodAndBody) {
  const struct {
    int status;
    const char* to;  // the Location value, before the token
    bool keepsPost;
  } cases[] = {
      {301, "/echo?", false}, {302, "echo?", false}, {303, "/echo?", false},
      {307, "echo?", true},   {308, "/echo?", true},
  };
  for (const auto& c : cases) {
    const std::string t = UniqueToken();
    HttpRequestOptions o;
    o.method = 1;
    o.postText = "a=1";
    const std::string url =
        Origin() + "/redirect?status=" + std::to_string(c.status) + "&to=" + c.to + t;
    EXPECT_EQ(AsString(HttpFetch(url, o)), "ok") << c.status;
    const LoggedRequest r = OnlyRequest(" /echo?" + t);  // not the redirect itself
    EXPECT_EQ(r.requestLine, (c.keepsPost ? "POST /echo?" : "GET /echo?") + t + " HTTP/1.1");
    EXPECT_EQ(r.body, c.keepsPost ? "a=1" : "") << c.status;
    EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");  // the same text on every hop
  }
}

TEST(HttpFetch, RedirectLoopStopsAtTheLimit) {
  const std::string t = UniqueToken();
  Text raw;
  HttpRequestOptions o;
  o.rawHeaders = &raw;
  EXPECT_EQ(AsString(HttpFetch(Origin() + "/loop?" + t, o)), "<html>again</html>");
  EXPECT_EQ(raw.rfind("HTTP/1.1 302", 0), 0u) << raw;
  EXPECT_EQ(RequestsMatching("GET /loop?" + t).size(), 1u + kMaxRedirects);
}

TEST(HttpFetch, BodyWithZeroBytesComesBackWhole) {
  EXPECT_EQ(AsString(HttpFetch(Origin() + "/zero?" + UniqueToken())), std::string("ab\0cd", 5));
}

TEST(HttpFetch, BodyUpToTheCeilingOnly) {
  // The service sends "0123456789abcdef" over and over, announcing the length.
  const struct {
    std::size_t size;
    bool whole;
  } cases[] = {{kMaxBodyBytes, true}, {kMaxBodyBytes + 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    Text raw = "raw";
    std::string failure;
    HttpRequestOptions o;
    o.rawHeaders = &raw;
    o.failure = &failure;
    const Bytes body = HttpFetch(Origin() + "/bytes?size=" + std::to_string(c.size), o);
    if (c.whole) {
      ASSERT_EQ(body.size(), c.size);
      EXPECT_EQ(body.front(), '0');
      EXPECT_EQ(body.back(), 'f');
      EXPECT_EQ(failure, "");
      EXPECT_EQ(raw.rfind("HTTP/1.1 200", 0), 0u);
    } else {
      // A failed request: nothing comes back and the caller's variables keep their values.
      EXPECT_TRUE(body.empty());
      EXPECT_NE(failure.find("larger than 64 MiB"), std::string::npos) << failure;
      EXPECT_EQ(raw, "raw");
    }
  }
}

TEST(HttpFetch, NoRequestLeavesCallerVariablesAlone) {
  Text headers = "X: 1";
  Text raw = "raw";
  CookieText jar = "a=1;  b=2";
  Bytes post{'p'};
  std::string failure;
  HttpRequestOptions o;
  o.method = 1;
  o.extraHeaders = &headers;
  o.rawHeaders = &raw;
  o.cookieJar = &jar;
  o.postBytes = &post;
  o.failure = &failure;
  // No host to connect to.
  EXPECT_TRUE(HttpFetch("http:///nohost", o).empty());
  EXPECT_EQ(headers, "X: 1");
  EXPECT_EQ(raw, "raw");
  EXPECT_EQ(jar, "a=1;  b=2");
  EXPECT_EQ(post, Bytes{'p'});
  EXPECT_NE(failure, "");
}

TEST(HttpFetch, FailedConnectionsGiveWhatCame) {
  // The request exists and is composed; the connection is refused, or breaks
  // before an answer: the exchange ends with an empty body and no answer
  // headers (wininet gives either nothing or a bare line end), so no cookies
  // either, and says why in the platform's words.
  const struct {
    std::string url;
    const char* curlWords;  // how libcurl's reason starts
    bool wininetSaysWhy;    // Wine's wininet at times takes a reset before the answer for an empty one
  } cases[] = {
      {"http://127.0.0.1:1/x", "Couldn't connect to server: ", true},
      {Origin() + "/reset?" + UniqueToken(), "", false},
      // Redirected to https on the plain port: no TLS handshake succeeds.
      {Origin() + "/tohttps?" + UniqueToken(), "SSL connect error: ", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    Text raw;
    CookieText returned = "x";
    CookieText jar = "a=1;  b=2";
    std::string failure;
    HttpRequestOptions o;
    o.rawHeaders = &raw;
    o.returnedCookies = &returned;
    o.cookieJar = &jar;
    o.failure = &failure;
    EXPECT_TRUE(HttpFetch(c.url, o).empty());
    EXPECT_EQ(raw.find("HTTP/"), std::string::npos) << raw;
    EXPECT_EQ(returned, "");
    EXPECT_EQ(jar, "a=1; b=2");  // still normalised by the merge
#ifdef _WIN32
    if (c.wininetSaysWhy) {
      EXPECT_NE(failure, "");
    }
#else
    EXPECT_NE(failure, "");
    EXPECT_EQ(failure.rfind(c.curlWords, 0), 0u) << failure;
#endif
  }
  // A good exchange leaves no reason behind.
  std::string failure = "stale";
  HttpRequestOptions o;
  o.failure = &failure;
  HttpFetch(Origin() + "/echo?" + UniqueToken(), o);
  EXPECT_EQ(failure, "");
}

TEST(HttpFetch, BodyCutMidwayGivesThePartThatCame) {
  // 500 of the 1000 bytes announced, then the connection closes.
  Text raw;
  std::string failure;
  HttpRequestOptions o;
  o.rawHeaders = &raw;
  o.failure = &failure;
  EXPECT_EQ(AsString(HttpFetch(Origin() + "/cut?" + UniqueToken(), o)), std::string(500, 'c'));
  EXPECT_EQ(raw.rfind("HTTP/1.1 200", 0), 0u) << raw;
  EXPECT_NE(raw.find("\r\nContent-Length: 1000\r\n"), std::string::npos) << raw;
#ifndef _WIN32
  EXPECT_EQ(failure.rfind("Transferred a partial file", 0), 0u) << failure;
#endif
}

TEST(HttpFetch, ProxyFormsReachALoopbackProxy) {
  // The fake service answers proxy requests itself and never forwards them.
  const std::string proxy = Origin().substr(7);  // "127.0.0.1:PORT"
  const std::string t = UniqueToken();
  HttpRequestOptions o;
  o.proxy = proxy;
  EXPECT_EQ(AsString(HttpFetch("http://netdisk.invalid/p?" + t, o)), "proxied");
  // The platform may spell out the default port in the absolute form.
  const LoggedRequest r = OnlyRequest(t);
  EXPECT_EQ(r.requestLine.rfind("GET http://netdisk.invalid", 0), 0u) << r.requestLine;
  EXPECT_NE(r.requestLine.find("/p?" + t + " HTTP/1.1"), std::string::npos) << r.requestLine;
  EXPECT_EQ(r.Header("Host"), "netdisk.invalid");
  EXPECT_EQ(LinesBesidesTransport(r), "User-Agent: " + kAgent + "\r\n" + kDefaultLines);

  // https goes through a tunnel, which the service refuses with a 502.
  const std::string tunnel = "CONNECT tls.invalid:443 HTTP/1.1";
  const std::size_t before = RequestsMatching(tunnel).size();
  std::string failure;
  o.failure = &failure;
  const std::string body = AsString(HttpFetch("https://tls.invalid/q", o));
  EXPECT_EQ(RequestsMatching(tunnel).size(), before + 1);
#ifdef _WIN32
  // wininet hands the proxy's refusal back as the answer.
  EXPECT_EQ(body, "no tunnels here");
#else
  // libcurl fails the exchange: the refusal is the proxy's, not the link's answer.
  EXPECT_EQ(body, "");
  EXPECT_NE(failure.find("CONNECT tunnel failed, response 502"), std::string::npos) << failure;
#endif
}

TEST(HttpFetch, ExchangesOnSeveralThreadsAtOnce) {
  // The command line resolves several shares at once, each on its own thread.
  constexpr int kThreads = 6;
  constexpr int kRounds = 5;
  std::vector<std::string> tokens(kThreads);
  std::vector<int> good(kThreads, 0);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    tokens[i] = UniqueToken();
    threads.emplace_back([&, i] {
      for (int round = 0; round < kRounds; ++round) {
        const std::string url = Origin() + "/echo?" + tokens[i] + "r" + std::to_string(round);
        good[i] += AsString(HttpFetch(url)) == "ok";
        good[i] += AsString(HttpFetch(Origin() + "/zero?" + tokens[i])) == std::string("ab\0cd", 5);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(good[i], 2 * kRounds) << i;
    EXPECT_EQ(RequestsMatching("/echo?" + tokens[i] + "r").size(), static_cast<std::size_t>(kRounds));
  }
}

}  // namespace
