// Cutting values out of pages, JSON answers and header blocks by markers.
#pragma once

#include <optional>
#include <string_view>

#include "text/text.h"

// In either marker the placeholder "#引号" (code page 936) stands for a double quote.
inline constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";

// The bytes strictly between the first left marker (from start) and the next
// right marker after it; empty when either is missing.
Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                 std::optional<int> start = std::nullopt, bool ignoreCase = false);
// Everything after the first colon, trimmed.
Text HeaderValue(std::string_view text);
// Everything after the last marker that ends before position start (the
// text's length when not given).
Text TextAfterLast(std::string_view text, std::string_view marker,
                   std::optional<int> start = std::nullopt, bool ignoreCase = false);
