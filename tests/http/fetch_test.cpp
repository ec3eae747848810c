// HttpFetch through the real wininet, against the fake service on loopback,
// reading what arrived on the wire from the service's log.
#include "http/fetch.h"

#include <gtest/gtest.h>

#include "http/redirect.h"
#include "support/fake_service.h"

namespace {

using fake_service::Origin;
using fake_service::RequestsMatching;
using fake_service::UniqueToken;

// The one logged request whose request line holds the token.
LoggedRequest OnlyRequest(const std::string& token) {
  const auto found = RequestsMatching(token);
  EXPECT_EQ(found.size(), 1u) << token;
  return found.empty() ? LoggedRequest{} : found.front();
}

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Positions of the header names in the order received, -1 when missing.
int IndexOf(const LoggedRequest& r, const std::string& name) {
  for (std::size_t i = 0; i < r.headerLines.size(); ++i) {
    if (r.headerLines[i].rfind(name + ":", 0) == 0) return static_cast<int>(i);
  }
  return -1;
}

TEST(HttpFetch, PlainGetOnTheWire) {
  const std::string t = UniqueToken();
  EXPECT_EQ(AsString(HttpFetch(Origin() + "/echo?" + t)), "ok");
  const LoggedRequest r = OnlyRequest(t);
  EXPECT_EQ(r.requestLine, "GET /echo?" + t + " HTTP/1.1");
  EXPECT_EQ(r.Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
  EXPECT_EQ(r.Header("Accept"), "*/*");
  EXPECT_EQ(r.Header("Accept-Language"), "zh-cn");
  EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_LT(IndexOf(r, "Accept"), IndexOf(r, "Accept-Language"));
  EXPECT_LT(IndexOf(r, "Accept-Language"), IndexOf(r, "Content-Type"));
  EXPECT_EQ(r.HeaderCount("Cookie"), 0);
  EXPECT_EQ(r.body, "");
}

TEST(HttpFetch, PostTextFillsCallersBytes) {
  const std::string t = UniqueToken();
  Bytes postBytes;
  HttpRequestOptions o;
  o.method = 1;
  o.postText = "a=1&b=%E4";
  o.postBytes = &postBytes;
  EXPECT_EQ(AsString(HttpFetch(Origin() + "/echo?" + t, o)), "ok");
  const LoggedRequest r = OnlyRequest(t);
  EXPECT_EQ(r.requestLine.substr(0, 5), "POST ");
  EXPECT_EQ(r.body, "a=1&b=%E4");
  EXPECT_EQ(AsString(postBytes), "a=1&b=%E4");
  // Given bytes win over the text.
  const std::string t2 = UniqueToken();
  postBytes = Bytes{'x', 0, 'y'};
  HttpFetch(Origin() + "/echo?" + t2, o);
  EXPECT_EQ(OnlyRequest(t2).body, std::string("x\0y", 3));
}

TEST(HttpFetch, CallerLinesAreCompletedInPlace) {
  const std::string t = UniqueToken();
  Text headers = "User-Agent: Tester/2\r\nAccept: text/html";
  HttpRequestOptions o;
  o.extraHeaders = &headers;
  HttpFetch(Origin() + "/echo?" + t, o);
  EXPECT_EQ(headers, "User-Agent: Tester/2\r\nAccept: text/html\r\nAccept-Language: zh-cn"
                     "\r\nContent-Type: application/x-www-form-urlencoded");
  const LoggedRequest r = OnlyRequest(t);
  EXPECT_EQ(r.Header("User-Agent"), "Tester/2");
  EXPECT_EQ(r.Header("Accept"), "text/html");
}

TEST(HttpFetch, JarIsSentMergedAndPlatformStoreStaysOut) {
  // Without a jar the platform's own store takes the cookies and sends them again.
  HttpFetch(Origin() + "/setcookie?" + UniqueToken());
  const std::string tPlain = UniqueToken();
  HttpFetch(Origin() + "/echo?" + tPlain);
  EXPECT_NE(OnlyRequest(tPlain).Header("Cookie").find("plat=1"), std::string::npos);

  const std::string t = UniqueToken();
  CookieText jar = "A=0; keep=1";
  CookieText returned;
  HttpRequestOptions o;
  o.cookieJar = &jar;
  o.returnedCookies = &returned;
  HttpFetch(Origin() + "/setcookie?" + t, o);
  const LoggedRequest r = OnlyRequest(t);
  EXPECT_EQ(r.HeaderCount("Cookie"), 1);
  EXPECT_EQ(r.Header("Cookie"), "A=0; keep=1");  // nothing from the platform's store
  EXPECT_EQ(returned, "A=1;B=2;plat=1");         // the merge strips the spaces
  EXPECT_EQ(jar, "A=1; B=2; plat=1; keep=1");

  // An empty jar adds no cookie line, yet keeps the platform's store out.
  const std::string tEmpty = UniqueToken();
  CookieText empty;
  HttpRequestOptions e;
  e.cookieJar = &empty;
  HttpFetch(Origin() + "/echo?" + tEmpty, e);
  EXPECT_EQ(OnlyRequest(tEmpty).HeaderCount("Cookie"), 0);
}

TEST(HttpFetch, SetCookieNamesInAnyCase) {
  Text raw;
  CookieText returned;
  HttpRequestOptions o;
  o.rawHeaders = &raw;
  o.returnedCookies = &returned;
  HttpFetch(Origin() + "/setcookie?" + UniqueToken(), o);
  EXPECT_EQ(raw.find("set-cookie"), std::string::npos);
  EXPECT_EQ(raw.find("SET-COOKIE"), std::string::npos);
  EXPECT_NE(raw.find("Set-Cookie: A=1; path=/\r\n"), std::string::npos);
  EXPECT_EQ(returned, "A=1; B=2; plat=1");
}

TEST(HttpFetch, RedirectsFollowedUnlessAskedNot) {
  const std::string t = UniqueToken();
  const std::string target = Origin() + "/echo?" + t;
  EXPECT_EQ(AsString(HttpFetch(Origin() + "/redirect?to=" + target)), "ok");
  EXPECT_EQ(RequestsMatching("GET /echo?" + t).size(), 1u);

  Text raw;
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

TEST(HttpFetch, HeaderBlockOverTheBufferGivesSpacesAndNoCookies) {
  Text raw;
  CookieText jar = "j=1";
  CookieText returned = "before";
  HttpRequestOptions o;
  o.rawHeaders = &raw;
  o.cookieJar = &jar;
  o.returnedCookies = &returned;
  EXPECT_EQ(AsString(HttpFetch(Origin() + "/bigheader?" + UniqueToken(), o)), "big");
  EXPECT_EQ(raw, std::string(5000, ' '));
  EXPECT_EQ(returned, "");
  EXPECT_EQ(jar, "j=1");
}

TEST(HttpFetch, BodyWithZeroBytesComesBackWhole) {
  EXPECT_EQ(AsString(HttpFetch(Origin() + "/zero?" + UniqueToken())), std::string("ab\0cd", 5));
}

TEST(HttpFetch, NoRequestLeavesCallerVariablesAlone) {
  Text headers = "X: 1";
  Text raw = "raw";
  CookieText jar = "a=1;  b=2";
  Bytes post{'p'};
  HttpRequestOptions o;
  o.method = 1;
  o.extraHeaders = &headers;
  o.rawHeaders = &raw;
  o.cookieJar = &jar;
  o.postBytes = &post;
  // No host to connect to: the connection handle is refused.
  EXPECT_TRUE(HttpFetch("http:///nohost", o).empty());
  EXPECT_EQ(headers, "X: 1");
  EXPECT_EQ(raw, "raw");
  EXPECT_EQ(jar, "a=1;  b=2");
  EXPECT_EQ(post, Bytes{'p'});
}

TEST(HttpFetch, RefusedConnectionGivesEmptyBody) {
  // Nothing listens on port 1. The request exists, the send fails: the
  // exchange goes on with an empty body and no answer headers (the platform
  // gives either nothing or a bare line end), so no cookies either.
  Text raw;
  CookieText returned = "x";
  CookieText jar = "a=1;  b=2";
  HttpRequestOptions o;
  o.rawHeaders = &raw;
  o.returnedCookies = &returned;
  o.cookieJar = &jar;
  EXPECT_TRUE(HttpFetch("http://127.0.0.1:1/x", o).empty());
  EXPECT_EQ(raw.find("HTTP/"), std::string::npos) << raw;
  EXPECT_EQ(returned, "");
  EXPECT_EQ(jar, "a=1; b=2");  // still normalised by the merge
}

TEST(HttpFetch, ProxyFormsReachALoopbackProxy) {
  // The fake service answers proxy requests itself and never forwards them.
  const std::string proxy = Origin().substr(7);  // "127.0.0.1:PORT"
  const std::string t = UniqueToken();
  HttpRequestOptions o;
  o.proxy = proxy;
  EXPECT_EQ(AsString(HttpFetch("http://netdisk.invalid/p?" + t, o)), "proxied");
  // The platform may spell out the default port in the absolute form.
  const std::string line = OnlyRequest(t).requestLine;
  EXPECT_EQ(line.rfind("GET http://netdisk.invalid", 0), 0u) << line;
  EXPECT_NE(line.find("/p?" + t + " HTTP/1.1"), std::string::npos) << line;

  HttpFetch("https://tls.invalid/q", o);
  const auto tunnels = RequestsMatching("CONNECT tls.invalid:443");
  EXPECT_FALSE(tunnels.empty());
}

}  // namespace
