// The program keeps its cookies itself: a jar is one text of name=value pairs
// joined by "; ", merged with every answer's Set-Cookie lines.
#pragma once

#include <string_view>

#include "text/text.h"

using CookieText = Text;

// The pairs of the block's Set-Cookie lines, in order, attributes dropped.
// The header name must already be written "Set-Cookie".
CookieText CollectSetCookies(std::string_view rawHeaders);

// The new cookies first, then the old pairs whose names they do not set;
// spaces removed, "=deleted" pairs dropped, exact repeats dropped. Both caller
// variables are updated in place; returns a copy of the jar.
CookieText MergeCookies(CookieText& jar, CookieText& newCookies);

Text CookieName(std::string_view pair);
bool HasCookieName(const TextList& list, std::string_view name);
Text RemoveDuplicateItems(std::string_view text, std::string_view separator);
int IndexInList(const TextList& list, std::string_view text);
