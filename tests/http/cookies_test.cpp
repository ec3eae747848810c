#include "http/cookies.h"

#include <gtest/gtest.h>

namespace {

TEST(CollectSetCookies, PairsOfSetCookieLines) {
  const struct {
    std::string raw, expected;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nSet-Cookie: A=1; path=/\r\nSet-Cookie: B=2\r\n\r\n", "A=1; B=2"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", ""},
      {"", ""},
      // Only the written form counts; the exchange rewrites other cases first.
      {"HTTP/1.1 200 OK\r\nset-cookie: a=1\r\nSet-Cookie: b=2\r\n", "b=2"},
      // A line that names Set-Cookie without the colon still gives an empty item.
      {"HTTP/1.1 200 OK\r\nX-Set-Cookie-Info: a; b\r\nSet-Cookie: c=3;\r\n", "; c=3"},
      // Without a ";" the line minus its "Set-Cookie:" is the value, whatever it holds.
      {"HTTP/1.1 200 OK\r\nX-Set-Cookie-Info: none\r\n", "X-Set-Cookie-Info: none"},
      {"HTTP/1.1 200 OK\r\nSet-Cookie:  s=x y ; HttpOnly\r\n", "s=x y"},
      {"HTTP/1.1 200 OK\r\nSet-Cookie: OLD=deleted; expires=Thu, 01-Jan-1970 00:00:01 GMT\r\n",
       "OLD=deleted"},
  };
  for (const auto& c : cases) EXPECT_EQ(CollectSetCookies(c.raw), c.expected) << c.raw;
}

TEST(MergeCookies, Rules) {
  const struct {
    std::string jar, newCookies, mergedJar, strippedNew;
  } cases[] = {
      {"", "", "", ""},
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1", "b=3;c=4"},
      {"a=1; b=2", "a=deleted", "b=2", "a=deleted"},
      {"a=1", "x=1; x=1; x=2", "x=1; x=2; a=1", "x=1;x=1;x=2"},
      {"a=1; a=2", "", "a=1", ""},
      {"", "s=x y", "s=xy", "s=xy"},
      {"", "a=DELETED", "a=DELETED", "a=DELETED"},
      {"q=1", "w=\xA1\xA1" "2", "w=2; q=1", "w=2"},
      // An empty item of the answer stands once, as an empty place.
      {"c=3", "a=1;;b=2;;", "a=1; ; b=2; c=3", "a=1;;b=2;;"},
      {"a=1; b=2", "", "a=1; b=2", ""},
  };
  for (const auto& c : cases) {
    CookieText jar = c.jar;
    CookieText fresh = c.newCookies;
    const CookieText copy = MergeCookies(jar, fresh);
    EXPECT_EQ(jar, c.mergedJar) << c.jar << " + " << c.newCookies;
    EXPECT_EQ(copy, jar);
    EXPECT_EQ(fresh, c.strippedNew);
  }
}

TEST(CookieLists, NamesDuplicatesAndIndexes) {
  EXPECT_EQ(CookieName(" a =1"), "a");
  EXPECT_EQ(CookieName("flag"), "flag");
  EXPECT_EQ(CookieName("k=v=w"), "k");
  EXPECT_TRUE(HasCookieName({"x=1", "b=2"}, "b"));
  EXPECT_FALSE(HasCookieName({"x=1", "bb=2"}, "b"));
  EXPECT_EQ(RemoveDuplicateItems("p; q; p", "; "), "p; q");
  EXPECT_EQ(RemoveDuplicateItems("", "; "), "");
  EXPECT_EQ(RemoveDuplicateItems("p", "; "), "p");
  EXPECT_EQ(IndexInList({"x", "y", "x"}, "x"), 1);
  EXPECT_EQ(IndexInList({"x", "y", "x"}, "y"), 2);
  EXPECT_EQ(IndexInList({"x", "y", "x"}, "z"), -1);
  EXPECT_EQ(IndexInList({}, ""), -1);
}

}  // namespace
