// The text toolkit on arbitrary bytes, with invariants besides "no crash".
#include "fuzz_input.h"
#include "text/markers.h"
#include "text/text.h"

namespace {

bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }
char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Whether the walk that begins at `from` reaches `at` as a character start.
bool CharStart(const std::string& s, std::size_t from, std::size_t at) {
  std::size_t i = from;
  while (i < at) i += IsLead(s[i]) ? 2 : 1;
  return i == at;
}

bool SameAt(const std::string& s, std::size_t at, const std::string& t, bool fold) {
  if (at + t.size() > s.size()) return false;
  for (std::size_t k = 0; k < t.size(); ++k) {
    if (fold ? Fold(s[at + k]) != Fold(t[k]) : s[at + k] != t[k]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool fold = data[0] & 1;
  const int start = static_cast<int>(data[0] >> 1) - 8;
  const auto p = Parts(data + 1, size - 1, 4);
  const std::string& text = p[0];
  const std::string& sought = p[1];

  const int found = FindText(text, sought, start, fold);
  if (found != -1 && !sought.empty()) {
    const std::size_t from = start > 1 ? static_cast<std::size_t>(start - 1) : 0;
    FUZZ_CHECK(found >= 1 && static_cast<std::size_t>(found) <= text.size());
    FUZZ_CHECK(SameAt(text, static_cast<std::size_t>(found - 1), sought, fold));
    FUZZ_CHECK(CharStart(text, from, static_cast<std::size_t>(found - 1)));
  }
  const int last = FindTextReverse(text, sought, start, fold);
  if (last != -1 && !sought.empty()) {
    FUZZ_CHECK(SameAt(text, static_cast<std::size_t>(last - 1), sought, fold));
    FUZZ_CHECK(CharStart(text, 0, static_cast<std::size_t>(last - 1)));
  }

  // Replacing a text by itself changes nothing but a dropped trailing lead byte.
  const Text same = ReplaceText(text, sought, sought, true);
  FUZZ_CHECK(same == text || (sought.size() == 1 && same + text.back() == text && IsLead(text.back())));
  const Text replaced = ReplaceText(text, sought, p[2], !fold);
  (void)replaced;

  // Splitting and joining gives the text back, short of a trailing delimiter.
  if (!sought.empty()) {
    std::string joined;
    const TextList items = SplitText(text, sought);
    for (std::size_t i = 0; i < items.size(); ++i) joined += (i ? sought : "") + items[i];
    FUZZ_CHECK(joined == text || joined + sought == text);
  }

  const Text trimmed = TrimText(text);
  FUZZ_CHECK(trimmed.size() <= text.size());
  const Text noSpaces = RemoveAllSpaces(text);
  FUZZ_CHECK(RemoveAllSpaces(noSpaces) == noSpaces);
  FUZZ_CHECK(ToLower(text).size() == text.size());
  ParseInt(text);
  const Text decoded = UrlDecode(text, fold);
  FUZZ_CHECK(decoded.find('\0') == std::string::npos);
  TextBetween(text, sought, p[2], start, fold);
  TextAfterLast(text, sought, start, fold);
  HeaderValue(text);
  TextMid(text, start, static_cast<int>(sought.size()));
  return 0;
}
