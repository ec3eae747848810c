#include "resolver/share_text.h"

#include <optional>
#include <string>
#include <unordered_map>

#include "resolver/origin.h"
#include "text/codepage.h"

namespace {

// The origin's host, with its port when it names one, as written: a pasted
// link must name exactly this, letter case aside.
constexpr std::string_view kOriginAuthority = ServiceOrigin.substr(ServiceOrigin.find("://") + 3);

// Extraction codes are always four letters or digits.
constexpr std::size_t kCodeLength = 4;

constexpr std::u16string_view kShortPath = u"/s/1";
constexpr std::u16string_view kLongPath = u"/share/link?";
constexpr std::u16string_view kInitPath = u"/share/init?";

// Markers that put a code after a link. The Chinese ones may stand right after
// any character; the ASCII ones only where a word begins.
constexpr std::u16string_view kChineseMarkers[] = {u"提取码", u"提取密码", u"访问码", u"密码"};
constexpr std::u16string_view kAsciiMarkers[] = {u"code", u"pwd"};
constexpr char16_t kFullWidthColon = 0xFF1A;

bool IsAsciiAlnum(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsIdChar(char16_t c) { return IsAsciiAlnum(c) || c == u'-' || c == u'_'; }
char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

// Zero-width characters that chat programs slip into texts; skipped wherever they stand.
bool IsZeroWidth(char16_t c) { return c == 0x200B || c == 0x200C || c == 0x200D || c == 0xFEFF; }
// Spaces between a marker and its code: ASCII, tab, no-break and full-width.
bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == 0x00A0 || c == 0x3000; }

// The characters a pasted link may hold. Everything else (spaces, Chinese
// text, full-width punctuation, quotes, brackets, ",;!") ends it, so a link
// written right before its marker or before the next link stays apart.
bool IsLinkChar(char16_t c) {
  return IsAsciiAlnum(c) || std::u16string_view(u"-._~:/?#@=&%+").find(c) != std::u16string_view::npos;
}
// Link characters that end a sentence rather than the link.
bool IsTrailing(char16_t c) { return c == u'.' || c == u':' || c == u'~'; }

bool AllOf(std::u16string_view s, bool (*test)(char16_t)) {
  if (s.empty()) return false;
  for (char16_t c : s) {
    if (!test(c)) return false;
  }
  return true;
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

bool EqualIgnoringCase(std::u16string_view a, std::string_view ascii) {
  if (a.size() != ascii.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(static_cast<unsigned char>(ascii[i]))) return false;
  }
  return true;
}

// Only called on runs of link characters, which are ASCII.
Text Narrow(std::u16string_view s) {
  Text out;
  out.reserve(s.size());
  for (char16_t c : s) out.push_back(static_cast<char>(c));
  return out;
}

// UTF-8 when the bytes survive a round trip through UTF-16 unchanged (any
// invalid sequence comes back as U+FFFD), code page 936 otherwise.
std::u16string Decode(std::string_view text) {
  std::u16string wide = Utf8ToUtf16(text);
  if (Utf16ToUtf8(wide) != text) wide = Cp936ToUtf16(text);
  std::erase_if(wide, IsZeroWidth);
  return wide;
}

// The length of "http://" or "https://" (any letter case) at `at`, or 0.
std::size_t SchemeLength(std::u16string_view s, std::size_t at) {
  for (std::u16string_view scheme : {std::u16string_view(u"http://"), std::u16string_view(u"https://")}) {
    if (EqualIgnoringCase(s.substr(at, scheme.size()), scheme)) return scheme.size();
  }
  return 0;
}

// The value of the first parameter `name` in a query ("a=1&b=2"), if any.
std::optional<std::u16string_view> Param(std::u16string_view query, std::u16string_view name) {
  while (!query.empty()) {
    const std::size_t amp = query.find(u'&');
    const std::u16string_view item = query.substr(0, amp);
    if (item.size() > name.size() && item.substr(0, name.size()) == name && item[name.size()] == u'=') {
      return item.substr(name.size() + 1);
    }
    if (amp == std::u16string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return std::nullopt;
}

bool IsCode(std::u16string_view s) { return s.size() == kCodeLength && AllOf(s, IsAsciiAlnum); }

struct LinkFound {
  std::size_t end = 0;  // where the scan goes on
  Text link;            // the canonical link; "" when this is no share of the service
  Text code;            // from the link's "pwd=" parameter
};

// Reads the http(s) link that begins at `at` with a scheme of `schemeLength` characters.
LinkFound ReadLink(std::u16string_view s, std::size_t at, std::size_t schemeLength) {
  std::size_t end = at + schemeLength;
  while (end < s.size() && IsLinkChar(s[end])) ++end;
  LinkFound found;
  found.end = end;
  while (end > at + schemeLength && IsTrailing(s[end - 1])) --end;
  const std::u16string_view rest = s.substr(at + schemeLength, end - at - schemeLength);

  const std::size_t pathStart = rest.find_first_of(u"/?#");
  if (pathStart == std::u16string_view::npos || !EqualIgnoringCase(rest.substr(0, pathStart), kOriginAuthority)) {
    return found;
  }
  std::u16string_view path = rest.substr(pathStart);
  std::u16string_view query;
  Text canonical;
  if (path.starts_with(kShortPath)) {
    path.remove_prefix(kShortPath.size());
    std::size_t idLength = 0;
    while (idLength < path.size() && IsIdChar(path[idLength])) ++idLength;
    const std::u16string_view after = path.substr(idLength);
    if (idLength == 0 || !(after.empty() || after[0] == u'?' || after[0] == u'#' || after[0] == u'/')) {
      return found;
    }
    const std::u16string_view beforeFragment = after.substr(0, after.find(u'#'));
    const std::size_t mark = beforeFragment.find(u'?');
    if (mark != std::u16string_view::npos) query = beforeFragment.substr(mark + 1);
    canonical = ConcatText(ServiceOrigin, "/s/1", Narrow(path.substr(0, idLength)));
  } else if (path.starts_with(kLongPath) || path.starts_with(kInitPath)) {
    const bool init = path.starts_with(kInitPath);
    query = path.substr((init ? kInitPath : kLongPath).size());
    query = query.substr(0, query.find(u'#'));
    if (init) {
      const auto surl = Param(query, u"surl");
      if (!surl || !AllOf(*surl, IsIdChar)) return found;
      canonical = ConcatText(ServiceOrigin, "/s/1", Narrow(*surl));
    } else {
      const auto shareId = Param(query, u"shareid");
      const auto uk = Param(query, u"uk");
      if (!shareId || !uk || !AllOf(*shareId, IsDigit) || !AllOf(*uk, IsDigit)) return found;
      canonical = ConcatText(ServiceOrigin, "/share/link?shareid=", Narrow(*shareId), "&uk=", Narrow(*uk));
    }
  } else {
    return found;
  }
  if (const auto pwd = Param(query, u"pwd"); pwd && IsCode(*pwd)) found.code = Narrow(*pwd);
  found.link = std::move(canonical);
  return found;
}

// Where the code begins after a marker and its colon or spaces at `at`, or
// npos when no marker starts there.
std::size_t AfterMarker(std::u16string_view s, std::size_t at) {
  std::size_t after = std::u16string_view::npos;
  for (std::u16string_view marker : kChineseMarkers) {
    if (s.substr(at, marker.size()) == marker) after = at + marker.size();
  }
  if (after == std::u16string_view::npos && (at == 0 || !IsAsciiAlnum(s[at - 1]))) {
    for (std::u16string_view marker : kAsciiMarkers) {
      if (EqualIgnoringCase(s.substr(at, marker.size()), marker)) after = at + marker.size();
    }
  }
  if (after == std::u16string_view::npos) return after;
  std::size_t p = after;
  while (p < s.size() && IsSpace(s[p])) ++p;
  if (p < s.size() && (s[p] == u':' || s[p] == kFullWidthColon)) {
    ++p;
    while (p < s.size() && IsSpace(s[p])) ++p;
  }
  return p == after ? std::u16string_view::npos : p;
}

// The code at `at`: four letters or digits that no fifth one follows.
std::optional<Text> CodeAt(std::u16string_view s, std::size_t at) {
  const std::u16string_view code = s.substr(at, kCodeLength);
  if (!IsCode(code)) return std::nullopt;
  if (at + kCodeLength < s.size() && IsAsciiAlnum(s[at + kCodeLength])) return std::nullopt;
  return Narrow(code);
}

}  // namespace

std::vector<ParsedShare> FindShares(std::string_view text) {
  const std::u16string wide = Decode(text);
  const std::u16string_view s = wide;
  std::vector<ParsedShare> shares;
  std::unordered_map<Text, std::size_t> seen;  // canonical link -> its place in `shares`
  // The place in `shares` of the share whose last occurrence gave no code: a
  // marker's code goes to it. kNobody when no share waits.
  constexpr std::size_t kNobody = static_cast<std::size_t>(-1);
  std::size_t waiting = kNobody;
  for (std::size_t i = 0; i < s.size();) {
    if (const std::size_t scheme = SchemeLength(s, i)) {
      LinkFound found = ReadLink(s, i, scheme);
      i = found.end;
      waiting = kNobody;  // any link, even a foreign one, ends the place of the previous share's code
      if (found.link.empty()) continue;
      const auto [entry, added] = seen.try_emplace(found.link, shares.size());
      if (added) shares.push_back({std::move(found.link), {}});
      ParsedShare& share = shares[entry->second];
      if (found.code.empty()) {
        waiting = entry->second;
      } else if (share.code.empty()) {
        share.code = std::move(found.code);
      }
      continue;
    }
    if (waiting != kNobody) {
      const std::size_t codeStart = AfterMarker(s, i);
      if (codeStart != std::u16string_view::npos) {
        if (auto code = CodeAt(s, codeStart)) {
          if (shares[waiting].code.empty()) shares[waiting].code = std::move(*code);
          waiting = kNobody;
          i = codeStart + kCodeLength;
        } else {
          i = codeStart;
        }
        continue;
      }
    }
    ++i;
  }
  return shares;
}
