#include "text/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

struct FindCase {
  const char* text;
  const char* sought;
  std::optional<int> start;
  bool ignoreCase;
  int forward;
};

TEST(FindText, WindowsStartsAndCase) {
  const FindCase cases[] = {
      {"abcabc", "c", std::nullopt, false, 3},
      {"abcabc", "c", 4, false, 6},
      {"abc", "c", 9, false, -1},
      {"abc", "c", 0, false, 3},
      {"abc", "c", -5, false, 3},
      {"abc", "c", 3, false, 3},
      {"abc", "", 3, false, 1},  // empty sought: 1 for any non-empty window
      {"abc", "", 4, false, -1},
      {"", "", std::nullopt, false, -1},
      {"", "a", std::nullopt, false, -1},
      {"ab", "abc", std::nullopt, false, -1},
      {"Content-Type: x", "content-type:", std::nullopt, true, 1},
      {"Content-Type: x", "content-type:", std::nullopt, false, -1},
      {"a[b{", "A{B[", std::nullopt, true, -1},  // only A-Z/a-z fold, not [ and {
      {"x@Y", "X`y", std::nullopt, true, -1},    // nor @ and `
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(c.text, c.sought, c.start, c.ignoreCase), c.forward)
        << c.text << " / " << c.sought;
  }
}

TEST(FindText, DoubleByteRule) {
  // UTF-8 for one Chinese character, then "A": the walk pairs AD with the first quote.
  const std::string utf8 = "\xE4\xB8\xAD\"A\"";
  EXPECT_EQ(FindText(utf8, "\""), 6);
  // The second byte of a two-byte character never starts a match...
  EXPECT_EQ(FindText("\xB0" "AB", "A"), -1);
  EXPECT_EQ(FindText("\xB0" "AB", "B"), 3);
  // ...unless the window starts there: the window's first byte is a character start.
  EXPECT_EQ(FindText("\xB0" "AB", "A", 2), 2);
  // A sought text may span characters.
  EXPECT_EQ(FindText("x\xD6\xD0\xCE\xC4y", "\xD0\xCE"), -1);
  EXPECT_EQ(FindText("x\xD6\xD0\xCE\xC4y", "\xD6\xD0\xCE"), 2);
  // Folding covers second bytes too; ToLower leaves them alone.
  EXPECT_EQ(FindText("\x81" "A", "\x81" "a", std::nullopt, true), 1);
  EXPECT_EQ(ToLower("\x81" "AB"), "\x81" "Ab");
  // A lead byte at the very end pairs with nothing and hides nothing.
  EXPECT_EQ(FindText("ab\xB0", "\xB0"), 3);
}

TEST(FindTextReverse, WindowEndsBeforeStart) {
  const FindCase cases[] = {
      {"a.b.c", ".", std::nullopt, false, 4}, {"a.b.c", ".", 4, false, 2},
      {"a.b.c", ".", 5, false, 4},            {"a.b.c", ".", 2, false, -1},
      {"a.b.c", ".", 1, false, -1},           {"a.b.c", ".", 0, false, -1},
      {"a.b.c", ".", -3, false, -1},          {"a.b.", ".", 4, false, 2},
      {"a.b.c", ".", 99, false, 4},           {"abc", "", 2, false, 1},
      {"", "", std::nullopt, false, -1},      {"aaaa", "aa", std::nullopt, false, 3},
      {"XaXa", "xA", std::nullopt, true, 3},  {"XaXa", "xA", std::nullopt, false, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindTextReverse(c.text, c.sought, c.start, c.ignoreCase), c.forward)
        << c.text << " / " << c.sought << " / " << c.start.value_or(-99);
  }
  // The walk starts at the first byte, so a second byte is never a match.
  EXPECT_EQ(FindTextReverse("a\xB0" "a", "a"), 1);
}

struct ReplaceCase {
  const char* text;
  const char* sought;
  const char* replacement;
  bool caseSensitive;
  const char* expected;
};

TEST(ReplaceText, RulesAndOppositeFlag) {
  const ReplaceCase cases[] = {
      {"a SET-COOKIE b set-cookie", "Set-Cookie", "Set-Cookie", false, "a Set-Cookie b Set-Cookie"},
      {"a SET-COOKIE b set-cookie", "Set-Cookie", "Set-Cookie", true, "a SET-COOKIE b set-cookie"},
      {"Set-Cookie: a=1", "Set-Cookie:", "", false, " a=1"},
      {"aaa", "aa", "b", true, "ba"},  // no overlap
      {"a\\/b\\/c", "\\", "", true, "a/b/c"},
      {"xx", "x", "xx", true, "xxxx"},  // the replacement is never searched again
      {"", "a", "b", true, ""},
      {"abc", "", "z", true, "abc"},
      {"\xB0" "aa", "a", "-", true, "\xB0" "a-"},  // the second byte of \xB0a is skipped
      // A lead byte at the very end is dropped when the sought text is one byte...
      {"ab\xB0", "a", "A", true, "Ab"},
      {"b\xB0", "x", "y", true, "b"},
      // ...but not when the sought text is longer, nor when it is the last byte of a pair.
      {"ab\xB0", "ab", "X", true, "X\xB0"},
      {"a\xB0\xB1", "q", "y", true, "a\xB0\xB1"},
      {"a\xB0", "\xB0", "#", true, "a#"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceText(c.text, c.sought, c.replacement, c.caseSensitive), c.expected) << c.text;
  }
}

TEST(SplitText, Consequences) {
  const struct {
    const char* text;
    const char* delimiter;
    TextList expected;
  } cases[] = {
      {"a\r\n\r\nb\r\n", "\r\n", {"a", "", "b"}},
      {",a", ",", {"", "a"}},
      {"", ",", {}},
      {",,", ",", {"", ""}},
      {",", ",", {""}},
      {"abc", "", {"abc"}},
      {"a;B;b", "b", {"a;B;"}},
      {"\xB0;x;y", ";", {"\xB0;x", "y"}},  // ";" inside a two-byte character does not split
      {"a; b; c", "; ", {"a", "b", "c"}},
  };
  for (const auto& c : cases) {
    const TextList got = SplitText(c.text, c.delimiter);
    EXPECT_EQ(got, c.expected) << c.text;
    EXPECT_EQ(ListCount(got), static_cast<int>(c.expected.size()));
  }
}

TEST(Spaces, TrimAndRemove) {
  const std::string fw = "\xA1\xA1";  // the full-width space
  const struct {
    std::string text, trimmed, withoutSpaces;
  } cases[] = {
      {" \tab  ", "\tab", "\tab"},
      {fw + "x y" + fw + " ", "x y", "xy"},
      {"   ", "", ""},
      {fw + fw, "", ""},
      {"", "", ""},
      {"a\r\n", "a\r\n", "a\r\n"},
      {"a \xB0", "a ", "a"},        // a lone lead byte at the end goes, the space before it stays
      {"\xA1 x", "\xA1 x", "\xA1 x"},  // A1 and the space after it form one character
      {"x\xA1\xA1\xA1", "x\xA1\xA1", "x"},  // the third A1 is a lone lead byte: cut, the space before it stays
      {"\xB0\x20y", "\xB0\x20y", "\xB0\x20y"},  // 0x20 as a second byte is no space
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrimText(c.text), c.trimmed) << c.text;
    EXPECT_EQ(RemoveAllSpaces(c.text), c.withoutSpaces) << c.text;
  }
}

TEST(ToLower, OnlyAsciiCapitals) {
  EXPECT_EQ(ToLower("HTTPS://Pan.BAIDU.com/S/AbC"), "https://pan.baidu.com/s/abc");
  EXPECT_EQ(ToLower("@[`{\xC1\xC2"), "@[`{\xC1\xC2");
  EXPECT_EQ(ToLower("A\xB0"), "a\xB0");
}

TEST(ParseInt, FoldsSignsAndWraps) {
  const struct {
    std::string text;
    int value;
  } cases[] = {
      {" -12x", -12},
      {"", 0},
      {"x1", 0},
      {"\xA3\xB1\xA3\xB2", 12},       // full-width one and two
      {"\xA3\xAD\xA3\xB3", -3},       // full-width minus
      {"\xA1\xA1" "7", 7},            // full-width space is skipped
      {"\t\n\v\f\r +8080", 8080},
      {"+-1", 0},
      {"4294967297", 1},              // wraps modulo 2^32
      {"2147483648", INT_MIN},
      {"-2147483648", INT_MIN},
      {"12\xB0", 12},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseInt(c.text), c.value) << c.text;
}

TEST(Slicing, OutOfRangeGivesEmpty) {
  EXPECT_EQ(TextMid("abc", 3, 5), "c");
  EXPECT_EQ(TextMid("abc", 4, 1), "");
  EXPECT_EQ(TextMid("abc", 0, 2), "");
  EXPECT_EQ(TextMid("abc", 2, 0), "");
  EXPECT_EQ(TextMid("abc", 2, INT_MAX), "bc");
  EXPECT_EQ(TextLeft("abc", -1), "");
  EXPECT_EQ(TextLeft("abc", 2), "ab");
  EXPECT_EQ(TextLeft("abc", 9), "abc");
  EXPECT_EQ(TextRight("abc", 9), "abc");
  EXPECT_EQ(TextRight("abc", 0), "");
  EXPECT_EQ(TextRight("abc", 1), "c");
  EXPECT_EQ(ConcatText(Text("a"), "", std::string_view("bc")), "abc");
}

TEST(CompareText, UnsignedBytesAndPrefixes) {
  EXPECT_EQ(CompareText("abc", "abc"), 0);
  EXPECT_EQ(CompareText("ab", "abc"), -1);
  EXPECT_EQ(CompareText("abd", "abc"), 1);
  EXPECT_EQ(CompareText("a", "\xB0"), -1);  // 0x80-0xFF compare above ASCII
  EXPECT_EQ(CompareText("", ""), 0);
}

TEST(Conversions, CharsBlanksAndBytes) {
  EXPECT_EQ(CharFromCode(0), "");
  EXPECT_EQ(CharFromCode(65), "A");
  EXPECT_EQ(CharFromCode(255), "\xFF");
  EXPECT_EQ(CharFromCode(256), "");
  EXPECT_EQ(BlankText(0), "");
  EXPECT_EQ(BlankText(3), "   ");
  EXPECT_EQ(BytesToText(Bytes{0x61, 0x00, 0x62}), "a");
  EXPECT_EQ(BytesToText(Bytes{}), "");
  EXPECT_EQ(TextToBytes("ab").size(), 2u);
  EXPECT_EQ(TextToBytes(Bytes{0, 1, 0}), (Bytes{0, 1, 0}));
  EXPECT_TRUE(BytesEqual(Bytes{}, Bytes{}));
  EXPECT_FALSE(BytesEqual(Bytes{1}, Bytes{1, 0}));
  EXPECT_EQ(BytesLeft(Bytes{1, 2, 3}, 2), (Bytes{1, 2}));
  EXPECT_EQ(BytesLeft(Bytes{1, 2, 3}, 0), Bytes{});
  EXPECT_EQ(BytesLeft(Bytes{1, 2, 3}, 7), (Bytes{1, 2, 3}));
  EXPECT_EQ(BlankBytes(-1), Bytes{});
  EXPECT_EQ(BlankBytes(16), Bytes(16, 0));
  EXPECT_EQ(ConcatBytes(Bytes{1}, Bytes{}, Bytes{0, 2}), (Bytes{1, 0, 2}));
  EXPECT_EQ(BitOr(0x80000000, 0x10, 0x4000), static_cast<int>(0x80004010));
  EXPECT_EQ(PlatformString(Text()), nullptr);
  EXPECT_STREQ(PlatformString(Text("a")), "a");
  EXPECT_EQ(PlatformBytes(Bytes{}), nullptr);
}

TEST(UrlDecode, EscapesPlusAndIncompleteTails) {
  const struct {
    std::string text, expected;
  } cases[] = {
      {"a%41+%2", "aA+"},
      {"%", ""},
      {"a%4", "a"},
      {"%zz%41", "%zzA"},  // not an escape: kept literally
      {"%4g", "%4g"},
      {"%e4%B8%aD", "\xE4\xB8\xAD"},
      {"x%00y", "x"},  // the result ends at a decoded zero byte
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(UrlDecode(c.text, false), c.expected) << c.text;
  EXPECT_EQ(UrlDecode("%E4%B8%AD", true), "\xD6\xD0");
}

TEST(WriteToMemory, CountRules) {
  const Bytes data{1, 2, 3};
  unsigned char buffer[4] = {9, 9, 9, 9};
  WriteToMemory(data, buffer, 2);
  EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{1, 2, 9, 9}));
  WriteToMemory(data, buffer, 7);  // out of range: the whole value
  EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{1, 2, 3, 9}));
  buffer[0] = 9;
  WriteToMemory(data, buffer, 0);
  EXPECT_EQ(buffer[0], 9);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(WriteBytesToFile, CreatesReplacesAndRefusesEmptyPath) {
  EXPECT_FALSE(WriteBytesToFile("", Bytes{1}));
  const std::string path = testing::TempDir() + "netdisk_write_test.bin";
  ASSERT_TRUE(WriteBytesToFile(path, Bytes(1000, 'x')));
  ASSERT_TRUE(WriteBytesToFile(path, Bytes{'a', 0}, Bytes{}, Bytes{'b'}));
  EXPECT_EQ(ReadFile(path), std::string("a\0b", 3));
  std::remove(path.c_str());
  EXPECT_FALSE(WriteBytesToFile(testing::TempDir() + "no/such/dir/f", Bytes{1}));
}

}  // namespace
