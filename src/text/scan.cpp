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

std::size_t Matcher::Next(std::size_t pos) {
  // Chunks bound the look-ahead for lead bytes in long ASCII runs.
  constexpr std::size_t kChunk = 16 * 1024;
  const std::size_t n = sought_.size();
  while (pos < end_ && end_ - pos >= n) {
    if (pos > lead_ || pos >= scanned_) {
      scanned_ = end_ - pos > kChunk ? pos + kChunk : end_;
      lead_ = NextLead(s_, pos, scanned_);
    }
    // Up to the next lead byte every byte is a one-byte character, so every
    // position in [pos, lead] is a character start and a plain search serves.
    const std::size_t lead = lead_;
    const std::size_t lastStart = std::min(lead, end_ - n);
    if (pos <= lastStart) {
      const std::size_t m = FindInRun(s_, pos, lastStart + n, sought_, ignoreCase_);
      if (m != npos) return m;
    }
    if (lead == scanned_) {  // no lead byte in this chunk: go on from its end
      pos = scanned_;
      continue;
    }
    // Step over the two-byte characters that follow; lead itself was tried above.
    pos = lead + 2;
    while (pos < end_ && IsLead(s_[pos])) {
      if (end_ - pos < n) return npos;
      if (ignoreCase_ || s_[pos] == sought_[0]) {
        if (Matches(s_, pos, sought_, ignoreCase_)) return pos;
      }
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
