// The double-byte walk shared by every scanning operation of the toolkit.
#pragma once

#include <cstddef>
#include <string_view>

namespace scan {

inline constexpr std::size_t npos = std::string_view::npos;

inline bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// Length of the character that starts at pos: two bytes for a lead byte, even
// when that runs past the end of the text.
inline std::size_t CharLength(std::string_view s, std::size_t pos) { return IsLead(s[pos]) ? 2 : 1; }

inline char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; }

// First position in [pos, end) holding a byte 0x80-0xFF, or end.
std::size_t NextLead(std::string_view s, std::size_t pos, std::size_t end);

// Finds the matches of sought at character starts, for one text, window end
// and sought text. Callers that come back for every match (ReplaceText,
// SplitText) reuse one Matcher, so each byte is looked at O(1) times.
class Matcher {
 public:
  // sought is not empty.
  Matcher(std::string_view s, std::size_t end, std::string_view sought, bool ignoreCase)
      : s_(s), end_(end), sought_(sought), ignoreCase_(ignoreCase) {}

  // First position p >= pos with p + sought.size() <= end at which sought
  // matches and which the double-byte walk reaches when it starts at pos
  // (pos itself counts as a character start). npos when there is none.
  std::size_t Next(std::size_t pos);

 private:
  std::string_view s_;
  std::size_t end_;
  std::string_view sought_;
  bool ignoreCase_;
  // What the last look-ahead learnt: the first lead byte at or after the
  // position it started from is at lead_, or there is none before scanned_.
  std::size_t lead_ = 0;
  std::size_t scanned_ = 0;
};

// Whether the walk that starts at pos reaches the last byte of s as a
// character start and finds a lead byte there, with nothing to pair it with.
bool EndsWithLoneLead(std::string_view s, std::size_t pos);

}  // namespace scan
