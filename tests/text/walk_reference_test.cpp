// The toolkit's scans skip ahead through ASCII runs in chunks; this test checks
// them against a plain character-by-character walk on random texts built from
// the bytes that matter (letters in both cases, delimiters, spaces, lead bytes).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "text/text.h"

namespace {

bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }
char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool MatchAt(const std::string& s, std::size_t i, const std::string& t, bool fold) {
  if (i + t.size() > s.size()) return false;
  for (std::size_t k = 0; k < t.size(); ++k) {
    if (fold ? Fold(s[i + k]) != Fold(t[k]) : s[i + k] != t[k]) return false;
  }
  return true;
}

// Character starts of s[from, end) when the walk begins at from.
std::vector<std::size_t> Starts(const std::string& s, std::size_t from, std::size_t end) {
  std::vector<std::size_t> starts;
  for (std::size_t i = from; i < end; i += IsLead(s[i]) ? 2 : 1) starts.push_back(i);
  return starts;
}

int RefFind(const std::string& s, const std::string& t, int start, bool fold) {
  const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
  if (from >= s.size()) return -1;
  if (t.empty()) return 1;
  for (std::size_t i : Starts(s, from, s.size())) {
    if (MatchAt(s, i, t, fold)) return static_cast<int>(i + 1);
  }
  return -1;
}

int RefFindReverse(const std::string& s, const std::string& t, int start, bool fold) {
  if (start <= 1) return -1;
  const std::size_t end = std::min(s.size(), static_cast<std::size_t>(start - 1));
  if (end == 0) return -1;
  if (t.empty()) return 1;
  int last = -1;
  for (std::size_t i : Starts(s, 0, end)) {
    if (i + t.size() <= end && MatchAt(s, i, t, fold)) last = static_cast<int>(i + 1);
  }
  return last;
}

std::string RefReplace(const std::string& s, const std::string& t, const std::string& r, bool fold) {
  if (s.empty() || t.empty()) return s;
  std::string out;
  std::size_t i = 0;
  while (i < s.size()) {
    if (s.size() - i < t.size()) {
      out += s.substr(i);
      break;
    }
    if (MatchAt(s, i, t, fold)) {
      out += r;
      i += t.size();
    } else if (IsLead(s[i])) {
      if (i + 1 < s.size()) out += s.substr(i, 2);
      i += 2;
    } else {
      out += s[i++];
    }
  }
  return out;
}

TextList RefSplit(const std::string& s, const std::string& d) {
  if (s.empty()) return {};
  TextList out;
  std::size_t itemStart = 0;
  std::size_t i = 0;
  while (i < s.size() && s.size() - i >= d.size()) {
    if (MatchAt(s, i, d, false)) {
      out.push_back(s.substr(itemStart, i - itemStart));
      i += d.size();
      itemStart = i;
    } else {
      i += IsLead(s[i]) ? 2 : 1;
    }
  }
  if (itemStart < s.size()) out.push_back(s.substr(itemStart));
  return out;
}

TEST(WalkReference, ScansAgreeWithPlainWalk) {
  const std::string alphabet[] = {"a", "A", "b", "\"", ";", " ", "\xB0", "\xA1", "\x81", "\r\n"};
  std::mt19937 rng(12345);
  auto randomText = [&](std::size_t maxLen) {
    std::string s;
    const std::size_t n = rng() % (maxLen + 1);
    while (s.size() < n) s += alphabet[rng() % std::size(alphabet)];
    // Occasionally a long ASCII run, so the chunked look-ahead is crossed.
    if (rng() % 8 == 0) s.insert(rng() % (s.size() + 1), std::string(20000 + rng() % 20000, 'x'));
    return s;
  };
  for (int round = 0; round < 3000; ++round) {
    const std::string s = randomText(40);
    const std::string t = randomText(3).substr(0, 3);
    const int start = static_cast<int>(rng() % (s.size() + 3)) - 1;
    const bool fold = rng() % 2;
    SCOPED_TRACE(testing::Message() << "round " << round << " start " << start);
    EXPECT_EQ(FindText(s, t, start, fold), RefFind(s, t, start, fold));
    EXPECT_EQ(FindTextReverse(s, t, start, fold), RefFindReverse(s, t, start, fold));
    EXPECT_EQ(ReplaceText(s, t, "<>", !fold), RefReplace(s, t, "<>", fold));
    if (!t.empty()) {
      EXPECT_EQ(SplitText(s, t), RefSplit(s, t));
    }
  }
}

}  // namespace
