// Answers a broken or hostile server can send, through the real exchange
// against the fake service. Under Wine the suite also runs in a Chinese
// locale, where wininet converts every header query through code page 936.
#include <gtest/gtest.h>

#include <string>

#include "http/fetch.h"
#include "support/fake_service.h"

namespace {

using fake_service::Origin;

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

const std::string kZhong = "\xD6\xD0";  // 中 in code page 936

TEST(HostileAnswers, LongDoubleByteLocationIsFollowedWhole) {
  // "/target/" and 1200 bytes of double-byte text: longer than the first
  // guess of any buffer, and longer in code page 936 than in UTF-16.
  const std::size_t before = fake_service::Requests().size();
  const std::string page = AsString(HttpFetch(Origin() + "/s/1longloc"));
  EXPECT_NE(page.find("share_id=\"1001\""), std::string::npos) << page.substr(0, 200);
  const auto sent = fake_service::RequestsSince(before);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].requestLine, "GET /target/" + Repeat(kZhong, 600) + " HTTP/1.1");
}

TEST(HostileAnswers, EndlessBodyEndsAsAFailedRequestAtTheCeiling) {
  Text raw = "raw";
  CookieText jar = "a=1";
  std::string failure;
  HttpRequestOptions o;
  o.method = 1;
  o.postText = "fid_list=%5B901017%5D";
  o.rawHeaders = &raw;
  o.cookieJar = &jar;
  o.failure = &failure;
  EXPECT_TRUE(HttpFetch(Origin() + "/share/download?channel=chunlei&clienttype=0&web=1&uk=2017&shareid=1017"
                                   "&timestamp=1765400000&sign=s1017sig&bdstoken=null",
                        o)
                  .empty());
  EXPECT_NE(failure.find("64 MiB"), std::string::npos) << failure;
  // As for any request that failed: the caller's variables keep their values.
  EXPECT_EQ(raw, "raw");
  EXPECT_EQ(jar, "a=1");
}

TEST(HostileAnswers, RefusedConnectionSaysWhy) {
  std::string failure;
  HttpRequestOptions o;
  o.failure = &failure;
  EXPECT_TRUE(HttpFetch("http://127.0.0.1:1/x", o).empty());
  EXPECT_FALSE(failure.empty());
  // A good exchange leaves no reason behind.
  HttpFetch(Origin() + "/echo", o);
  EXPECT_EQ(failure, "");
}

}  // namespace
