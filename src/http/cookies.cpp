#include "http/cookies.h"

#include <string>
#include <unordered_set>

#include "text/markers.h"

namespace {

// Drops the trailing separator that the append loops leave behind.
void CutTrailing(Text& text, std::size_t separatorLength) {
  text.resize(text.size() >= separatorLength ? text.size() - separatorLength : 0);
}

}  // namespace

CookieText CollectSetCookies(std::string_view rawHeaders) {
  CookieText result;
  for (const Text& line : SplitText(rawHeaders, "\r\n")) {
    if (FindText(line, "Set-Cookie") == -1) continue;
    const Text value = FindText(line, ";") != -1
                           ? TrimText(TextBetween(line, "Set-Cookie:", ";"))
                           : TrimText(ReplaceText(line, "Set-Cookie:", "", false));
    result += value;
    result += "; ";
  }
  CutTrailing(result, 2);
  return result;
}

Text CookieName(std::string_view pair) {
  const int equals = FindText(pair, "=");
  return TrimText(equals == -1 ? pair : std::string_view(pair).substr(0, equals - 1));
}

bool HasCookieName(const TextList& list, std::string_view name) {
  for (const Text& pair : list) {
    if (CookieName(pair) == name) return true;
  }
  return false;
}

int IndexInList(const TextList& list, std::string_view text) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == text) return static_cast<int>(i + 1);
  }
  return -1;
}

Text RemoveDuplicateItems(std::string_view text, std::string_view separator) {
  // A set stands in for the list of items seen: the outcome is the first
  // occurrence of each item in order, without the quadratic search.
  std::unordered_set<std::string_view> seen;
  const TextList items = SplitText(text, separator);
  Text result;
  for (const Text& item : items) {
    if (!seen.insert(item).second) continue;
    result += item;
    result += separator;
  }
  CutTrailing(result, result.empty() ? 0 : separator.size());
  return result;
}

CookieText MergeCookies(CookieText& jar, CookieText& newCookies) {
  jar = RemoveAllSpaces(jar);
  newCookies = RemoveAllSpaces(newCookies);
  TextList merged = SplitText(newCookies, ";");
  // Names present in the merged list, growing as old pairs are carried over.
  std::unordered_set<std::string> names;
  for (const Text& pair : merged) names.insert(CookieName(pair));
  for (const Text& old : SplitText(jar, ";")) {
    if (names.insert(CookieName(old)).second) merged.push_back(old);
  }
  jar.clear();
  for (const Text& pair : merged) {
    if (TextRight(pair, 8) == "=deleted") continue;
    jar += pair;
    jar += "; ";
  }
  CutTrailing(jar, 2);
  jar = RemoveDuplicateItems(jar, "; ");
  return jar;
}
