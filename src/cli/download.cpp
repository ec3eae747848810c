#include "cli/download.h"

#include <charconv>

namespace {

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A whole decimal number that fits, or nullopt.
std::optional<std::int64_t> Number(std::string_view s) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || error != std::errc() || end != s.data() + s.size() || value < 0) return std::nullopt;
  return value;
}

// The "FIRST-LAST/TOTAL" after "bytes ", case-insensitively.
std::optional<std::string_view> AfterUnit(std::string_view value) {
  value = Trimmed(value);
  constexpr std::string_view kUnit = "bytes ";
  if (value.size() < kUnit.size()) return std::nullopt;
  for (std::size_t i = 0; i < kUnit.size(); ++i) {
    const char c = value[i];
    if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != kUnit[i]) return std::nullopt;
  }
  return Trimmed(value.substr(kUnit.size()));
}

}  // namespace

std::optional<ContentRange> ParseContentRange(std::string_view value) {
  const auto rest = AfterUnit(value);
  if (!rest) return std::nullopt;
  const std::size_t dash = rest->find('-');
  const std::size_t slash = rest->find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return std::nullopt;
  const auto first = Number(rest->substr(0, dash));
  const auto last = Number(rest->substr(dash + 1, slash - dash - 1));
  const std::string_view totalText = rest->substr(slash + 1);
  const auto total = totalText == "*" ? std::optional<std::int64_t>(-1) : Number(totalText);
  if (!first || !last || !total || *last < *first || (*total >= 0 && *last >= *total)) return std::nullopt;
  return ContentRange{*first, *last, *total};
}

std::int64_t UnsatisfiedRangeTotal(std::string_view value) {
  const auto rest = AfterUnit(value);
  if (!rest || !rest->starts_with("*/")) return -1;
  return Number(rest->substr(2)).value_or(-1);
}
