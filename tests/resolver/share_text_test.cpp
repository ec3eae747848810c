#include "resolver/share_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "resolver/origin.h"

namespace {

// Rows are written against any origin the tests are built with:
// {O} the origin itself, {S} the same host over https, {A} its host[:port],
// {OTHER} the same host name with another port.
const std::string kOrigin(ServiceOrigin);
const std::string kAuthority = kOrigin.substr(kOrigin.find("://") + 3);
const std::string kHostName = kAuthority.substr(0, kAuthority.find(':'));
const std::string kOtherPort =
    kHostName + (kAuthority.ends_with(":8081") ? ":8082" : ":8081");

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return s;
}

std::string Expand(std::string s) {
  const std::pair<std::string, std::string> names[] = {
      {"{O}", kOrigin}, {"{S}", "https://" + kAuthority}, {"{A}", kAuthority},
      {"{UA}", Upper(kAuthority)}, {"{OTHER}", kOtherPort}};
  for (const auto& [name, value] : names) {
    for (std::size_t at = s.find(name); at != std::string::npos; at = s.find(name, at + value.size())) {
      s.replace(at, name.size(), value);
    }
  }
  return s;
}

struct Row {
  const char* what;
  std::string text;
  std::vector<std::pair<std::string, std::string>> shares;  // link, code
};

// UTF-8 of the invisible and space characters that chats insert.
#define ZWSP "\xE2\x80\x8B"
#define ZWNJ "\xE2\x80\x8C"
#define ZWJ "\xE2\x80\x8D"
#define BOM "\xEF\xBB\xBF"
#define NBSP "\xC2\xA0"
#define IDEOSPACE "\xE3\x80\x80"

const Row kRows[] = {
    {"the app's message",
     "链接: {S}/s/1AbCdEf 提取码: x7kq 复制这段内容后打开百度网盘手机App，操作更方便哦",
     {{"{O}/s/1AbCdEf", "x7kq"}}},
    {"the newer message: code in the link and repeated",
     "通过百度网盘分享的文件：报告.pdf\n链接：{S}/s/1AbC-d_Ef?pwd=ab12 \n提取码：ab12\n--来自百度网盘超级会员V3的分享",
     {{"{O}/s/1AbC-d_Ef", "ab12"}}},
    {"several shares, codes on the following lines",
     "{O}/s/1aaa\n提取码: 1111\n\n{S}/s/1bbb\n\n提取码：2222\r\n{O}/share/link?shareid=123&uk=456\r\n密码 3333\n",
     {{"{O}/s/1aaa", "1111"}, {"{O}/s/1bbb", "2222"}, {"{O}/share/link?shareid=123&uk=456", "3333"}}},
    {"a share without a code does not take the next one's",
     "{O}/s/1aaa\n{O}/s/1bbb 提取码: 2222",
     {{"{O}/s/1aaa", ""}, {"{O}/s/1bbb", "2222"}}},
    {"scheme and host in any letter case", "HtTpS://{UA}/s/1MiXeD", {{"{O}/s/1MiXeD", ""}}},
    {"init?surl is the short link", "{S}/share/init?surl=AbCdEf&pwd=zz99",
     {{"{O}/s/1AbCdEf", "zz99"}}},
    {"long link: parameters reordered, extras and fragment dropped",
     "{O}/share/link?uk=456&shareid=123&fid=9#list/path=%2F 提取码:ab12",
     {{"{O}/share/link?shareid=123&uk=456", "ab12"}}},
    {"long link without uk, or with a non-digit id",
     "{O}/share/link?shareid=123 {O}/share/link?shareid=12a&uk=4 提取码: ab12", {}},
    {"GBK message",
     "\xC1\xB4\xBD\xD3\xA3\xBA{O}/s/1gbk \xCC\xE1\xC8\xA1\xC2\xEB\xA3\xBAq1w2"
     "\x20\xB8\xB4\xD6\xC6\xD5\xE2\xB6\xCE\n{O}/s/1gbk2 \xC3\xDC\xC2\xEB: Z9z9",
     {{"{O}/s/1gbk", "q1w2"}, {"{O}/s/1gbk2", "Z9z9"}}},
    {"zero-width characters inside the link and around the code",
     BOM "链接:" ZWSP "{S}/s/1Ab" ZWSP "Cd" ZWJ "Ef" ZWNJ " 提取码:" ZWSP "x7kq" ZWNJ,
     {{"{O}/s/1AbCdEf", "x7kq"}}},
    {"trailing punctuation, ASCII and full-width",
     "分享给你：{O}/s/1aaa。提取码：a1a1。({O}/s/1bbb), code: b2b2. 「{O}/s/1ccc」！"
     "{O}/s/1ddd.\n{O}/s/1eee:",
     {{"{O}/s/1aaa", "a1a1"}, {"{O}/s/1bbb", "b2b2"}, {"{O}/s/1ccc", ""},
      {"{O}/s/1ddd", ""}, {"{O}/s/1eee", ""}}},
    {"no-break and full-width spaces",
     "链接" NBSP "{O}/s/1abc" NBSP "提取码" IDEOSPACE "x7kq" IDEOSPACE "复制",
     {{"{O}/s/1abc", "x7kq"}}},
    {"link and code run into the Chinese around them",
     "链接:{O}/s/1abc提取码:x7kq复制这段内容", {{"{O}/s/1abc", "x7kq"}}},
    {"links separated by a comma only", "{O}/s/1aaa,{O}/s/1bbb;{O}/s/1ccc",
     {{"{O}/s/1aaa", ""}, {"{O}/s/1bbb", ""}, {"{O}/s/1ccc", ""}}},
    {"a foreign host is ignored, and so is its code",
     "{O}/s/1mine\nhttps://pan.example.com/s/1theirs 提取码: x7kq",
     {{"{O}/s/1mine", ""}}},
    {"hosts that only resemble the origin's",
     "http://{A}.evil.example/s/1a http://evil.example/?u={O}/s/1b http://user@{A}/s/1c "
     "http://x{A}/s/1d",
     {}},
    {"the origin's host with another port", "http://{OTHER}/s/1abc 提取码: x7kq", {}},
    {"every marker, both colons",
     "{O}/s/1a 访问码：aaaa {O}/s/1b 密码:bbbb {O}/s/1c code: cccc {O}/s/1d PWD：dddd "
     "{O}/s/1e 提取密码 eeee {O}/s/1f Code : ffff {O}/s/1g pwd\tgggg",
     {{"{O}/s/1a", "aaaa"}, {"{O}/s/1b", "bbbb"}, {"{O}/s/1c", "cccc"}, {"{O}/s/1d", "dddd"},
      {"{O}/s/1e", "eeee"}, {"{O}/s/1f", "ffff"}, {"{O}/s/1g", "gggg"}}},
    {"codes that are not four letters or digits, and a marker without separator",
     "{O}/s/1a 提取码: x7kq5 {O}/s/1b 提取码: x7k {O}/s/1c 提取码x7kq {O}/s/1d passcode: abcd "
     "{O}/s/1e?pwd=abcde {O}/s/1f 提取码: ab-1",
     {{"{O}/s/1a", ""}, {"{O}/s/1b", ""}, {"{O}/s/1c", ""}, {"{O}/s/1d", ""},
      {"{O}/s/1e", ""}, {"{O}/s/1f", ""}}},
    {"a bad code is passed over for a good one before the next link",
     "{O}/s/1abc 提取码: abcde 提取码: abcd", {{"{O}/s/1abc", "abcd"}}},
    {"a code before any link is ignored", "提取码: x7kq\n{O}/s/1abc", {{"{O}/s/1abc", ""}}},
    {"duplicates: the first code given wins",
     "{O}/s/1abc\n{S}/s/1abc 提取码: x7kq\n{O}/share/init?surl=abc&pwd=zzzz\n"
     "{O}/s/1def?pwd=aaaa {O}/s/1def 提取码: bbbb",
     {{"{O}/s/1abc", "x7kq"}, {"{O}/s/1def", "aaaa"}}},
    {"service links that are no share",
     "{O}/disk/home 提取码: x7kq {O}/s/abc {O}/s/1 {O}/s/1ab.cd {O}/share/init?surl= {O}", {}},
    {"short link with a trailing slash and a fragment", "{O}/s/1abc/?pwd=q1q1 {O}/s/1def#x?pwd=q2q2",
     {{"{O}/s/1abc", "q1q1"}, {"{O}/s/1def", ""}}},
    {"no link at all", "提取码: x7kq 复制这段内容后打开百度网盘手机App", {}},
    {"empty text", "", {}},
};

std::vector<std::pair<std::string, std::string>> Found(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const ParsedShare& s : FindShares(text)) out.emplace_back(s.link, s.code);
  return out;
}

TEST(ShareText, FindsEveryShareOfTheRealWorldForms) {
  for (const Row& row : kRows) {
    std::vector<std::pair<std::string, std::string>> expected;
    for (const auto& [link, code] : row.shares) expected.emplace_back(Expand(link), code);
    EXPECT_EQ(Found(Expand(row.text)), expected) << row.what;
  }
}

// What the parser gives, it takes back unchanged: the window hands the
// canonical link to the resolver and may meet it again in the link box.
TEST(ShareText, CanonicalLinksParseToThemselves) {
  for (const Row& row : kRows) {
    for (const auto& [link, code] : row.shares) {
      const std::string canonical = Expand(link);
      EXPECT_EQ(Found(canonical + " 提取码: " + (code.empty() ? "k9k9" : code)),
                (std::vector<std::pair<std::string, std::string>>{{canonical, code.empty() ? "k9k9" : code}}))
          << canonical;
    }
  }
}

}  // namespace
