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
      {"X-Set-Cookie-Info: a;\r\nX-Set-Cookie-Info: b;\r\n", "; "},
      {"X-Set-Cookie: ;\r\n", ""},
      // Without a ";" the line minus its "Set-Cookie:" is the value, whatever it holds.
      {"HTTP/1.1 200 OK\r\nX-Set-Cookie-Info: none\r\n", "X-Set-Cookie-Info: none"},
      // ...and the marker is removed in any letter case, wherever it stands.
      {"Set-Cookie: a=SET-COOKIE:1\r\n", "a=1"},
      // Lines end at CR LF only.
      {"Set-Cookie: a=1\nSet-Cookie: b=2", "a=1\n b=2"},
      {"HTTP/1.1 200 OK\r\nSet-Cookie:  s=x y ; HttpOnly\r\n", "s=x y"},
      {"Set-Cookie:\xA1\xA1k=v;x\r\n", "k=v"},
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
      {"a=1; b=2", "", "a=1; b=2", ""},
      {"a=1; b=2", "a=deleted", "b=2", "a=deleted"},
      {"a=deleted; b=1", "", "b=1", ""},
      // Spaces go before the "=deleted" test.
      {"a=1", "a=de leted", "", "a=deleted"},
      {"", "a=DELETED", "a=DELETED", "a=DELETED"},
      {"a=1", "x=1; x=1; x=2", "x=1; x=2; a=1", "x=1;x=1;x=2"},
      {"a=1; a=2", "", "a=1", ""},
      {"=1; a=1", "=2", "=2; a=1", "=2"},
      {"", "s=x y", "s=xy", "s=xy"},
      {"q=1", "w=\xA1\xA1" "2", "w=2; q=1", "w=2"},
      {"a=\xA1\xA1" "1; b=2", "", "a=1; b=2", ""},
      // An empty item stands once, as an empty place; at the end it disappears.
      {"", "a=1;;b=2", "a=1; ; b=2", "a=1;;b=2"},
      {"c=3", "a=1;;b=2;;", "a=1; ; b=2; c=3", "a=1;;b=2;;"},
      {"", ";;a=1", "; a=1", ";;a=1"},
      {"", "a=1;;", "a=1", "a=1;;"},
      {"a=1;;b=2", "c=3", "c=3; a=1; ; b=2", "c=3"},
      // A ";" after a lead byte is the character's second byte, not a separator.
      {"b=2", "a=\xB0;b=1", "a=\xB0;b=1; b=2", "a=\xB0;b=1"},
      {"", "a=1\xB0", "a=1", "a=1"},
  };
  for (const auto& c : cases) {
    CookieText jar = c.jar;
    CookieText fresh = c.newCookies;
    const CookieText copy = MergeCookies(jar, fresh);
    EXPECT_EQ(jar, c.mergedJar) << c.jar << " + " << c.newCookies;
    EXPECT_EQ(copy, jar) << c.jar << " + " << c.newCookies;
    EXPECT_EQ(fresh, c.strippedNew) << c.jar << " + " << c.newCookies;
  }
}

TEST(CookieName, BeforeFirstEqualsTrimmed) {
  const struct {
    std::string pair, name;
  } cases[] = {
      {" a =1", "a"}, {"flag", "flag"}, {"k=v=w", "k"}, {"=v", ""}, {"", ""}, {"\xA1\xA1n\xA1\xA1=1", "n"},
  };
  for (const auto& c : cases) EXPECT_EQ(CookieName(c.pair), c.name) << c.pair;
}

TEST(HasCookieName, ComparesNamesNotPrefixes) {
  const struct {
    TextList list;
    std::string name;
    bool expected;
  } cases[] = {
      {{"x=1", "b=2"}, "b", true},
      {{"x=1", " b =2"}, "b", true},
      {{"x=1", "bb=2"}, "b", false},
      {{"x=b"}, "b", false},
      {{}, "", false},
      {{"=1"}, "", true},
  };
  for (const auto& c : cases) EXPECT_EQ(HasCookieName(c.list, c.name), c.expected) << c.name;
}

TEST(CookieLists, RemoveDuplicateItemsKeepsFirstOccurrences) {
  const struct {
    std::string text, separator, expected;
  } cases[] = {
      {"p; q; p", "; ", "p; q"},
      {"", "; ", ""},
      {"p", "; ", "p"},
      {"p; ", "; ", "p"},
      {"; p; ; p", "; ", "; p"},
      {"a,b,a,c", ",", "a,b,c"},
      // "\xB0;" is one character, so the first "; " is not a separator.
      {"\xB0; x; \xB0; x", "; ", "\xB0; x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RemoveDuplicateItems(c.text, c.separator), c.expected) << c.text;
  }
}

TEST(CookieLists, IndexInListFindsFirstEqualElement) {
  const TextList list = {"x", "y", "x"};
  const struct {
    std::string text;
    int expected;
  } cases[] = {{"x", 1}, {"y", 2}, {"z", -1}, {"X", -1}, {"", -1}};
  for (const auto& c : cases) EXPECT_EQ(IndexInList(list, c.text), c.expected) << c.text;
  EXPECT_EQ(IndexInList({}, ""), -1);
  EXPECT_EQ(IndexInList({"a", ""}, ""), 2);
}

}  // namespace
