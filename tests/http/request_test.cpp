#include "http/request.h"

#include <gtest/gtest.h>

namespace {

TEST(HeaderText, DefaultsAppendedToCallerLines) {
  const struct {
    std::string callers, jar, expected;
  } cases[] = {
      {"", "", "Accept: */*\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded"},
      {"Accept: text/html", "",
       "Accept: text/html\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded"},
      {"", "a=1; b=2",
       "Accept: */*\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded"
       "\r\nCookie: a=1; b=2"},
      {"X: 1\r\nContent-Type: text/plain\r\nAccept-Language: en", "",
       "X: 1\r\nContent-Type: text/plain\r\nAccept-Language: en\r\nAccept: */*"},
      // The tests are case-sensitive: a lower-case name does not count.
      {"accept: x", "", "accept: x\r\nAccept: */*\r\nAccept-Language: zh-cn"
                        "\r\nContent-Type: application/x-www-form-urlencoded"},
  };
  for (const auto& c : cases) {
    Text headers = c.callers;
    CompleteHeaderText(headers, c.jar);
    EXPECT_EQ(headers, c.expected) << c.callers;
  }
}

TEST(Agent, CallersLineOrDefault) {
  const struct {
    std::string headers, agent;
  } cases[] = {
      {"", std::string(kDefaultAgent)},
      {"Accept: x", std::string(kDefaultAgent)},
      {"User-Agent: X", "X"},  // the last line has no CR LF: the whole text's header value
      {"User-Agent:  Y z \r\nAccept: a", "Y z"},
      {"Accept: a\r\nuser-agent: Q\r\n", "a\r\nuser-agent: Q\r\n"},  // other case: first colon of the text
  };
  for (const auto& c : cases) EXPECT_EQ(AgentFor(c.headers), c.agent) << c.headers;
}

TEST(RequestFlags, ByJarRedirectAndScheme) {
  using namespace request_flag;
  EXPECT_EQ(RequestFlags(false, false, false), kReload | kNeedFile | kIgnoreRedirectToHttps);
  EXPECT_EQ(RequestFlags(false, false, true), kReload | kNeedFile | kSecure);
  EXPECT_EQ(RequestFlags(true, true, false),
            kReload | kNeedFile | kNoCookies | kNoAutoRedirect | kIgnoreRedirectToHttps);
  EXPECT_TRUE(IsHttpsLink("HTTPS://h/"));
  EXPECT_TRUE(IsHttpsLink("httpsx"));
  EXPECT_FALSE(IsHttpsLink("http://h/"));
  EXPECT_FALSE(IsHttpsLink("h"));
}

TEST(Proxy, PlainLinksGetTheHttpPrefix) {
  EXPECT_EQ(ProxyArgument("127.0.0.1:8888", false), "http=127.0.0.1:8888");
  EXPECT_EQ(ProxyArgument("127.0.0.1:8888", true), "127.0.0.1:8888");
}

TEST(RawHeaders, UpToZeroWithSetCookieNamesUnified) {
  std::string buffer = "HTTP/1.1 200 OK\r\nset-cookie: A=1; path=/\r\nSET-COOKIE: B=2\r\n\r\n";
  buffer.push_back('\0');
  buffer += "   leftover spaces";
  const Text raw = ReadRawHeaders(buffer);
  EXPECT_EQ(raw, "HTTP/1.1 200 OK\r\nSet-Cookie: A=1; path=/\r\nSet-Cookie: B=2\r\n\r\n");
  EXPECT_EQ(CollectSetCookies(raw), "A=1; B=2");
  // A buffer the query never wrote stays all spaces, and holds no cookies.
  const Text untouched = ReadRawHeaders(std::string(kRawHeaderBuffer, ' '));
  EXPECT_EQ(untouched, std::string(kRawHeaderBuffer, ' '));
  EXPECT_EQ(CollectSetCookies(untouched), "");
}

}  // namespace
