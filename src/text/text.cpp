#include "text/text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/codepage.h"
#include "text/scan.h"

namespace {

constexpr unsigned char kFullWidthLead = 0xA1;  // A1 A1 is the full-width space.
constexpr unsigned char kFullWidthFormLead = 0xA3;

unsigned char Byte(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

bool IsFullWidthSpace(std::string_view s, std::size_t i) {
  return Byte(s, i) == kFullWidthLead && i + 1 < s.size() && Byte(s, i + 1) == kFullWidthLead;
}

// Length of the space character at i (1 or 2 bytes), or 0 when none starts there.
std::size_t SpaceLength(std::string_view s, std::size_t i) {
  if (s[i] == ' ') return 1;
  return IsFullWidthSpace(s, i) ? 2 : 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

Text UpToZero(std::string_view bytes) { return Text(bytes.substr(0, bytes.find('\0'))); }

}  // namespace

int TextLength(std::string_view text) { return static_cast<int>(text.size()); }

int CompareText(std::string_view a, std::string_view b) {
  const int c = a.compare(b);  // char_traits compares as unsigned bytes
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

Text TextLeft(std::string_view text, int count) {
  if (count <= 0) return {};
  return Text(text.substr(0, static_cast<std::size_t>(count)));
}

Text TextRight(std::string_view text, int count) {
  if (count <= 0) return {};
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(count));
  return Text(text.substr(text.size() - n));
}

Text TextMid(std::string_view text, int start, int count) {
  if (start < 1 || static_cast<std::size_t>(start) > text.size() || count <= 0) return {};
  return Text(text.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(count)));
}

int FindText(std::string_view text, std::string_view sought, std::optional<int> start,
             bool ignoreCase) {
  std::size_t from = 0;
  if (start && *start > 1) {
    if (static_cast<std::size_t>(*start) > text.size()) return -1;
    from = static_cast<std::size_t>(*start) - 1;
  }
  if (from >= text.size()) return -1;
  if (sought.empty()) return 1;
  const std::size_t m = scan::Matcher(text, text.size(), sought, ignoreCase).Next(from);
  return m == scan::npos ? -1 : static_cast<int>(m + 1);
}

int FindTextReverse(std::string_view text, std::string_view sought, std::optional<int> start,
                    bool ignoreCase) {
  std::size_t end = text.size();
  if (start) {
    if (*start <= 1) return -1;
    end = std::min(end, static_cast<std::size_t>(*start) - 1);
  }
  if (end == 0) return -1;
  if (sought.empty()) return 1;
  // The walk must begin at the first byte, so the last match is found going forward.
  scan::Matcher matcher(text, end, sought, ignoreCase);
  std::size_t last = scan::npos;
  for (std::size_t pos = 0;;) {
    const std::size_t m = matcher.Next(pos);
    if (m == scan::npos) break;
    last = m;
    pos = m + scan::CharLength(text, m);
  }
  return last == scan::npos ? -1 : static_cast<int>(last + 1);
}

Text ReplaceText(std::string_view text, std::string_view sought, std::string_view replacement,
                 bool caseSensitive) {
  if (text.empty() || sought.empty()) return Text(text);
  Text out;
  out.reserve(text.size());
  scan::Matcher matcher(text, text.size(), sought, !caseSensitive);
  std::size_t pos = 0;
  for (;;) {
    const std::size_t m = matcher.Next(pos);
    if (m == scan::npos) break;
    out.append(text.substr(pos, m - pos));
    out.append(replacement);
    pos = m + sought.size();
  }
  // A one-byte sought text lets the walk reach a lead byte at the very end,
  // which has no second byte to form a character with: it is dropped.
  std::string_view tail = text.substr(pos);
  if (sought.size() == 1 && scan::EndsWithLoneLead(text, pos)) tail.remove_suffix(1);
  out.append(tail);
  return out;
}

TextList SplitText(std::string_view text, std::string_view delimiter) {
  if (text.empty()) return {};
  if (delimiter.empty()) return {Text(text)};
  TextList list;
  scan::Matcher matcher(text, text.size(), delimiter, false);
  std::size_t itemStart = 0;
  for (;;) {
    const std::size_t m = matcher.Next(itemStart);
    if (m == scan::npos) break;
    list.emplace_back(text.substr(itemStart, m - itemStart));
    itemStart = m + delimiter.size();
  }
  if (itemStart < text.size()) list.emplace_back(text.substr(itemStart));
  return list;
}

int ListCount(const TextList& list) { return static_cast<int>(list.size()); }

Text TrimText(std::string_view text) {
  const std::size_t n = text.size();
  std::size_t begin = 0;
  while (begin < n) {
    const std::size_t space = SpaceLength(text, begin);
    if (space == 0) break;
    begin += space;
  }
  std::size_t end = n;
  std::size_t runStart = scan::npos;  // start of the run of spaces reaching the current point
  for (std::size_t i = begin; i < n;) {
    if (const std::size_t space = SpaceLength(text, i)) {
      if (runStart == scan::npos) runStart = i;
      i += space;
    } else if (scan::IsLead(text[i]) && i + 1 == n) {
      // A lead byte with nothing after it is cut; the spaces before it stay.
      runStart = i;
      break;
    } else {
      runStart = scan::npos;
      i += scan::CharLength(text, i);
    }
  }
  if (runStart != scan::npos) end = runStart;
  return Text(text.substr(begin, end - begin));
}

Text RemoveAllSpaces(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (const std::size_t space = SpaceLength(text, i)) {
      i += space;
    } else if (scan::IsLead(text[i])) {
      if (i + 1 < text.size()) out.append(text.substr(i, 2));  // a lone lead byte at the end is dropped
      i += 2;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

Text ToLower(std::string_view text) {
  Text out(text);
  for (std::size_t i = 0; i < out.size();) {
    if (scan::IsLead(out[i])) {
      i += 2;  // the second byte of a two-byte character keeps its value
      continue;
    }
    out[i] = scan::FoldAscii(out[i]);
    ++i;
  }
  return out;
}

int ParseInt(std::string_view text) {
  // Full-width digits, signs and spaces read as their ASCII forms.
  std::string folded;
  folded.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (!scan::IsLead(text[i])) {
      folded.push_back(text[i++]);
      continue;
    }
    if (i + 1 < text.size()) {
      const unsigned char second = Byte(text, i + 1);
      if (Byte(text, i) == kFullWidthFormLead && second >= 0xA1 && second <= 0xFE) {
        folded.push_back(static_cast<char>(second - 0x80));
      } else if (IsFullWidthSpace(text, i)) {
        folded.push_back(' ');
      } else {
        folded.append(text.substr(i, 2));
      }
    } else {
      folded.push_back(text[i]);
    }
    i += 2;
  }
  std::size_t i = 0;
  while (i < folded.size() && std::strchr(" \t\n\v\f\r", folded[i]) && folded[i] != '\0') ++i;
  bool negative = false;
  if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) negative = folded[i++] == '-';
  std::uint32_t value = 0;  // wraps modulo 2^32
  for (; i < folded.size() && folded[i] >= '0' && folded[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(folded[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

Text CharFromCode(int code) {
  if (code <= 0 || code > 255) return {};
  return Text(1, static_cast<char>(code));
}

Text BlankText(int count) { return count < 1 ? Text() : Text(static_cast<std::size_t>(count), ' '); }

Bytes TextToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes TextToBytes(const Bytes& bytes) { return bytes; }

Text BytesToText(const Bytes& bytes) {
  return UpToZero(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

Text UrlDecode(std::string_view text, bool fromUtf8) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '%') {
      out.push_back(text[i++]);
      continue;
    }
    if (text.size() - i < 3) break;  // an incomplete escape ends the decoding
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) {
      out.push_back(text[i++]);  // not an escape: the "%" stays as it is
      continue;
    }
    out.push_back(static_cast<char>(high * 16 + low));
    i += 3;
  }
  Text decoded = UpToZero(out);
  if (!fromUtf8) return decoded;
  return Utf16ToCp936(Utf8ToUtf16(decoded));
}

int BytesLength(const Bytes& bytes) { return static_cast<int>(bytes.size()); }

Bytes BytesLeft(const Bytes& bytes, int count) {
  if (count <= 0) return {};
  const std::size_t n = std::min(bytes.size(), static_cast<std::size_t>(count));
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

Bytes BlankBytes(int count) { return count <= 0 ? Bytes() : Bytes(static_cast<std::size_t>(count), 0); }

bool BytesEqual(const Bytes& a, const Bytes& b) { return a == b; }

void WriteToMemory(const Bytes& bytes, void* address, std::optional<int> count) {
  std::size_t n = bytes.size();
  if (count && *count >= 0 && static_cast<std::size_t>(*count) <= bytes.size()) {
    n = static_cast<std::size_t>(*count);
  }
  if (n > 0) std::memcpy(address, bytes.data(), n);
}
