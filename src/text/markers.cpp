#include "text/markers.h"

namespace {

Text WithQuotes(std::string_view marker) { return ReplaceText(marker, kQuotePlaceholder, "\"", true); }

}  // namespace

Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                 std::optional<int> start, bool ignoreCase) {
  const Text leftMarker = WithQuotes(left);
  const Text rightMarker = WithQuotes(right);
  const int leftPos = FindText(text, leftMarker, start.value_or(0), ignoreCase);
  if (leftPos == -1) return {};
  const int valueStart = leftPos + TextLength(leftMarker);
  const int rightPos = FindText(text, rightMarker, valueStart, ignoreCase);
  if (rightPos == -1) return {};
  return TextMid(text, valueStart, rightPos - valueStart);
}

Text HeaderValue(std::string_view text) {
  const int colon = FindText(text, ":");
  if (colon == -1) return {};
  return TrimText(TextRight(text, TextLength(text) - colon));
}

Text TextAfterLast(std::string_view text, std::string_view marker, std::optional<int> start,
                   bool ignoreCase) {
  const int found = FindTextReverse(text, marker, start.value_or(TextLength(text)), ignoreCase);
  if (found == -1) return {};
  return TextRight(text, TextLength(text) - found - TextLength(marker) + 1);
}
