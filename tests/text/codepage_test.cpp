#include "text/codepage.h"

#include <gtest/gtest.h>

#include "text/text.h"

namespace {

struct Reference {
  const char* percentEncodedUtf8;
  std::string gbk;
};

// Percent-encoded UTF-8 samples and their GBK bytes as Python's codec gives them.
const Reference kReferences[] = {
#include "gbk_reference.inc"
};

TEST(UrlDecode, Utf8ToCodePage936MatchesIndependentCodec) {
  for (const auto& r : kReferences) {
    EXPECT_EQ(UrlDecode(r.percentEncodedUtf8, true), r.gbk) << r.percentEncodedUtf8;
  }
}

TEST(UrlDecode, InvalidUtf8BecomesQuestionMarks) {
  // Each bad sequence is one unknown character; the ASCII around it survives.
  EXPECT_EQ(UrlDecode("a%FF%FEb", true), "a??b");
  EXPECT_EQ(UrlDecode("%E4%B8", true), "?");
  EXPECT_EQ(UrlDecode("%C0%AF", true), "??");  // overlong forms are refused
  EXPECT_EQ(UrlDecode("%ED%A0%80", true), "?");  // an encoded surrogate is no character
}

TEST(UrlDecode, EuroSignIsCodePage936Byte80) {
  // Code page 936 extends GBK with the euro sign at 0x80; Python's GBK codec lacks it.
  EXPECT_EQ(UrlDecode("%E2%82%AC", true), "\x80");
}

TEST(CodePage, RoundTripsThroughUtf16) {
  for (const auto& r : kReferences) {
    const std::u16string wide = Cp936ToUtf16(r.gbk);
    EXPECT_EQ(Utf16ToCp936(wide), r.gbk) << r.percentEncodedUtf8;
  }
  EXPECT_EQ(Cp936ToUtf16("\xD6\xD0"), u"\u4E2D");
  EXPECT_EQ(Utf16ToCp936(u""), "");
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"\u4E2D\U0001F600"), "\xE4\xB8\xAD\xF0\x9F\x98\x80");
}

}  // namespace
