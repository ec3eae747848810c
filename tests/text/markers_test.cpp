#include "text/markers.h"

#include <gtest/gtest.h>

namespace {

TEST(TextBetween, FirstLeftThenNextRight) {
  const struct {
    std::string text, left, right, expected;
  } cases[] = {
      {"k=[v] z", "k=[", "]", "v"},
      {"x=\"v\"", "x=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", "v"},  // "#引号" stands for a quote
      {"a=1;a=2]", "a=", "]", "1;a=2"},
      {"[v] x=[", "x=[", "]", ""},
      {"k=[]", "k=[", "]", ""},
      {"k=", "k=", "]", ""},
      {"abc", "", "c", "ab"},
      {"abc", "a", "", ""},
      {"Location: http://h/p\r\nServer: x", "Location:", "\r\n", " http://h/p"},
      {"{\"dlink\":\"http:\\/\\/h\\/f\"}", "dlink\":\"", "\"", "http:\\/\\/h\\/f"},
      // The walk pairs the last UTF-8 byte with the quote: the value runs to the next quote.
      {"n=\"\xE4\xB8\xAD\"x\"", "n=\"", "\"", "\xE4\xB8\xAD\"x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.left, c.right), c.expected) << c.text;
  }
  EXPECT_EQ(TextBetween("LOCATION: x\r\n", "Location:", "\r\n", std::nullopt, true), " x");
  EXPECT_EQ(TextBetween("LOCATION: x\r\n", "Location:", "\r\n"), "");
  EXPECT_EQ(TextBetween("a=1 a=2;", "a=", ";", 3), "2");
}

TEST(HeaderValue, AfterFirstColonTrimmed) {
  const struct {
    std::string text, expected;
  } cases[] = {
      {"User-Agent:  x y ", "x y"},
      {"abc", ""},
      {"a:b:c", "b:c"},
      {"A: x\r\nB: y", "x\r\nB: y"},
      {"a:", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(HeaderValue(c.text), c.expected) << c.text;
}

TEST(TextAfterLast, MarkerEndingOnLastByteIsSkipped) {
  const struct {
    std::string text, marker;
    std::optional<int> start;
    std::string expected;
  } cases[] = {
      {"x?a=1", "?", std::nullopt, "a=1"},
      {"a?b?", "?", std::nullopt, "b?"},
      {"x?", "?", std::nullopt, ""},
      {"abc", "?", std::nullopt, ""},
      {"a?b?c", "?", 3, "b?c"},
      {"http://h/genimage?njGxyz", "?", 25, "njGxyz"},
      {"http://h/genimage", "?", std::nullopt, ""},
      {"", "?", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextAfterLast(c.text, c.marker, c.start), c.expected) << c.text;
  }
}

}  // namespace
