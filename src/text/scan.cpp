#include "text/scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace scan {
namespace {

bool Matches(std::string_view s, std::size_t pos, std::string_view sought, bool ignoreCase) {
  if (!ignoreCase) return s.compare(pos, sought.size(), sought) == 0;
  for (std::size_t i = 0; i < sought.size(); ++i) {
    if (FoldAscii(s[pos + i]) != FoldAscii(sought[i])) return false;
  }
  return true;
}

// Plain search of sought starting anywhere in [from, to - sought.size()].
std::size_t FindInRun(std::string_view s, std::size_t from, std::size_t to, std::string_view sought,
                      bool ignoreCase) {
  if (!ignoreCase) {
    const std::size_t m = s.substr(from, to - from).find(sought);
    return m == npos ? npos : from + m;
  }
  const char first = FoldAscii(sought[0]);
  for (std::size_t i = from; i + sought.size() <= to; ++i) {
    if (FoldAscii(s[i]) == first && Matches(s, i, sought, true)) return i;
  }
  return npos;
}

}  // namespace

std::size_t NextLead(std::string_view s, std::size_t pos, std::size_t end) {
  const char* p = s.data();
  // Eight bytes at a time through the ASCII runs that make up most pages.
  while (end - pos >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p + pos, sizeof word);
    if (word & 0x8080808080808080ull) break;
    pos += 8;
  }
  while (pos < end && !IsLead(p[pos])) ++pos;
  return pos;
}

std::size_t NextMatch(std::string_view s, std::size_t pos, std::size_t end, std::string_view sought,
                      bool ignoreCase) {
  const std::size_t n = sought.size();
  while (pos < end && end - pos >= n) {
    // Up to the next lead byte every byte is a one-byte character, so every
    // position in [pos, lead] is a character start and a plain search serves.
    const std::size_t lead = NextLead(s, pos, end);
    const std::size_t lastStart = std::min(lead, end - n);
    const std::size_t m = FindInRun(s, pos, lastStart + n, sought, ignoreCase);
    if (m != npos) return m;
    if (lead >= end) return npos;
    // Step over the two-byte characters that follow; lead itself was tried above.
    pos = lead + 2;
    while (pos < end && IsLead(s[pos])) {
      if (end - pos < n) return npos;
      if (Matches(s, pos, sought, ignoreCase)) return pos;
      pos += 2;
    }
  }
  return npos;
}

bool EndsWithLoneLead(std::string_view s, std::size_t pos) {
  const std::size_t n = s.size();
  while (pos < n) {
    pos = NextLead(s, pos, n);
    if (pos + 1 == n) return true;
    pos += 2;
  }
  return false;
}

}  // namespace scan
