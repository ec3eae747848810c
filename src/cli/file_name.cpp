#include "cli/file_name.h"

#include <algorithm>

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr char kSubstitute = '_';

// The length of the valid UTF-8 sequence at `at`, or 0 when none starts there
// (overlong forms, surrogates and code points past U+10FFFF are not valid).
std::size_t SequenceLength(std::string_view s, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > s.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

bool Forbidden(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u < 0x20 || u == 0x7F) return true;
  for (char f : std::string_view("/\\<>:\"|?*")) {
    if (c == f) return true;
  }
  return false;
}

// Valid UTF-8 with every forbidden character, and every C1 control (which a
// terminal would obey when the name is printed), as '_'.
std::string Cleaned(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t at = 0; at < name.size();) {
    const std::size_t length = SequenceLength(name, at);
    if (length == 0) {
      out += kReplacement;
      ++at;
    } else if (length == 1) {
      out += Forbidden(name[at]) ? kSubstitute : name[at];
      ++at;
    } else {
      const bool c1 = length == 2 && static_cast<unsigned char>(name[at]) == 0xC2 &&
                      static_cast<unsigned char>(name[at + 1]) < 0xA0;
      if (c1) {
        out += kSubstitute;
      } else {
        out.append(name.substr(at, length));
      }
      at += length;
    }
  }
  return out;
}

bool TrailingJunk(char c) { return c == '.' || c == ' '; }

void StripTrailing(std::string& s) {
  while (!s.empty() && TrailingJunk(s.back())) s.pop_back();
}

// Where the extension starts (its dot), or npos when the name keeps none
// through a cut: a name that starts with its only dot has no extension.
std::size_t ShortExtension(std::string_view s) {
  const std::size_t dot = s.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || s.size() - dot > kMaxKeptExtensionBytes) {
    return std::string_view::npos;
  }
  return dot;
}

// The longest start of `s` of at most `limit` bytes that ends at a character boundary.
std::string_view CutAtBoundary(std::string_view s, std::size_t limit) {
  if (s.size() <= limit) return s;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  return s.substr(0, end);
}

// The name cut to `limit` bytes, the short extension kept.
std::string Fitted(const std::string& s, std::size_t limit) {
  if (s.size() <= limit) return s;
  const std::size_t dot = ShortExtension(s);
  if (dot == std::string::npos) return std::string(CutAtBoundary(s, limit));
  const std::string_view extension = std::string_view(s).substr(dot);
  return std::string(CutAtBoundary(std::string_view(s).substr(0, dot), limit - extension.size())) +
         std::string(extension);
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Windows opens a device for these names, whatever the extension and with
// spaces before it: "con", "Con.txt", "LPT1 .log", "COM¹".
bool Reserved(std::string_view s) {
  std::string_view base = s.substr(0, s.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  std::string upper;
  for (char c : base) upper += Upper(c);
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL"}) {
    if (upper == device) return true;
  }
  for (std::string_view port : {"COM", "LPT"}) {
    if (!upper.starts_with(port)) continue;
    const std::string_view rest = std::string_view(upper).substr(port.size());
    if (rest.size() == 1 && rest[0] >= '0' && rest[0] <= '9') return true;
    for (std::string_view superscript : {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"}) {
      if (rest == superscript) return true;
    }
  }
  return false;
}

}  // namespace

std::string SafeFileName(std::string_view utf8Name, std::size_t maxBytes) {
  const std::size_t limit = std::clamp(maxBytes, kMinFileNameBytes, kMaxFileNameBytes);
  std::string name = Cleaned(utf8Name);
  // A cut can leave a trailing dot or a device name behind, and the mark that
  // defuses a device name can push the name over the limit: two rounds settle it.
  for (;;) {
    name = Fitted(name, limit);
    StripTrailing(name);
    if (name.empty()) name = kFallbackFileName;
    if (Reserved(name)) name.insert(name.begin(), kSubstitute);
    if (name.size() <= limit) return name;
  }
}

std::string NumberedFileName(std::string_view safeName, int n, std::size_t maxBytes) {
  const std::size_t limit = std::clamp(maxBytes, kMinFileNameBytes, kMaxFileNameBytes);
  const std::string mark = " (" + std::to_string(n) + ")";
  std::size_t dot = ShortExtension(safeName);
  if (dot == std::string_view::npos) dot = safeName.size();
  const std::string_view extension = safeName.substr(dot);
  const std::string_view stem = CutAtBoundary(safeName.substr(0, dot), limit - extension.size() - mark.size());
  return SafeFileName(std::string(stem) + mark + std::string(extension), limit);
}
